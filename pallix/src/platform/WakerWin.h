// WakerWin - Waker.h on Windows. WSAPoll waits on sockets only, so the
// waker is one datagram socket on the loopback address, connected to
// itself: it takes datagrams from nobody else. Non-blocking, and not
// inherited by child processes.
#ifndef PALLIX_PLATFORM_WAKERWIN_H
#define PALLIX_PLATFORM_WAKERWIN_H

#include <winsock2.h>
// After winsock2.h:
#include <windows.h>

#include "platform/Waker.h"
#include "platform/WinsockStart.h"

namespace pallix::sys {

template <typename Owner>
Waker<Owner>::Waker() {
  if (!WinsockStarted()) return;
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof self;
  u_long yes = 1;
  if (::bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&self), &len) != 0 ||
      ::connect(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      ::ioctlsocket(s, FIONBIO, &yes) != 0) {
    ::closesocket(s);
    return;
  }
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  read_ = write_ = s;
}

template <typename Owner>
Waker<Owner>::~Waker() {
  if (Valid()) ::closesocket(static_cast<SOCKET>(read_));
}

template <typename Owner>
void Waker<Owner>::Signal() {
  const char byte = 1;
  if (Valid()) ::send(static_cast<SOCKET>(write_), &byte, 1, 0);
}

template <typename Owner>
void Waker<Owner>::Drain() {
  char drain[64];
  while (Valid() && ::recv(static_cast<SOCKET>(read_), drain, sizeof drain, 0) > 0) {
  }
}

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_WAKERWIN_H
