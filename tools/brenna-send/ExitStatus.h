// ExitStatus - what brenna-send tells the shell (docs/brenna-send.md).
// Scripts on station PCs rely on these numbers; they never change meaning.
#ifndef BRENNA_TOOLS_EXITSTATUS_H
#define BRENNA_TOOLS_EXITSTATUS_H

namespace brenna_send {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;        // bad command line
constexpr int kExitBadInput = 2;     // a file over a limit: nothing was sent
constexpr int kExitSendFailed = 3;   // no answer in time, or the connection broke
constexpr int kExitUnknownHost = 4;  // the host name does not resolve
constexpr int kExitRefused = 5;      // nothing listens on that port
// The monitor took every frame but refused a file for good (a name or path
// it cannot store, a record too large): the rest are delivered; sending
// the refused one again changes nothing.
constexpr int kExitRejected = 6;

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_EXITSTATUS_H
