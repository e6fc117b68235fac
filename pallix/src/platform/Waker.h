// Waker - ends a wait on sockets from another thread: its handle is waited
// for with the sockets (poll, WSAPoll), readable once Signal was called,
// until Drain. Both ends never block: Signal returns at once, and a buffer
// already full drops the byte, which is harmless since the handle is
// readable anyway. One for the whole tree: libPallix's server
// (net::Waker, Socket.h) and brenna-web's connections (stream_socket::Waker,
// src/platform/StreamSocket.h) use it.
//
// Header-only and free of the system's headers: the members are written in
// WakerPosix.h and WakerWin.h, which only the socket files include, and
// each library instantiates the class for a tag of its own there. So
// neither exports a symbol for it, and a program linking both holds two
// distinct classes rather than one defined twice.
#ifndef PALLIX_PLATFORM_WAKER_H
#define PALLIX_PLATFORM_WAKER_H

#include <cstdint>

namespace pallix::sys {

#if defined(_WIN32)
using WakeHandle = std::uintptr_t;  // a SOCKET
#else
using WakeHandle = int;  // a descriptor
#endif
// No handle: -1 on POSIX, INVALID_SOCKET on Windows.
inline constexpr WakeHandle kNoWakeHandle = static_cast<WakeHandle>(-1);

template <typename Owner>
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  bool Valid() const { return read_ != kNoWakeHandle; }
  WakeHandle Handle() const { return read_; }
  void Signal();
  void Drain();

 private:
  WakeHandle read_ = kNoWakeHandle;
  WakeHandle write_ = kNoWakeHandle;
};

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_WAKER_H
