// FileDayTime - GetFileDayTime: whether a spool file can be processed, and
// when it was last written.
#ifndef PALLIX_FILEDAYTIME_H
#define PALLIX_FILEDAYTIME_H

namespace pallix::filetime {

// 1 when path is an existing regular file; its local modification date
// (yyyymmdd) and time (hhmmss) then go to *day and *time (either may be
// null). 0 when there is no such file (or it is a directory); -1 for a
// null path. Nothing is written unless the result is 1.
int FileDayTime(const char* path, int* day, int* time);

}  // namespace pallix::filetime

#endif  // PALLIX_FILEDAYTIME_H
