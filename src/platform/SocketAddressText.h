// SocketAddressText - a socket's address as the text and port
// StreamSocket.h hands out, told the same way by both halves
// (StreamSocket.cpp, StreamSocketWin.cpp): inet_ntop and the port in host
// order, for IPv4 and IPv6 alike. Only those two include it.
#ifndef BRENNA_PLATFORM_SOCKETADDRESSTEXT_H
#define BRENNA_PLATFORM_SOCKETADDRESSTEXT_H

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <string>

namespace stream_socket {

// False for a family other than IPv4 and IPv6 (a Unix socket, say).
inline bool AddressOf(const sockaddr_storage& a, std::string* ip, int* port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    *port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
    *port = ntohs(in->sin6_port);
  } else {
    return false;
  }
  *ip = text;
  return true;
}

}  // namespace stream_socket

#endif  // BRENNA_PLATFORM_SOCKETADDRESSTEXT_H
