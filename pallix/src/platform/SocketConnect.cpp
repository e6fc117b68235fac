// The shared half of ConnectTcp: getaddrinfo is the same call on both
// systems; connecting to one address is not (Socket.cpp, SocketWin.cpp).
#include "platform/SocketConnect.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cstdio>
#include <cstdlib>

namespace pallix::net {

bool NameOfAddress(const sockaddr* address, int len, char* text, std::size_t size, int* port) {
  if (size > 0) text[0] = '\0';
  *port = 0;
  if (size == 0 || len <= 0) return false;
  char service[16];
  if (::getnameinfo(address, static_cast<socklen_t>(len), text, static_cast<socklen_t>(size),
                    service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    text[0] = '\0';
    return false;
  }
  *port = std::atoi(service);
  return true;
}

int ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - since)
                              .count());
}

SocketHandle ConnectTcp(const char* host, int port, int timeoutMs, ConnectError* error) {
  ConnectError ignored;
  if (error == nullptr) error = &ignored;
  *error = ConnectError::kOther;
  if (host == nullptr || *host == '\0' || port <= 0 || port > 65535) return kNoSocket;
  if (!SocketsReady()) return kNoSocket;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);
  addrinfo* list = nullptr;
  if (::getaddrinfo(host, service, &hints, &list) != 0 || list == nullptr) {
    *error = ConnectError::kUnknownHost;
    return kNoSocket;
  }
  const auto start = std::chrono::steady_clock::now();
  SocketHandle result = kNoSocket;
  // "Refused" only when every address said so; a name like localhost has
  // an IPv6 address the monitor (IPv4 only) refuses before the IPv4 one
  // that works.
  bool allRefused = true;
  for (addrinfo* ai = list; ai != nullptr && result == kNoSocket; ai = ai->ai_next) {
    bool refused = false;
    result = ConnectAddress(*ai, start, timeoutMs, &refused);
    if (result == kNoSocket && !refused) allRefused = false;
  }
  ::freeaddrinfo(list);
  if (result != kNoSocket) {
    *error = ConnectError::kNone;
  } else if (allRefused) {
    *error = ConnectError::kRefused;
  }
  return result;
}

}  // namespace pallix::net
