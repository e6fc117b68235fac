// WakerPosix - Waker.h on POSIX: a pipe, both ends non-blocking and
// close-on-exec from the start (pipe2), so that a process started meanwhile
// inherits neither.
#ifndef PALLIX_PLATFORM_WAKERPOSIX_H
#define PALLIX_PLATFORM_WAKERPOSIX_H

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Waker.h"

namespace pallix::sys {

template <typename Owner>
Waker<Owner>::Waker() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_ = fds[0];
  write_ = fds[1];
}

template <typename Owner>
Waker<Owner>::~Waker() {
  if (!Valid()) return;
  ::close(read_);
  ::close(write_);
}

template <typename Owner>
void Waker<Owner>::Signal() {
  if (!Valid()) return;
  const char byte = 1;
  ssize_t n;
  do {
    n = ::write(write_, &byte, 1);
  } while (n < 0 && errno == EINTR);
}

template <typename Owner>
void Waker<Owner>::Drain() {
  if (!Valid()) return;
  char drain[64];
  for (;;) {
    const ssize_t n = ::read(read_, drain, sizeof drain);
    if (n > 0 || (n < 0 && errno == EINTR)) continue;
    return;
  }
}

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_WAKERPOSIX_H
