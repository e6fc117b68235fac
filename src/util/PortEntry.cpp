#include "util/PortEntry.h"

#include "journal/Journal.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"
#include "util/PortNumber.h"
#include "util/PortSetting.h"

namespace {

// Writes the port and reads it back: true when the file now holds it.
bool StorePort(CIniFile& ini, const std::string& iniPath, int port) {
  if (iniPath.empty()) return false;
  // A file that cannot be read or is read-only is refused, not replaced.
  if (!WritePortSetting(ini, iniPath, port)) return false;
  // What the next start will read is what counts. 0 is never a usable port,
  // so it cannot be mistaken for success.
  const int readBack = ReadPortSetting(ini, iniPath, 0);
  if (readBack != port) {
    BRENNA_LOG(kWarning, kSettings, "port %d was written to %s but it reads back as %d", port,
               GbkToUtf8(iniPath).c_str(), readBack);
  }
  return readBack == port;
}

}  // namespace

PortEntryResult SubmitPortEntry(CIniFile& ini, const std::string& iniPath,
                                const std::string& gbkEntry, const std::string& typedUtf8,
                                int listeningPort) {
  // Anything that is not a port to listen on would leave the monitor deaf
  // at the next start, so it is refused like a mistyped number.
  if (!CheckNumber(gbkEntry) || !IsUsablePort(PortEntryValue(gbkEntry))) {
    BRENNA_LOG(kWarning, kSettings,
               "port entry \"%s\" refused: not a whole number from 1 to 65535; nothing written",
               typedUtf8.c_str());
    return PortEntryResult::kRefused;
  }
  const int port = PortEntryValue(gbkEntry);
  if (!StorePort(ini, iniPath, port)) {
    // The entry was fine; the file is the problem. Keep it for another try.
    BRENNA_LOG(kWarning, kSettings, "port %d not saved: %s; the monitor keeps listening on port %d",
               port,
               iniPath.empty() ? "no settings file is known (the library was not loaded)"
                               : ("the settings file " + GbkToUtf8(iniPath) +
                                  " could not be written (the line before says why)")
                                     .c_str(),
               listeningPort);
    return PortEntryResult::kNotSaved;
  }
  BRENNA_LOG(kInfo, kSettings,
             "port %d saved to %s: it takes effect at the next start (listening on %d now)", port,
             GbkToUtf8(iniPath).c_str(), listeningPort);
  return PortEntryResult::kSaved;
}

std::string PortEntryMessage(PortEntryResult result) {
  switch (result) {
    case PortEntryResult::kRefused:
      return Gbk("新端口设置不正确!");
    case PortEntryResult::kNotSaved:
      return Gbk("新端口保存失败,无法写入配置文件!");
    case PortEntryResult::kSaved:
      break;
  }
  return Gbk("新端口设置成功,重启程序生效!");
}
