// Winsock implementation of Socket.h. Sockets are non-blocking and not
// inherited by child processes; Winsock never raises signals, so nothing
// stands in for SIGPIPE. Poll is WSAPoll; a connect waits with select,
// which (unlike WSAPoll on older Windows) reports a refused connection.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h:
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/Socket.h"
#include "platform/SocketConnect.h"
#include "platform/WakerWin.h"
#include "platform/WinsockStart.h"

namespace pallix::net {

const SocketHandle kNoSocket = INVALID_SOCKET;

namespace {

bool MakeNonBlockingPrivate(SOCKET s) {
  u_long one = 1;
  if (ioctlsocket(s, FIONBIO, &one) != 0) return false;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return true;
}

SOCKET NewTcpSocket(int family) {
  if (!sys::WinsockStarted()) return INVALID_SOCKET;
  SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return INVALID_SOCKET;
  if (!MakeNonBlockingPrivate(s)) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

// Waits until s is writable (true) or has failed or the time is up (false).
bool WaitWritable(SOCKET s, int timeoutMs) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int rc = ::select(0, nullptr, &writable, &failed, timeoutMs < 0 ? nullptr : &tv);
  return rc > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed);
}

}  // namespace

SocketHandle ListenTcp(int port, ListenError* error) {
  *error = ListenError::kOther;
  if (port < 0 || port > 65535) return kNoSocket;
  SOCKET s = NewTcpSocket(AF_INET);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Windows lets a second listener take a port with SO_REUSEADDR; exclusive
  // use makes a port another process listens on report "in use", as on
  // POSIX.
  BOOL one = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = WSAGetLastError();
    if (err == WSAEADDRINUSE || err == WSAEACCES) *error = ListenError::kAddressInUse;
    ::closesocket(s);
    return kNoSocket;
  }
  if (::listen(s, kListenBacklog) != 0) {
    if (WSAGetLastError() == WSAEADDRINUSE) *error = ListenError::kAddressInUse;
    ::closesocket(s);
    return kNoSocket;
  }
  *error = ListenError::kNone;
  return s;
}

int LocalPort(SocketHandle s) {
  sockaddr_storage addr{};
  int len = sizeof addr;
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
    int len = sizeof addr;
    SOCKET s = ::accept(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    if (s == INVALID_SOCKET) {
      const int err = WSAGetLastError();
      if (err == WSAEINTR) continue;
      // That connection is gone (reset before it was taken); others may wait.
      if (err == WSAECONNRESET) continue;
      // No socket handles or buffer space left: the connection still waits.
      if (outOfResources != nullptr && (err == WSAEMFILE || err == WSAENOBUFS))
        *outOfResources = true;
      return kNoSocket;
    }
    if (!MakeNonBlockingPrivate(s)) {
      ::closesocket(s);
      continue;
    }
    // The address the connection came from, as the system queued it: named
    // even when it has been reset since.
    if (address != nullptr)
      NameOfAddress(reinterpret_cast<const sockaddr*>(&addr), static_cast<int>(len), address, size,
                    port);
    return s;
  }
}

bool PeerAddress(SocketHandle s, char* text, std::size_t size, int* port) {
  sockaddr_storage addr{};
  int len = sizeof addr;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) len = 0;
  return NameOfAddress(reinterpret_cast<const sockaddr*>(&addr), static_cast<int>(len), text, size,
                       port);
}

bool SocketsReady() { return sys::WinsockStarted(); }

SocketHandle ConnectAddress(const addrinfo& address, std::chrono::steady_clock::time_point start,
                            int timeoutMs, bool* refused) {
  *refused = false;
  SOCKET s = NewTcpSocket(address.ai_family);
  if (s == INVALID_SOCKET) return kNoSocket;
  int rc = ::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen));
  int err = rc == 0 ? 0 : WSAGetLastError();
  if (rc != 0 && err == WSAEWOULDBLOCK) {
    const int left = timeoutMs - ElapsedMs(start);
    err = WSAETIMEDOUT;
    if (left > 0) {
      const bool writable = WaitWritable(s, left);
      int soError = 0;
      int len = sizeof soError;
      if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
        soError = WSAEINVAL;
      if (writable && soError == 0) {
        rc = 0;
        err = 0;
      } else if (soError != 0) {
        err = soError;
      }
    }
  }
  if (rc == 0) return s;
  *refused = err == WSAECONNREFUSED;
  ::closesocket(s);
  return kNoSocket;
}

long Receive(SocketHandle s, void* buf, std::size_t len) {
  const int want = len > 0x7fffffff ? 0x7fffffff : static_cast<int>(len);
  for (;;) {
    const int n = ::recv(s, static_cast<char*>(buf), want, 0);
    if (n > 0) return n;
    if (n == 0) return kPeerClosed;
    const int err = WSAGetLastError();
    if (err == WSAEINTR) continue;
    if (err == WSAEWOULDBLOCK) return kWouldBlock;
    return kFailed;
  }
}

long Send(SocketHandle s, const void* buf, std::size_t len) {
  const int want = len > 0x7fffffff ? 0x7fffffff : static_cast<int>(len);
  for (;;) {
    const int n = ::send(s, static_cast<const char*>(buf), want, 0);
    if (n >= 0) return n;
    const int err = WSAGetLastError();
    if (err == WSAEINTR) continue;
    if (err == WSAEWOULDBLOCK) return kWouldBlock;
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
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval now{0, 0};
  const int rc = ::select(0, &readable, nullptr, nullptr, &now);
  if (rc < 0) return true;
  if (rc == 0) return false;
  char c;
  const int n = ::recv(s, &c, 1, MSG_PEEK);
  if (n == 0) return true;
  if (n < 0) return WSAGetLastError() != WSAEWOULDBLOCK;
  return false;  // the peer sent something; it is still there
}

// Winsock tells neither: a receipt goes out whenever its count has risen,
// and Windows has no per-process limit of socket handles to budget for.
long UnsentBytes(SocketHandle) { return -1; }

Answer Answered(SocketHandle s) {
  // Winsock tells nothing of what the peer acknowledged; a reset shows as
  // an error on the socket, or on a look at what waits to be read (an end
  // of stream alone is no error).
  WSAPOLLFD p{};
  p.fd = s;
  p.events = POLLRDNORM;
  const int rc = ::WSAPoll(&p, 1, 0);
  if (rc == SOCKET_ERROR || (rc > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0))
    return Answer::kGone;
  if (rc > 0) {
    char c;
    if (::recv(s, &c, 1, MSG_PEEK) == SOCKET_ERROR) {
      const int err = WSAGetLastError();
      if (err != WSAEWOULDBLOCK && err != WSAEINTR) return Answer::kGone;
    }
  }
  return Answer::kUnknown;
}

long DescriptorsLeft() { return -1; }

void ShutdownSend(SocketHandle s) {
  if (s != kNoSocket) ::shutdown(s, SD_SEND);
}

void SetNoDelay(SocketHandle s) {
  BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void Close(SocketHandle s) {
  if (s != kNoSocket) ::closesocket(s);
}

int Poll(PollItem* items, std::size_t count, int timeoutMs) {
  // WSAPoll takes only valid sockets: the items that want nothing stay out.
  std::vector<WSAPOLLFD> fds;
  std::vector<std::size_t> which;
  fds.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    items[i].readable = false;
    if (!items[i].wantRead) continue;
    WSAPOLLFD p{};
    p.fd = items[i].handle;
    p.events = POLLRDNORM;
    fds.push_back(p);
    which.push_back(i);
  }
  if (fds.empty()) {
    if (timeoutMs > 0) Sleep(static_cast<DWORD>(timeoutMs));
    return 0;
  }
  const int rc = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
  if (rc < 0) return -1;
  int ready = 0;
  for (std::size_t k = 0; k < fds.size(); ++k) {
    if ((fds[k].revents & (POLLRDNORM | POLLERR | POLLHUP)) != 0) {
      items[which[k]].readable = true;
      ++ready;
    }
  }
  return ready;
}

}  // namespace pallix::net

template class pallix::sys::Waker<pallix::net::SocketWaking>;
