// WinsockStart - Winsock started once, the first time a socket is wanted,
// and up for the life of the process. Inline, shared by libPallix's and the
// monitor's Windows socket files (and the waker), exported by neither.
#ifndef PALLIX_PLATFORM_WINSOCKSTART_H
#define PALLIX_PLATFORM_WINSOCKSTART_H

#include <winsock2.h>

namespace pallix::sys {

inline bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_WINSOCKSTART_H
