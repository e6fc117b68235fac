// What the transport's tests share: a server channel opened on a port of
// the system's choosing and read from, the count of a receipt, batches of
// frames, the station's reports, a lowered limit of descriptors.
#ifndef BRENNA_TESTS_PALLIX_TRANSPORTFIXTURE_H
#define BRENNA_TESTS_PALLIX_TRANSPORTFIXTURE_H

#include <mutex>
#include <string>
#include <vector>

#include "Log.h"
#include "PallixTestSupport.h"
#include "Transport.h"

namespace pallix_test {

using namespace pallix::transport;

constexpr int kChannel = 11;

class TransportTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseAll(); }

  // Opens a server channel on a port of the system's choosing.
  int OpenServer(int silenceMs = 0, int channel = kChannel) {
    EXPECT_EQ(1, Open(channel, kModeServer, 0, silenceMs));
    int port = ListeningPort(channel);
    EXPECT_GT(port, 0);
    return port;
  }

  // Opens a server channel with every limit given.
  int OpenServerWith(const ServerLimits& limits) {
    EXPECT_EQ(1, pallix::transport::OpenServer(kChannel, 0, limits));
    int port = ListeningPort(kChannel);
    EXPECT_GT(port, 0);
    return port;
  }

  // Reads frames until `count` have come or the deadline passes.
  std::vector<Frame> ReadFrames(size_t count, int channel = kChannel) {
    std::vector<Frame> got;
    WaitUntil([&] {
      Frame f;
      while (got.size() < count && Read(channel, f.data(), static_cast<int>(f.size())) > 0)
        got.push_back(f);
      return got.size() >= count;
    });
    return got;
  }
};

// The number of frames the last receipt in `bytes` names; -1 when there is
// none, or when `bytes` is not a row of well-formed receipts.
inline long LastReceiptCount(const std::string& bytes) {
  if (bytes.size() % NET_FRAME_SIZE != 0) return -1;
  long count = -1;
  for (size_t off = 0; off < bytes.size(); off += NET_FRAME_SIZE) {
    const auto* f = reinterpret_cast<const unsigned char*>(bytes.data()) + off;
    if (PallixGetU32(f + NET_FRAME_MAGIC_OFFSET) != NET_FRAME_MAGIC ||
        PallixGetU32(f + NET_FRAME_TRAILER_OFFSET) != NET_FRAME_TRAILER ||
        PallixGetU32(f + NET_FRAME_COMMAND_OFFSET) != NET_CMD_RECEIPT ||
        PallixGetU32(f + NET_FRAME_LENGTH_OFFSET) != NET_RECEIPT_LENGTH)
      return -1;
    count = PallixGetU32(f + NET_FRAME_DATA_OFFSET + NET_RECEIPT_COUNT_OFFSET);
  }
  return count;
}

inline std::vector<unsigned char> Frames(uint32_t tag, uint16_t count) {
  std::vector<unsigned char> bytes;
  for (uint16_t i = 0; i < count; ++i) {
    Frame f = MakeFrame(NET_CMD_FILE_CHUNK, tag, i);
    bytes.insert(bytes.end(), f.begin(), f.end());
  }
  return bytes;
}

// The process's limit of open descriptors, lowered for a test and put back
// afterwards.
class DescriptorLimit {
 public:
  DescriptorLimit() { ok_ = test_socket::GetDescriptorLimit(&saved_); }
  ~DescriptorLimit() {
    if (ok_) test_socket::SetDescriptorLimit(saved_);
  }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;
  // Descriptors from `limit` up cannot be opened.
  bool Set(long limit) { return ok_ && test_socket::SetDescriptorLimit(limit); }

 private:
  long saved_ = 0;
  bool ok_ = false;
};

// The station's reports at debug level, as brenna-send -v prints them,
// collected while it lives.
class StationReports {
 public:
  StationReports() { installed_ = pallix::log::SetSink(&Record, this, PALLIX_LOG_DEBUG) == 1; }
  ~StationReports() { pallix::log::SetSink(nullptr, nullptr, PALLIX_LOG_WARNING); }
  StationReports(const StationReports&) = delete;
  StationReports& operator=(const StationReports&) = delete;

  bool installed() const { return installed_; }
  std::string Text() {
    std::lock_guard<std::mutex> guard(lock_);
    return text_;
  }

 private:
  static void Record(const PallixLogRecord* r, void* context) {
    auto* self = static_cast<StationReports*>(context);
    std::lock_guard<std::mutex> guard(self->lock_);
    self->text_ += std::string(r->text) + "\n";
  }

  std::mutex lock_;
  std::string text_;
  bool installed_ = false;
};

}  // namespace pallix_test

#endif  // BRENNA_TESTS_PALLIX_TRANSPORTFIXTURE_H
