// TestSocket - plain sockets for tests, straight on the system's socket API
// (never through libPallix, which is what they test): a loopback client, a
// listener, the process's descriptor limit. Blocking; a send never raises
// SIGPIPE. A free port: FreePort.h.
#ifndef BRENNA_TESTS_TESTSOCKET_H
#define BRENNA_TESTS_TESTSOCKET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace test_socket {

using Handle = std::intptr_t;
constexpr Handle kNone = -1;

// Listens on 127.0.0.1 (or every interface) at *port, or when that is 0 at
// a port of the system's choosing, stored in *port; kNone on failure.
Handle Listen(bool everyInterface, int backlog, int* port);
// Connects to 127.0.0.1:port; kNone on failure.
Handle ConnectLoopback(int port);
// A TCP socket not yet connected (kNone on failure), and its connection to
// 127.0.0.1:port made later.
Handle NewSocket();
// Makes a socket not yet connected connect from a loopback address of its
// own ("127.0.0.2": the whole of 127/8 is this machine), so a server tells
// it from peers of 127.0.0.1.
bool BindSource(Handle s, const char* address);
bool Connect(Handle s, int port);
bool SendAll(Handle s, const void* data, std::size_t n);
// Ends the sending direction: the peer reads end of stream.
void ShutdownSend(Handle s);
// True once the peer has closed the connection (end of stream or reset)
// within waitMs; what it sent before is read and dropped.
bool ClosedByPeer(Handle s, int waitMs);
// What the peer sends until it closes the connection (*closed set) or
// waitMs passes.
std::string Receive(Handle s, int waitMs, bool* closed);
void SetNoDelay(Handle s);
// Makes the socket's receive buffer as small as the system allows (before
// it connects): a peer that does not read then fills it at once.
void SmallReceiveBuffer(Handle s);
// The local port of a connected socket (-1 when unknown).
int LocalPort(Handle s);
void Close(Handle s);
// Closes with a reset instead of an orderly end (a linger of 0), as a peer
// that gives up or dies does.
void Reset(Handle s);

// The process's limit of open descriptors, sockets among them, where a
// process can lower it (POSIX: RLIMIT_NOFILE). Windows has no such limit:
// there these fail, and the cases that need them are left out.
bool GetDescriptorLimit(long* limit);
bool SetDescriptorLimit(long limit);
// The limit below which exactly `count` descriptors are free (the process
// may hold inherited descriptors anywhere); -1 when that cannot be known.
long LimitLeavingFree(int count);
// Whether `count` more descriptors can be had at once.
bool DescriptorsFree(int count);

}  // namespace test_socket

#endif  // BRENNA_TESTS_TESTSOCKET_H
