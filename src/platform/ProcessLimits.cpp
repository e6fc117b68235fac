// POSIX implementation of ProcessLimits.h: getrlimit / setrlimit.
#include "platform/ProcessLimits.h"

#include <sys/resource.h>

#include <initializer_list>

namespace process_limits {

namespace {

long AsLong(rlim_t value) {
  if (value == RLIM_INFINITY) return -1;
  return value > 0x7fffffff ? 0x7fffffffL : static_cast<long>(value);
}

}  // namespace

OpenFiles OpenFileLimit() {
  OpenFiles limit;
  rlimit now{};
  if (::getrlimit(RLIMIT_NOFILE, &now) != 0) return limit;
  limit.soft = AsLong(now.rlim_cur);
  limit.hard = AsLong(now.rlim_max);
  return limit;
}

OpenFiles RaiseOpenFileLimit(OpenFiles* before) {
  *before = OpenFileLimit();
  rlimit now{};
  if (::getrlimit(RLIMIT_NOFILE, &now) != 0 || now.rlim_cur == now.rlim_max) return *before;
  // Linux refuses a soft limit above what one process may hold (fs.nr_open,
  // 1,048,576 unless set), which an unlimited hard limit is: then as high
  // as it takes.
  for (const rlim_t want : {now.rlim_max, rlim_t{1048576}, rlim_t{65536}}) {
    if (want <= now.rlim_cur || want > now.rlim_max) continue;
    rlimit raised = now;
    raised.rlim_cur = want;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) break;
  }
  return OpenFileLimit();
}

}  // namespace process_limits
