#include "FileDayTime.h"

#include "platform/System.h"

namespace pallix::filetime {

int FileDayTime(const char* path, int* day, int* time) {
  if (path == nullptr) return -1;
  int d = 0, t = 0;
  if (!sys::FileModifiedLocal(path, &d, &t)) return 0;
  if (day != nullptr) *day = d;
  if (time != nullptr) *time = t;
  return 1;
}

}  // namespace pallix::filetime
