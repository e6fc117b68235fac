// PortSetting - where the listening port is kept: key "Port" of section
// "端口号" in BrennaCenter.ini in the site's base directory, and the port
// when the file names none. The window reads it at start-up; the port
// dialog shows it and stores a new one.
#ifndef BRENNA_UTIL_PORTSETTING_H
#define BRENNA_UTIL_PORTSETTING_H

#include <string>

#include "PallixWire.h"

class CIniFile;

// The listening port when BrennaCenter.ini does not name one: the port the
// stations try when told no other.
constexpr int kDefaultPort = NET_DEFAULT_PORT;

// The settings file in the site's base directory; empty when the site names
// no base directory, so that no settings file at the file system's root is
// ever read or written by accident.
std::string PortIniPath(const std::string& baseDir);

// The stored port; def when the file, the section or the key is missing.
int ReadPortSetting(CIniFile& ini, const std::string& iniPath, int def = kDefaultPort);
// The listening port as the start-up reads it: the text of the key, and
// whether it names a port to listen on.
struct ListeningPortSetting {
  std::string text;  // the value as the file has it (GBK); empty when missing or empty
  int port;          // its leading integer, as GetInt reads it; kDefaultPort without a text
  bool usable;       // no text (the default), or a whole number from 1 to 65535
};
// "12x" reads as 12 to GetInt, but names no port: it is refused like "abc".
ListeningPortSetting ReadListeningPort(CIniFile& ini, const std::string& iniPath);
// The port as the file names it, for a message (GBK): its text, cut after
// 24 bytes with "...", or the number when the file names none.
std::string PortAsNamed(const ListeningPortSetting& setting);

// Stores the port; true once the file holds it (CIniFile::WriteInt).
bool WritePortSetting(CIniFile& ini, const std::string& iniPath, int port);

#endif  // BRENNA_UTIL_PORTSETTING_H
