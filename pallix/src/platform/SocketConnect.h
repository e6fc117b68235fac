// SocketConnect - the two halves of ConnectTcp. The shared half
// (SocketConnect.cpp) resolves the name and tries its addresses in turn,
// telling "refused" from the rest; each system's socket file connects to
// one address.
#ifndef PALLIX_PLATFORM_SOCKET_CONNECT_H
#define PALLIX_PLATFORM_SOCKET_CONNECT_H

#include <chrono>

#include "platform/Socket.h"

struct addrinfo;

namespace pallix::net {

// Whether sockets can be made at all (Winsock has started); always true on
// POSIX.
bool SocketsReady();
// Connects to one resolved address, waiting until timeoutMs after `start`
// at most. kNoSocket on failure, with *refused set when the address
// refused the connection.
SocketHandle ConnectAddress(const addrinfo& address, std::chrono::steady_clock::time_point start,
                            int timeoutMs, bool* refused);
// Milliseconds since `since`.
int ElapsedMs(std::chrono::steady_clock::time_point since);

}  // namespace pallix::net

#endif  // PALLIX_PLATFORM_SOCKET_CONNECT_H
