// SocketConnect - what both systems' socket files share: the two halves of
// ConnectTcp (the shared half, SocketConnect.cpp, resolves the name and
// tries its addresses in turn, telling "refused" from the rest; each
// system's socket file connects to one address), and a peer's address as
// text.
#ifndef PALLIX_PLATFORM_SOCKET_CONNECT_H
#define PALLIX_PLATFORM_SOCKET_CONNECT_H

#include <chrono>
#include <cstddef>

#include "platform/Socket.h"

struct addrinfo;
struct sockaddr;

namespace pallix::net {

// Whether sockets can be made at all (Winsock has started); always true on
// POSIX.
bool SocketsReady();
// Connects to one resolved address, waiting until timeoutMs after `start`
// at most. kNoSocket on failure, with *refused set when the address
// refused the connection.
SocketHandle ConnectAddress(const addrinfo& address, std::chrono::steady_clock::time_point start,
                            int timeoutMs, bool* refused);
// A socket address as numeric text (at most size - 1 bytes) and its port;
// false, with an empty text and port 0, when it cannot be told (len 0).
bool NameOfAddress(const sockaddr* address, int len, char* text, std::size_t size, int* port);
// Milliseconds since `since`.
int ElapsedMs(std::chrono::steady_clock::time_point since);

}  // namespace pallix::net

#endif  // PALLIX_PLATFORM_SOCKET_CONNECT_H
