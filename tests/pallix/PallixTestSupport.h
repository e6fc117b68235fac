// Helpers shared by the libPallix tests: private scratch directories,
// frames, and a plain client socket that plays the station (or a
// misbehaving peer) without going through the library under test.
#ifndef BRENNA_TESTS_PALLIX_SUPPORT_H
#define BRENNA_TESTS_PALLIX_SUPPORT_H

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FreePort.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "TestSocket.h"

namespace pallix_test {

namespace fs = std::filesystem;

// A fresh directory for one test case, inside the build tree.
inline fs::path ScratchDir(const std::string& tag = "") {
  const char* base = std::getenv("BRENNA_TEST_ARTIFACTS");
  fs::path root = base != nullptr ? fs::path(base) : fs::temp_directory_path();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                     : std::string("pallix");
  fs::path dir = root / "pallix" / (name + tag + "-" + std::to_string(std::random_device{}()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Frame = std::array<unsigned char, NET_FRAME_SIZE>;

// A well-formed frame; `tag` and `seq` ride in the two uninterpreted header
// fields so a receiver can tell sender and order apart.
inline Frame MakeFrame(uint32_t command, uint32_t tag, uint16_t seq,
                       const std::string& data = std::string()) {
  Frame f{};
  PallixPutU32(f.data() + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(f.data() + NET_FRAME_WORD_OFFSET, tag);
  PallixPutU16(f.data() + NET_FRAME_HALF1_OFFSET, seq);
  PallixPutU32(f.data() + NET_FRAME_COMMAND_OFFSET, command);
  PallixPutU32(f.data() + NET_FRAME_LENGTH_OFFSET, static_cast<uint32_t>(data.size()));
  std::memcpy(f.data() + NET_FRAME_DATA_OFFSET, data.data(), data.size());
  PallixPutU32(f.data() + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  return f;
}

inline uint32_t FrameTag(const unsigned char* f) { return PallixGetU32(f + NET_FRAME_WORD_OFFSET); }
inline uint16_t FrameSeq(const unsigned char* f) {
  return PallixGetU16(f + NET_FRAME_HALF1_OFFSET);
}

// Polls `done` until it holds or a generous deadline passes.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

// A blocking client connection to 127.0.0.1:port.
class Client {
 public:
  explicit Client(int port) : fd_(test_socket::ConnectLoopback(port)) {}
  // A socket only; Connect makes the connection later.
  struct NotYet {};
  explicit Client(NotYet) : fd_(test_socket::NewSocket()) {}
  bool Connect(int port) { return test_socket::Connect(fd_, port); }
  // Before Connect: connect from this loopback address (127.0.0.x).
  bool BindSource(const char* address) { return test_socket::BindSource(fd_, address); }
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return fd_ != test_socket::kNone; }
  void NoDelay() { test_socket::SetNoDelay(fd_); }
  void SmallReceiveBuffer() { test_socket::SmallReceiveBuffer(fd_); }
  int LocalPort() const { return test_socket::LocalPort(fd_); }
  bool Send(const void* data, size_t n) { return test_socket::SendAll(fd_, data, n); }
  bool Send(const Frame& f) { return Send(f.data(), f.size()); }
  // Ends the sending direction: the server reads end of stream.
  void ShutdownSend() { test_socket::ShutdownSend(fd_); }
  // True once the server has closed the connection (end of stream or reset);
  // what it sent before (its receipt) is read and dropped.
  bool ClosedByPeer(int waitMs) { return test_socket::ClosedByPeer(fd_, waitMs); }
  // What the server sends until it closes the connection (*closed set) or
  // waitMs passes.
  std::string Receive(int waitMs, bool* closed) {
    return test_socket::Receive(fd_, waitMs, closed);
  }
  void Close() {
    test_socket::Close(fd_);
    fd_ = test_socket::kNone;
  }
  // Closes with a reset, as a peer that gives up or dies does.
  void Reset() {
    test_socket::Reset(fd_);
    fd_ = test_socket::kNone;
  }

 private:
  test_socket::Handle fd_ = test_socket::kNone;
};

// A monitor that never answers: a listener whose queue (length 0) is
// filled by one connection it never accepts, so further connection
// requests are neither refused nor accepted and a connect runs out of time.
class UnansweringMonitor {
 public:
  UnansweringMonitor() : m_listener(0), m_first(m_listener.port()) {}
  UnansweringMonitor(const UnansweringMonitor&) = delete;
  UnansweringMonitor& operator=(const UnansweringMonitor&) = delete;
  bool ok() const { return m_listener.port() != 0 && m_first.Connected(); }
  int port() const { return m_listener.port(); }

 private:
  TcpListener m_listener;
  Client m_first;
};

}  // namespace pallix_test

#endif  // BRENNA_TESTS_PALLIX_SUPPORT_H
