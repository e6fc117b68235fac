// Frames per second from stations to ReadNetData over loopback: a number of
// stations send as fast as they can while one reader takes frames.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "Transport.h"

using namespace pallix::transport;

namespace {

constexpr int kServer = 11;

std::array<unsigned char, NET_FRAME_SIZE> Frame(int station) {
  std::array<unsigned char, NET_FRAME_SIZE> f{};
  PallixPutU32(f.data() + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
  PallixPutU32(f.data() + NET_FRAME_WORD_OFFSET, static_cast<uint32_t>(station));
  PallixPutU32(f.data() + NET_FRAME_COMMAND_OFFSET, NET_CMD_FILE_CHUNK);
  PallixPutU32(f.data() + NET_FRAME_LENGTH_OFFSET, NET_FRAME_DATA_SIZE);
  PallixPutU32(f.data() + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
  return f;
}

void BM_LoopbackFrames(benchmark::State& state) {
  const int stations = static_cast<int>(state.range(0));
  if (Open(kServer, kModeServer, 0, 0) != 1) {
    state.SkipWithError("cannot listen");
    return;
  }
  const int port = ListeningPort(kServer);
  std::atomic<bool> stop{false};
  std::vector<std::thread> senders;
  for (int s = 0; s < stations; ++s) {
    senders.emplace_back([&, s] {
      // Each station is a station channel of its own, sending batches of 8.
      const int channel = 12 + s;
      Open(channel, kModeStation, 0, 2000);
      std::vector<unsigned char> batch;
      for (int i = 0; i < 8; ++i) {
        auto f = Frame(s);
        batch.insert(batch.end(), f.begin(), f.end());
      }
      while (!stop) {
        if (Send(channel, "127.0.0.1", port, batch.data(), static_cast<int>(batch.size())) < 0)
          break;
      }
      Close(channel);
    });
  }
  std::array<unsigned char, NET_FRAME_SIZE> buf;
  for (auto _ : state) {
    while (Read(kServer, buf.data(), static_cast<int>(buf.size())) <= 0) std::this_thread::yield();
  }
  stop = true;
  // Keep reading until every sender has left its last (blocking) send.
  std::atomic<bool> joined{false};
  std::thread drain([&] {
    while (!joined) {
      if (Read(kServer, buf.data(), static_cast<int>(buf.size())) <= 0) std::this_thread::yield();
    }
  });
  for (auto& t : senders) t.join();
  joined = true;
  drain.join();
  Close(kServer);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * NET_FRAME_SIZE));
}
BENCHMARK(BM_LoopbackFrames)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
