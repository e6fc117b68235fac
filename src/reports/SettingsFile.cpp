#include "reports/SettingsFile.h"

#include "platform/ArchiveFolder.h"
#include "platform/FileOps.h"
#include "platform/FileStore.h"

namespace reports {

std::string DefaultSettingsFile() {
  const std::string folder = SettingsFolder();
  return folder.empty() ? std::string() : JoinPath(folder, "brenna-web.ini");
}

std::string SettingsText(const std::string& path, std::vector<std::string>* warnings) {
  std::string text;
  if (path.empty()) return text;
  const FileStore::ReadResult got = FileStore::System().Read(path, &text);
  if (got != FileStore::ReadResult::kOk && got != FileStore::ReadResult::kMissing)
    warnings->push_back("settings file " + path + " not read: " + FileStore::Why(got) +
                        "; every setting its default");
  // An editor's UTF-8 byte order mark is no part of the first line.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  return text;
}

}  // namespace reports
