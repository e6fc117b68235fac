// POSIX sockets. A Windows build maps the same calls onto Winsock
// (SocketWin.cpp); nothing outside these files changes.
#include "platform/Socket.h"

#include "platform/SocketConnect.h"
#include "platform/WakerPosix.h"

#if defined(_WIN32)
#error "Socket.cpp: the Winsock mapping is not written yet"
#endif

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/sockios.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pallix::net {

const SocketHandle kNoSocket = -1;

namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool MakeNonBlockingCloseOnExec(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  int fdFlags = fcntl(fd, F_GETFD, 0);
  if (fdFlags < 0 || fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) < 0) return false;
#if defined(SO_NOSIGPIPE)
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  return true;
}

int NewTcpSocket(int family) {
  int fd = ::socket(family, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (!MakeNonBlockingCloseOnExec(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Waits until fd is writable; false on timeout or error.
bool WaitWritable(int fd, int timeoutMs) {
  pollfd p{fd, POLLOUT, 0};
  for (;;) {
    int rc = ::poll(&p, 1, timeoutMs);
    if (rc < 0 && errno == EINTR) continue;
    return rc > 0 && (p.revents & POLLOUT) != 0 && (p.revents & (POLLERR | POLLNVAL)) == 0;
  }
}

}  // namespace

SocketHandle ListenTcp(int port, ListenError* error) {
  *error = ListenError::kOther;
  if (port < 0 || port > 65535) return kNoSocket;
  int fd = NewTcpSocket(AF_INET);
  if (fd < 0) return kNoSocket;
  // Lets a restarted monitor listen again while old connections of its
  // previous run linger in TIME_WAIT; a port another process listens on
  // still reports "in use".
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno == EADDRINUSE || errno == EACCES) *error = ListenError::kAddressInUse;
    ::close(fd);
    return kNoSocket;
  }
  if (::listen(fd, kListenBacklog) != 0) {
    if (errno == EADDRINUSE) *error = ListenError::kAddressInUse;
    ::close(fd);
    return kNoSocket;
  }
  *error = ListenError::kNone;
  return fd;
}

int LocalPort(SocketHandle s) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return -1;
}

SocketHandle Accept(SocketHandle listener, bool* outOfResources, char* address, std::size_t size,
                    int* port) {
  if (outOfResources != nullptr) *outOfResources = false;
  for (;;) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    int fd = ::accept(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    if (fd < 0) {
      if (errno == EINTR) continue;
      // ECONNABORTED and friends: that connection is gone, others may wait.
      if (errno == ECONNABORTED || errno == EPROTO) continue;
      if (outOfResources != nullptr &&
          (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
        *outOfResources = true;
      return kNoSocket;
    }
    if (!MakeNonBlockingCloseOnExec(fd)) {
      ::close(fd);
      continue;
    }
    // The address the connection came from, as the system queued it: named
    // even when it has been reset since.
    if (address != nullptr)
      NameOfAddress(reinterpret_cast<const sockaddr*>(&addr), static_cast<int>(len), address, size,
                    port);
    return fd;
  }
}

bool PeerAddress(SocketHandle s, char* text, std::size_t size, int* port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) len = 0;
  return NameOfAddress(reinterpret_cast<const sockaddr*>(&addr), static_cast<int>(len), text, size,
                       port);
}

bool SocketsReady() { return true; }

SocketHandle ConnectAddress(const addrinfo& address, std::chrono::steady_clock::time_point start,
                            int timeoutMs, bool* refused) {
  *refused = false;
  int fd = NewTcpSocket(address.ai_family);
  if (fd < 0) return kNoSocket;
  int rc;
  do {
    rc = ::connect(fd, address.ai_addr, address.ai_addrlen);
  } while (rc != 0 && errno == EINTR);
  int err = rc == 0 ? 0 : errno;
  if (rc != 0 && err == EINPROGRESS) {
    int left = timeoutMs - ElapsedMs(start);
    err = ETIMEDOUT;
    if (left > 0 && WaitWritable(fd, left)) {
      socklen_t len = sizeof err;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = EIO;
      if (err == 0) rc = 0;
    } else if (left > 0) {
      // A refusal shows as an error condition, not as writability.
      socklen_t len = sizeof err;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err == 0) err = ETIMEDOUT;
    }
  }
  if (rc == 0) return fd;
  *refused = err == ECONNREFUSED;
  ::close(fd);
  return kNoSocket;
}

long Receive(SocketHandle s, void* buf, std::size_t len) {
  for (;;) {
    ssize_t n = ::recv(s, buf, len, 0);
    if (n > 0) return static_cast<long>(n);
    if (n == 0) return kPeerClosed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    return kFailed;
  }
}

long Send(SocketHandle s, const void* buf, std::size_t len) {
  for (;;) {
    ssize_t n = ::send(s, buf, len, kSendFlags);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    return kFailed;
  }
}

bool SendAll(SocketHandle s, const void* buf, std::size_t len, int timeoutMs) {
  const char* p = static_cast<const char*>(buf);
  while (len > 0) {
    long n = Send(s, p, len);
    if (n == kFailed) return false;
    if (n == kWouldBlock || n == 0) {
      if (!WaitWritable(s, timeoutMs)) return false;
      continue;
    }
    p += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PeerHasClosed(SocketHandle s) {
  pollfd p{s, POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return true;
  if (rc == 0) return false;
  if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return true;
  char c;
  ssize_t n;
  do {
    n = ::recv(s, &c, 1, MSG_PEEK);
  } while (n < 0 && errno == EINTR);
  if (n == 0) return true;
  if (n < 0) return !(errno == EAGAIN || errno == EWOULDBLOCK);
  return false;  // the peer sent something; it is still there
}

long UnsentBytes(SocketHandle s) {
#if defined(__linux__)
  int queued = 0;
  if (::ioctl(s, SIOCOUTQ, &queued) == 0) return queued;
#else
  (void)s;
#endif
  return -1;
}

Answer Answered(SocketHandle s) {
  // A reset (or any failure) is an error on the socket; a hang-up with our
  // own direction still open is one too, as an end of stream alone never
  // hangs up.
  pollfd p{s, POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0 || (rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)) return Answer::kGone;
  const long unsent = UnsentBytes(s);
  if (unsent < 0) return Answer::kUnknown;
  return unsent == 0 ? Answer::kYes : Answer::kNotYet;
}

long DescriptorsLeft() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -1;
  const long most = limit.rlim_cur > 0x7fffffff ? 0x7fffffff : static_cast<long>(limit.rlim_cur);
  long open = -1;
#if defined(__linux__)
  // One entry per open descriptor; the listing's own is among them.
  if (DIR* d = ::opendir("/proc/self/fd")) {
    open = -1;
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++open;
    ::closedir(d);
  }
#endif
  if (open < 0) {
    // Asked one by one, as far as it is cheap: a descriptor above that is
    // rare enough not to matter.
    open = 0;
    for (long fd = 0; fd < most && fd < 65536; ++fd)
      if (::fcntl(static_cast<int>(fd), F_GETFD) != -1) ++open;
  }
  return most > open ? most - open : 0;
}

void ShutdownSend(SocketHandle s) {
  if (s != kNoSocket) ::shutdown(s, SHUT_WR);
}

void SetNoDelay(SocketHandle s) {
  int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Close(SocketHandle s) {
  if (s != kNoSocket) ::close(s);
}

int Poll(PollItem* items, std::size_t count, int timeoutMs) {
  std::vector<pollfd> fds(count);
  for (std::size_t i = 0; i < count; ++i) {
    fds[i].fd = items[i].wantRead ? items[i].handle : -1;  // -1: ignored by poll
    fds[i].events = POLLIN;
    fds[i].revents = 0;
  }
  int rc;
  for (;;) {
    rc = ::poll(fds.data(), static_cast<nfds_t>(count), timeoutMs);
    if (rc >= 0 || errno != EINTR) break;
  }
  if (rc < 0) return -1;
  int ready = 0;
  for (std::size_t i = 0; i < count; ++i) {
    items[i].readable = items[i].wantRead && (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    if (items[i].readable) ++ready;
  }
  return ready;
}

}  // namespace pallix::net

template class pallix::sys::Waker<pallix::net::SocketWaking>;
