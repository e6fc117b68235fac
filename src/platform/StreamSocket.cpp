// POSIX implementation of StreamSocket.h.
#include "platform/StreamSocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SocketAddressText.h"
#include "platform/WakerPosix.h"

namespace stream_socket {

namespace {

bool WaitFor(Socket s, short events, int timeoutMs) {
  pollfd p{s, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

}  // namespace

Io Receive(Socket s, char* buffer, std::size_t size, std::size_t* count) {
  for (;;) {
    const ssize_t n = ::recv(s, buffer, size, MSG_DONTWAIT);
    if (n > 0) {
      *count = static_cast<std::size_t>(n);
      return Io::kDone;
    }
    if (n == 0) return Io::kClosed;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? Io::kNotNow : Io::kFailed;
  }
}

Io Send(Socket s, const char* data, std::size_t size, std::size_t* count) {
  for (;;) {
    const ssize_t n = ::send(s, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      *count = static_cast<std::size_t>(n);
      return Io::kDone;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? Io::kNotNow : Io::kFailed;
  }
}

int Wait(Watch* watches, std::size_t count, int timeoutMs) {
  std::vector<pollfd> fds(count);
  for (std::size_t i = 0; i < count; ++i) {
    fds[i] = pollfd{watches[i].socket, static_cast<short>(watches[i].write ? POLLOUT : POLLIN), 0};
    watches[i].ready = false;
  }
  const int n = ::poll(fds.data(), fds.size(), timeoutMs);
  if (n < 0) return errno == EINTR ? 0 : -1;
  for (std::size_t i = 0; i < count; ++i) watches[i].ready = fds[i].revents != 0;
  return n;
}

bool WaitReadable(Socket s, int timeoutMs) { return WaitFor(s, POLLIN, timeoutMs); }

bool WaitWritable(Socket s, int timeoutMs) { return WaitFor(s, POLLOUT, timeoutMs); }

void Close(Socket s) {
  ::shutdown(s, SHUT_RDWR);
  ::close(s);
}

void ShutdownSend(Socket s) { ::shutdown(s, SHUT_WR); }

bool PeerAddress(Socket s, std::string* ip, int* port) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  return ::getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) == 0 && AddressOf(a, ip, port);
}

bool LocalAddress(Socket s, std::string* ip, int* port) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  return ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0 && AddressOf(a, ip, port);
}

void SetListenerOptions(Socket s, int sendBuffer) {
  const int yes = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
}

void ListenWidely(Socket s) { ::listen(s, SOMAXCONN); }

std::string ListenFailure(const std::string&, int) {
  return errno != 0 ? std::strerror(errno) : std::string();
}

bool ParseIpv4(const std::string& text, std::uint32_t* address) {
  in_addr v4{};
  if (::inet_pton(AF_INET, text.c_str(), &v4) != 1) return false;
  *address = ntohl(v4.s_addr);
  return true;
}

bool ParseIpv6(const std::string& text) {
  in6_addr v6{};
  return ::inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

std::vector<std::string> LanAddresses() {
  std::vector<std::string> hosts;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return hosts;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    if ((a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
    char text[INET_ADDRSTRLEN];
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) hosts.emplace_back(text);
  }
  ::freeifaddrs(list);
  return hosts;
}

}  // namespace stream_socket

template class pallix::sys::Waker<stream_socket::StreamWaking>;
