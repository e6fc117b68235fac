// StreamSocket - the calls brenna-web makes on its sockets beyond what the
// HTTP library does: reading and writing a connection without ever
// waiting, waiting for several at once, its addresses, the listener's
// rules (a port of its own, a bounded send buffer, a wide queue), the
// addresses of this PC, and a wake-up the waiting can be ended with.
//
// StreamSocket.cpp is the POSIX half (poll, MSG_DONTWAIT);
// StreamSocketWin.cpp the Windows one (Winsock: WSAPoll, sockets made
// non-blocking). The wake-up is the one libPallix uses too.
#ifndef BRENNA_PLATFORM_STREAMSOCKET_H
#define BRENNA_PLATFORM_STREAMSOCKET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Waker.h"

namespace stream_socket {

// The system's handle of a socket: what the HTTP library calls socket_t
// (a descriptor on POSIX, a SOCKET on Windows).
#ifdef _WIN32
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif

enum class Io {
  kDone,    // *count bytes moved
  kNotNow,  // nothing has come yet, or there is no room to send
  kClosed,  // the peer closed the connection (reading)
  kFailed,  // reset, or any other failure
};

// Reads what has come, never waiting.
Io Receive(Socket s, char* buffer, std::size_t size, std::size_t* count);
// Sends what there is room for, never waiting, and never ends the process
// when the peer has gone (no SIGPIPE).
Io Send(Socket s, const char* data, std::size_t size, std::size_t* count);

// One socket to wait for: readable (or closed, failed), or writable.
struct Watch {
  Socket socket;
  bool write = false;
  bool ready = false;  // set by Wait
};
// Waits at most timeoutMs until one of them is ready. The number ready; 0
// when the time passed (or a signal came); -1 when waiting failed.
int Wait(Watch* watches, std::size_t count, int timeoutMs);
// Whether `s` is ready for reading (or closed) within timeoutMs.
bool WaitReadable(Socket s, int timeoutMs);
// Whether `s` has room for sending within timeoutMs.
bool WaitWritable(Socket s, int timeoutMs);

// Ends the connection both ways and lets the socket go.
void Close(Socket s);
// Ends only the sending direction: the peer reads end of stream after
// what was sent, and may still send.
void ShutdownSend(Socket s);

// The peer's and our own address as text ("127.0.0.1", "::1") and port.
bool PeerAddress(Socket s, std::string* ip, int* port);
bool LocalAddress(Socket s, std::string* ip, int* port);

// A listener's rules, before it is bound: the port is ours alone (POSIX:
// SO_REUSEADDR, so that a restart listens at once, and never
// SO_REUSEPORT; Windows: SO_EXCLUSIVEADDRUSE, as its SO_REUSEADDR would
// let another program take the port over), and a send buffer of
// `sendBuffer` bytes that accepted connections take over.
void SetListenerOptions(Socket s, int sendBuffer);
// Once listening: room for a burst of connections in the system's queue.
void ListenWidely(Socket s);
// Why no listener could be had at host:port just now, in the system's
// words ("Address already in use"); empty when it cannot tell. POSIX tells
// the error the failed call left; Windows tries the bind once more.
std::string ListenFailure(const std::string& host, int port);

// A numeric IPv4 address ("127.0.0.1"), in host byte order.
bool ParseIpv4(const std::string& text, std::uint32_t* address);
// A numeric IPv6 address ("::1"), without brackets.
bool ParseIpv6(const std::string& text);

// The IPv4 addresses of this PC's interfaces that are up, the loopback's
// left out: where a browser elsewhere on the LAN reaches us.
std::vector<std::string> LanAddresses();

// Ends a Wait from another thread: its handle is waited for with the
// sockets, readable once Signal was called, until Drain. libPallix's
// (pallix/src/platform/Waker.h), made here for brenna-web.
struct StreamWaking;
using Waker = pallix::sys::Waker<StreamWaking>;

}  // namespace stream_socket

extern template class pallix::sys::Waker<stream_socket::StreamWaking>;

#endif  // BRENNA_PLATFORM_STREAMSOCKET_H
