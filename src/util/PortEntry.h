// PortEntry - what the port dialog does with the port the operator typed,
// whichever window shows the dialog: the entry is checked, stored in
// BrennaCenter.ini and read back, the journal says what became of it, and
// the dialog is told which message to show.
#ifndef BRENNA_UTIL_PORTENTRY_H
#define BRENNA_UTIL_PORTENTRY_H

#include <string>

class CIniFile;

// Nothing longer can be a port; the entry field stops taking characters
// here.
inline constexpr int kMaxPortEntryLength = 99;

enum class PortEntryResult {
  kRefused,   // no port: "新端口设置不正确!"; the dialog empties the entry and stays open
  kNotSaved,  // a port, but the file does not hold it now; the dialog stays open
  kSaved,     // stored: "新端口设置成功,重启程序生效!"; the dialog closes
};

// Checks `gbkEntry` (what the operator typed, GBK; `typedUtf8` the same
// for the journal) and stores it in the settings file `iniPath` (empty:
// none is known). `listeningPort` is the port the monitor listens on now,
// which the new one replaces at the next start.
PortEntryResult SubmitPortEntry(CIniFile& ini, const std::string& iniPath,
                                const std::string& gbkEntry, const std::string& typedUtf8,
                                int listeningPort);

// The message box text (GBK) the dialog shows for a result.
std::string PortEntryMessage(PortEntryResult result);

#endif  // BRENNA_UTIL_PORTENTRY_H
