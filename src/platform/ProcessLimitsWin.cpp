// Windows implementation of ProcessLimits.h: a process may hold as many
// handles as memory allows; there is no limit to read or raise.
#include "platform/ProcessLimits.h"

namespace process_limits {

OpenFiles OpenFileLimit() { return OpenFiles(); }

OpenFiles RaiseOpenFileLimit(OpenFiles* before) {
  *before = OpenFiles();
  return *before;
}

}  // namespace process_limits
