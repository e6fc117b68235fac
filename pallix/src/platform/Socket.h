// Socket - the one place where libPallix talks to the operating system's
// sockets. Everything above it (the transport, the station side) works with
// these few calls only, so a port to another system replaces this file and
// nothing else.
//
// All sockets made here are non-blocking, close-on-exec and never raise
// SIGPIPE; blocking behaviour with a deadline is built from Poll.
#ifndef PALLIX_PLATFORM_SOCKET_H
#define PALLIX_PLATFORM_SOCKET_H

#include <cstddef>
#include <cstdint>

#include "platform/Waker.h"

namespace pallix::net {

#if defined(_WIN32)
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif

extern const SocketHandle kNoSocket;

// Result of Receive and Send besides a positive byte count.
constexpr long kPeerClosed = 0;   // Receive only: orderly end of stream
constexpr long kWouldBlock = -1;  // nothing can be moved right now
constexpr long kFailed = -2;      // the connection is broken

enum class ListenError { kNone, kAddressInUse, kOther };

// Connections the system holds for a listener before it accepts them (it
// may hold fewer: Linux at most net.core.somaxconn). Ample, so that a
// station's attempt to connect is queued, not dropped and retried
// seconds later, while hostile peers come back as fast as they are closed.
constexpr int kListenBacklog = 1024;

// Listens on `port` (0: the system picks one) on every IPv4 interface.
// Returns kNoSocket and sets *error on failure.
SocketHandle ListenTcp(int port, ListenError* error);
// The local port a socket is bound to, or -1.
int LocalPort(SocketHandle s);
// Takes one pending connection from a listening socket; kNoSocket when none
// is waiting (or accepting failed). When it failed for lack of descriptors
// or memory, *outOfResources (if given) is set: the connection still waits,
// and trying again at once would only fail again. With `address`, the
// peer's address as numeric text (at most size - 1 bytes; empty when the
// system cannot tell) and its port, as the connection was queued.
SocketHandle Accept(SocketHandle listener, bool* outOfResources = nullptr, char* address = nullptr,
                    std::size_t size = 0, int* port = nullptr);
// The far end of a connected socket: its address as numeric text (at most
// size - 1 bytes) and its port. False, with an empty text and port 0, when
// the system cannot tell (the peer has gone already, say).
bool PeerAddress(SocketHandle s, char* text, std::size_t size, int* port);
enum class ConnectError { kNone, kUnknownHost, kRefused, kOther };

// Connects to host:port (a name or a dotted IPv4 address) within
// timeoutMs. Returns kNoSocket on failure and, when error is given, why:
// the name does not resolve, every address refused, or anything else
// (timeout, unreachable).
SocketHandle ConnectTcp(const char* host, int port, int timeoutMs, ConnectError* error = nullptr);

long Receive(SocketHandle s, void* buf, std::size_t len);
long Send(SocketHandle s, const void* buf, std::size_t len);
// Sends all of buf, waiting for room at most until timeoutMs has passed
// without progress. False when the connection failed or timed out.
bool SendAll(SocketHandle s, const void* buf, std::size_t len, int timeoutMs);
// True when the peer has closed or reset the connection (a peer that only
// ever receives never makes the socket readable otherwise).
bool PeerHasClosed(SocketHandle s);
// Bytes sent on s that the peer has not yet acknowledged (still in the
// send queue); -1 when the system cannot tell (Windows).
long UnsentBytes(SocketHandle s);
// What has become of what was last sent on s: the peer's system
// acknowledged all of it (kYes), not yet (kNotYet), the connection has
// been reset or failed (kGone), or the system cannot tell (kUnknown,
// Windows, unless it has seen a reset).
enum class Answer { kYes, kNotYet, kGone, kUnknown };
Answer Answered(SocketHandle s);
// How many more descriptors the process may open now: its limit of open
// files less the descriptors open; -1 when there is no such limit
// (Windows, or an unlimited one).
long DescriptorsLeft();
// Ends our direction of the stream (the peer reads end of stream).
void ShutdownSend(SocketHandle s);
// Sends each write at once instead of coalescing small ones.
void SetNoDelay(SocketHandle s);
void Close(SocketHandle s);

struct PollItem {
  SocketHandle handle;
  bool wantRead = false;
  bool readable = false;  // data, end of stream, an error or a hang-up
};
// Waits until an item with wantRead is readable or timeoutMs passes
// (negative: no limit). Returns the number of readable items, -1 on error.
int Poll(PollItem* items, std::size_t count, int timeoutMs);

// Wakes a thread that sleeps in Poll: its handle becomes readable after
// Signal until Drain (platform/Waker.h; made in Socket.cpp, SocketWin.cpp).
struct SocketWaking;
using Waker = sys::Waker<SocketWaking>;

}  // namespace pallix::net

extern template class pallix::sys::Waker<pallix::net::SocketWaking>;

#endif  // PALLIX_PLATFORM_SOCKET_H
