// Windows implementation of StreamSocket.h, on Winsock. A connection's
// socket is made non-blocking the first time it is read or written without
// waiting: Winsock has no per-call flag for that.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h:
#include <iphlpapi.h>

#include <string>

#include "platform/SocketAddressText.h"
#include "platform/StreamSocket.h"
#include "platform/WakerWin.h"
#include "platform/WinSecurity.h"
#include "platform/WinsockStart.h"

namespace stream_socket {

using pallix::sys::WinsockStarted;

namespace {

SOCKET Raw(Socket s) { return static_cast<SOCKET>(s); }

void NonBlocking(Socket s) {
  u_long yes = 1;
  ::ioctlsocket(Raw(s), FIONBIO, &yes);
}

bool WaitFor(Socket s, bool write, int timeoutMs) {
  Watch w{s, write, false};
  return Wait(&w, 1, timeoutMs) > 0;
}

// The words the POSIX side gives for the errors a listener meets, so that
// brenna-web says the same on both systems; the system's own for others.
std::string ErrorText(int error) {
  switch (error) {
    case WSAEADDRINUSE:
      return "Address already in use";
    case WSAEADDRNOTAVAIL:
      return "Cannot assign requested address";
    case WSAEACCES:
      return "Permission denied";
    default:
      break;
  }
  std::string text = win_security::ErrorText(static_cast<DWORD>(error));
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

Io Receive(Socket s, char* buffer, std::size_t size, std::size_t* count) {
  NonBlocking(s);
  const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
  const int n = ::recv(Raw(s), buffer, chunk, 0);
  if (n > 0) {
    *count = static_cast<std::size_t>(n);
    return Io::kDone;
  }
  if (n == 0) return Io::kClosed;
  return WSAGetLastError() == WSAEWOULDBLOCK ? Io::kNotNow : Io::kFailed;
}

Io Send(Socket s, const char* data, std::size_t size, std::size_t* count) {
  NonBlocking(s);
  const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
  const int n = ::send(Raw(s), data, chunk, 0);
  if (n >= 0) {
    *count = static_cast<std::size_t>(n);
    return Io::kDone;
  }
  return WSAGetLastError() == WSAEWOULDBLOCK ? Io::kNotNow : Io::kFailed;
}

int Wait(Watch* watches, std::size_t count, int timeoutMs) {
  std::vector<WSAPOLLFD> fds(count);
  for (std::size_t i = 0; i < count; ++i) {
    fds[i].fd = Raw(watches[i].socket);
    fds[i].events = watches[i].write ? POLLWRNORM : POLLRDNORM;
    fds[i].revents = 0;
    watches[i].ready = false;
  }
  const int n = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
  if (n < 0) return -1;
  for (std::size_t i = 0; i < count; ++i) watches[i].ready = fds[i].revents != 0;
  return n;
}

bool WaitReadable(Socket s, int timeoutMs) { return WaitFor(s, false, timeoutMs); }

bool WaitWritable(Socket s, int timeoutMs) { return WaitFor(s, true, timeoutMs); }

void Close(Socket s) {
  ::shutdown(Raw(s), SD_BOTH);
  ::closesocket(Raw(s));
}

void ShutdownSend(Socket s) { ::shutdown(Raw(s), SD_SEND); }

bool PeerAddress(Socket s, std::string* ip, int* port) {
  sockaddr_storage a{};
  int len = sizeof a;
  return ::getpeername(Raw(s), reinterpret_cast<sockaddr*>(&a), &len) == 0 &&
         AddressOf(a, ip, port);
}

bool LocalAddress(Socket s, std::string* ip, int* port) {
  sockaddr_storage a{};
  int len = sizeof a;
  return ::getsockname(Raw(s), reinterpret_cast<sockaddr*>(&a), &len) == 0 &&
         AddressOf(a, ip, port);
}

void SetListenerOptions(Socket s, int sendBuffer) {
  const BOOL yes = TRUE;
  ::setsockopt(Raw(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
               sizeof yes);
  ::setsockopt(Raw(s), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer),
               sizeof sendBuffer);
}

void ListenWidely(Socket s) { ::listen(Raw(s), SOMAXCONN); }

std::string ListenFailure(const std::string& host, int port) {
  if (!WinsockStarted()) return "Windows sockets are not available";
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr)
    return ErrorText(WSAGetLastError());
  const SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  int error = s == INVALID_SOCKET ? WSAGetLastError() : 0;
  if (s != INVALID_SOCKET) {
    SetListenerOptions(s, 64 * 1024);
    if (::bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 || ::listen(s, 1) != 0)
      error = WSAGetLastError();
    ::closesocket(s);
  }
  ::freeaddrinfo(found);
  return error != 0 ? ErrorText(error) : std::string();
}

bool ParseIpv4(const std::string& text, std::uint32_t* address) {
  in_addr v4{};
  if (!WinsockStarted() || ::inet_pton(AF_INET, text.c_str(), &v4) != 1) return false;
  *address = ntohl(v4.s_addr);
  return true;
}

bool ParseIpv6(const std::string& text) {
  in6_addr v6{};
  return WinsockStarted() && ::inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

std::vector<std::string> LanAddresses() {
  std::vector<std::string> hosts;
  if (!WinsockStarted()) return hosts;
  ULONG size = 16 * 1024;
  std::string buffer;
  ULONG got = ERROR_BUFFER_OVERFLOW;
  // The list may grow between asking its size and reading it.
  for (int tries = 0; tries < 3 && got == ERROR_BUFFER_OVERFLOW; ++tries) {
    buffer.assign(size, '\0');
    got = GetAdaptersAddresses(
        AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
        nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(&buffer[0]), &size);
  }
  if (got != NO_ERROR) return hosts;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(&buffer[0]); a != nullptr; a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      if (u->Address.lpSockaddr == nullptr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = {};
      const auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
      if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) hosts.emplace_back(text);
    }
  }
  return hosts;
}

}  // namespace stream_socket

template class pallix::sys::Waker<stream_socket::StreamWaking>;
