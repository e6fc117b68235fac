#include "util/PortSetting.h"

#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"
#include "util/PortNumber.h"
#include "util/TextNumber.h"

namespace {

const char kIniName[] = "BrennaCenter.ini";
const char kPortKey[] = "Port";

const std::string& PortSection() {
  static const std::string section = Gbk("端口号");
  return section;
}

}  // namespace

std::string PortIniPath(const std::string& baseDir) {
  return baseDir.empty() ? std::string() : JoinPath(baseDir, kIniName);
}

int ReadPortSetting(CIniFile& ini, const std::string& iniPath, int def) {
  return ini.GetInt(PortSection(), kPortKey, def, iniPath);
}

ListeningPortSetting ReadListeningPort(CIniFile& ini, const std::string& iniPath) {
  // One read of the file: the text, and from it the integer GetInt would
  // give (an empty value reads as the default there too).
  ListeningPortSetting setting{ini.GetString(PortSection(), kPortKey, "", iniPath), kDefaultPort,
                               true};
  if (setting.text.empty()) return setting;
  setting.port = ParseLeadingInt(setting.text);
  const bool digitsOnly = setting.text.find_first_not_of("0123456789") == std::string::npos;
  setting.usable = digitsOnly && IsUsablePort(setting.port);
  return setting;
}

std::string PortAsNamed(const ListeningPortSetting& setting) {
  constexpr std::size_t kShown = 24;
  if (setting.text.empty()) return std::to_string(setting.port);
  if (setting.text.size() <= kShown) return setting.text;
  std::size_t n = 0;
  while (n + GbkCharLength(setting.text, n) <= kShown) n += GbkCharLength(setting.text, n);
  return setting.text.substr(0, n) + "...";
}

bool WritePortSetting(CIniFile& ini, const std::string& iniPath, int port) {
  return ini.WriteInt(PortSection(), kPortKey, port, iniPath);
}
