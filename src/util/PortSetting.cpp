#include "util/PortSetting.h"

#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"

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

bool WritePortSetting(CIniFile& ini, const std::string& iniPath, int port) {
  return ini.WriteInt(PortSection(), kPortKey, port, iniPath);
}
