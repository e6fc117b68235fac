// The monitor unloads libPallix at quit without closing its channel first:
// unloading must stop the library's threads and close its sockets.
#include <gtest/gtest.h>

#include <thread>

#include "LoadedLibrary.h"
#include "PallixTestSupport.h"

using namespace pallix_test;

namespace {

// Threads of this process. The first thread ever started may bring a
// helper thread of a sanitizer runtime along (ThreadSanitizer's lives until
// exit); one short-lived thread beforehand lets the counts compare only the
// library's own threads.
size_t ThreadCount() {
  static const bool runtimeSettled = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)runtimeSettled;
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// Opens channel 11 the way the monitor does, on a free port.
int OpenLikeTheMonitor(const LoadedLibrary& lib) {
  for (int tries = 0; tries < 20; ++tries) {
    int port = FreePort();
    int rc = PALLIX_FN(lib, OpenNet)(11, 0, port, 9898);
    if (rc == 1) return port;
    if (rc != -5) return rc;
  }
  return -5;
}

}  // namespace

TEST(PallixUnload, UnloadingWithAnOpenChannelStopsEverything) {
  const size_t threadsBefore = ThreadCount();
  LoadedLibrary lib;
  ASSERT_TRUE(lib.Loaded()) << dlerror();
  const int port = OpenLikeTheMonitor(lib);
  ASSERT_GT(port, 0);
  EXPECT_GT(ThreadCount(), threadsBefore);

  Client station(port);
  ASSERT_TRUE(station.Connected());
  Frame f = MakeFrame(NET_CMD_FILE_CHUNK, 1, 0);
  ASSERT_TRUE(station.Send(f.data(), 1000));  // a frame in the middle
  Client second(port);
  ASSERT_TRUE(second.Send(f));  // and a finished frame nobody read

  ASSERT_EQ(0, lib.Unload());
  // Really gone from the process, its thread stopped, its sockets closed.
  EXPECT_EQ(nullptr, dlopen(PALLIX_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD));
  EXPECT_EQ(threadsBefore, ThreadCount());
  EXPECT_TRUE(WaitUntil([&] { return station.ClosedByPeer(0); }));
  EXPECT_TRUE(WaitUntil([&] { return second.ClosedByPeer(0); }));

  // The port is free again for the next run.
  LoadedLibrary again;
  ASSERT_TRUE(again.Loaded());
  EXPECT_EQ(1, PALLIX_FN(again, OpenNet)(11, 0, port, 9898));
  Client next(port);
  ASSERT_TRUE(next.Send(f));
  Frame got{};
  EXPECT_TRUE(
      WaitUntil([&] { return PALLIX_FN(again, ReadNetData)(11, got.data(), NET_FRAME_SIZE) > 0; }));
  EXPECT_EQ(f, got);
  EXPECT_EQ(0, again.Unload());
}

TEST(PallixUnload, UnloadingWithAStationConnectionOpenIsSafe) {
  const size_t threadsBefore = ThreadCount();
  LoadedLibrary server;  // this copy plays the monitor ...
  ASSERT_TRUE(server.Loaded());
  const int port = OpenLikeTheMonitor(server);
  ASSERT_GT(port, 0);
  // ... and the very same library, through the same handle, the station.
  ASSERT_EQ(1, PALLIX_FN(server, OpenNet)(2, 1, 0, 2000));
  Frame f = MakeFrame(NET_CMD_FILE_CHUNK, 4, 0);
  ASSERT_EQ(1, PALLIX_FN(server, SendNetData)(2, "127.0.0.1", port, f.data(), NET_FRAME_SIZE));
  Frame got{};
  ASSERT_TRUE(WaitUntil(
      [&] { return PALLIX_FN(server, ReadNetData)(11, got.data(), NET_FRAME_SIZE) > 0; }));
  EXPECT_EQ(f, got);
  EXPECT_EQ(0, server.Unload());
  EXPECT_EQ(nullptr, dlopen(PALLIX_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD));
  EXPECT_EQ(threadsBefore, ThreadCount());
}
