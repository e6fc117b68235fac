// The station tool as a program: input over any limit is refused with its
// reason before a single byte leaves (a listener counts connections and
// bytes), an unknown host, a refused connection, a monitor that does not
// answer and one that refuses a file for good have their own exit
// statuses, and the dry run shows the chunk orders, duplicates, stations
// and rounds the options ask for.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <random>
#include <thread>

#include "ChildProcess.h"
#include "Pallix.h"
#include "PallixTestSupport.h"
#include "StationRecord.h"

using namespace pallix_test;
using brenna_send::BuildRecordFromText;

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

ToolRun RunTool(const std::vector<std::string>& args, const fs::path& dir) {
  std::vector<std::string> argv = {BRENNA_SEND_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess::Options options;
  options.logPath = (dir / "tool.out").string();
  options.errorPath = (dir / "tool.err").string();
  fs::remove(options.errorPath);
  const ProgramRun run = RunProgram(argv, options, std::chrono::seconds(90));
  ToolRun tool;
  tool.status = run.status;
  tool.out = run.output;
  tool.err = ReadFile(options.errorPath);
  if (run.status < 0) tool.err += "[" + run.how + "]";
  return tool;
}

// A port that accepts connections and notes every one, with every byte.
class CountingListener {
 public:
  CountingListener() : listener_(16) {
    if (listener_.port() != 0)
      ::fcntl(listener_.fd(), F_SETFL, ::fcntl(listener_.fd(), F_GETFL, 0) | O_NONBLOCK);
  }
  CountingListener(const CountingListener&) = delete;
  CountingListener& operator=(const CountingListener&) = delete;

  int port() const { return listener_.port(); }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port()); }

  // Takes every connection made so far (the kernel queues them even when
  // the peer has already gone) and reads what it sent.
  void Drain() {
    for (;;) {
      const int c = ::accept(listener_.fd(), nullptr, nullptr);
      if (c < 0) return;
      ++connections;
      char buf[4096];
      ssize_t n;
      while ((n = ::recv(c, buf, sizeof buf, 0)) > 0) bytes += static_cast<size_t>(n);
      ::close(c);
    }
  }

  int connections = 0;
  size_t bytes = 0;

 private:
  TcpListener listener_;
};

std::string Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos ? "" : "\"" + part + "\" not in: " + text;
}

// `lines` description lines of incompressible values of `valueLength` bytes.
std::string RandomValues(int lines, size_t valueLength, unsigned seed) {
  std::mt19937 rng(seed);
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += std::to_string(9000 + i) + " 0 ";
    for (size_t k = 0; k < valueLength; ++k) text += alphabet[rng() % 62];
    text += "\n";
  }
  return text;
}

// The frames of a dry run: transfer name and chunk index, in file order.
std::vector<std::pair<std::string, int>> Chunks(const std::string& bytes) {
  std::vector<std::pair<std::string, int>> chunks;
  for (size_t off = 0; off + NET_FRAME_SIZE <= bytes.size(); off += NET_FRAME_SIZE) {
    const auto* d =
        reinterpret_cast<const unsigned char*>(bytes.data()) + off + NET_FRAME_DATA_OFFSET;
    chunks.emplace_back(reinterpret_cast<const char*>(d + FILE_CHUNK_NAME_OFFSET),
                        PallixGetU16(d + FILE_CHUNK_INDEX_OFFSET));
  }
  return chunks;
}

class BrennaSendTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = ScratchDir();
    ASSERT_GT(listener.port(), 0);
    WriteFile(dir / "good.txt", "7700 0 3\n7701 0 1024\n5000 1 38.6\n");
  }

  // The tool must refuse with `status` and a message holding each of
  // `parts`, and the listener must have seen nothing at all.
  void ExpectRefusedBeforeSending(const std::vector<std::string>& args, int status,
                                  const std::vector<std::string>& parts) {
    std::vector<std::string> full = {listener.Address()};
    full.insert(full.end(), args.begin(), args.end());
    const ToolRun run = RunTool(full, dir);
    EXPECT_EQ(run.status, status) << run.err;
    for (const std::string& p : parts) EXPECT_EQ(Contains(run.err, p), "");
    listener.Drain();
    EXPECT_EQ(listener.connections, 0);
    EXPECT_EQ(listener.bytes, 0u);
  }

  fs::path dir;
  CountingListener listener;
};

}  // namespace

TEST_F(BrennaSendTool, AGoodFileReachesTheListener) {
  // The counterpart of the refusals below: the same listener does see a
  // transfer, so "nothing seen" there means nothing was sent.
  const ToolRun run = RunTool({"-w", "2000", listener.Address(), (dir / "good.txt").string()}, dir);
  listener.Drain();
  EXPECT_EQ(listener.connections, 1);
  EXPECT_EQ(listener.bytes, size_t{NET_FRAME_SIZE});
  EXPECT_EQ(Contains(run.out, "transfer good"), "");
  // A mere listener never confirms that it stored the frames, so the tool
  // may not report the file as delivered.
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(Contains(run.err, "did not confirm"), "");
  EXPECT_EQ(Contains(run.err, "send them again"), "");
}

// --verbose: each frame as it goes out, and what became of the connection
// (here a listener that never confirms); without it, none of that.
TEST_F(BrennaSendTool, VerboseSaysEachFrameAndHowTheConnectionEnded) {
  const std::string file = (dir / "good.txt").string();
  const ToolRun run = RunTool({"-v", "-w", "1000", listener.Address(), file}, dir);
  listener.Drain();
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(Contains(run.err, "brenna-send: channel 0: frame 1 sent to " + listener.Address() +
                                  ": transfer 'good', chunk 1 of 1 (index 0), "),
            "");
  EXPECT_EQ(Contains(run.err, "brenna-send: channel 0: connection to " + listener.Address() +
                                  " closed (no receipt came in time): 0 of 1 frames confirmed"),
            "");

  const ToolRun quiet = RunTool({"-w", "1000", listener.Address(), file}, dir);
  listener.Drain();
  EXPECT_EQ(quiet.status, 3);
  EXPECT_EQ(quiet.err.find("frame 1 sent"), std::string::npos) << quiet.err;
  EXPECT_EQ(quiet.err.find("channel 0:"), std::string::npos) << quiet.err;
}

TEST_F(BrennaSendTool, AValueOver511BytesIsRefusedWithItsLine) {
  WriteFile(dir / "long.txt", "7700 0 3\n# comment\n\n5000 1 " + std::string(512, '7') + "\n");
  ExpectRefusedBeforeSending({(dir / "good.txt").string(), (dir / "long.txt").string()}, 2,
                             {"long.txt", "line 4", "511", "nothing was sent"});
}

TEST_F(BrennaSendTool, AMalformedLineIsRefusedWithItsLine) {
  WriteFile(dir / "bad.txt", "7700 0 3\n5000 passed 38.6\n");
  ExpectRefusedBeforeSending({(dir / "good.txt").string(), (dir / "bad.txt").string()}, 2,
                             {"bad.txt", "line 2", "CODE JUDGE VALUE", "5000 passed"});
}

TEST_F(BrennaSendTool, ARecordOver150000BytesIsRefused) {
  // 320 values of 500 bytes, 514 bytes each with their entry: the 292nd
  // would take the record past 150,000 bytes.
  WriteFile(dir / "huge.txt", RandomValues(320, 500, 1));
  ExpectRefusedBeforeSending({(dir / "huge.txt").string()}, 2, {"huge.txt", "line 292", "150000"});
  // A ready record file of that size is refused as a whole.
  std::string record(150001, '\0');
  record[0] = '\x55';
  record[1] = '\xAA';
  WriteFile(dir / "huge.rec", record);
  ExpectRefusedBeforeSending({(dir / "huge.rec").string()}, 2, {"huge.rec", "150000"});
}

TEST_F(BrennaSendTool, ACompressedFileOver32767BytesIsRefused) {
  // 100 incompressible values of 500 bytes: a 50 kB record that gzip
  // cannot bring below 32,767 bytes.
  WriteFile(dir / "noisy.txt", RandomValues(100, 500, 2));
  ExpectRefusedBeforeSending({(dir / "good.txt").string(), (dir / "noisy.txt").string()}, 2,
                             {"noisy.txt", "32767"});
}

// The monitor shows nothing for an empty file or a record of no items:
// no result, refused like any other bad input.
TEST_F(BrennaSendTool, AnEmptyFileOrARecordOfNoItemsIsRefused) {
  const std::string good = (dir / "good.txt").string();
  WriteFile(dir / "empty.txt", "");
  ExpectRefusedBeforeSending({good, (dir / "empty.txt").string()}, 2,
                             {"empty.txt", "the file is empty", "nothing was sent"});
  ExpectRefusedBeforeSending({"-r", (dir / "empty.txt").string()}, 2, {"the file is empty"});
  WriteFile(dir / "comments.txt", "# brake station\n\n   \n");
  ExpectRefusedBeforeSending({good, (dir / "comments.txt").string()}, 2,
                             {"comments.txt", "no item", "show nothing"});
}

TEST_F(BrennaSendTool, ATransferNameTheMonitorWouldRefuseIsRefused) {
  const std::string good = (dir / "good.txt").string();
  ExpectRefusedBeforeSending({"-n", "lane/2", good}, 2, {"lane/2", "refused by the monitor"});
  // No Windows file name holds it: the monitor refuses it on any system.
  ExpectRefusedBeforeSending({"-n", "lane?2", good}, 2, {"lane?2", "refused by the monitor"});
  ExpectRefusedBeforeSending({"-n", std::string(100, 'n'), good}, 2, {"99"});
  // 97 bytes fit, but the tenth round would make it 100.
  ExpectRefusedBeforeSending({"-R", "10", "-n", std::string(97, 'n'), good}, 2,
                             {std::string(97, 'n') + "-10"});
}

TEST_F(BrennaSendTool, AnUnknownHostAndARefusedConnectionHaveTheirOwnStatus) {
  const std::string good = (dir / "good.txt").string();
  ToolRun run = RunTool({"no-such-monitor.invalid:10004", good}, dir);
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_EQ(Contains(run.err, "unknown host no-such-monitor.invalid"), "");

  int closed = FreePort();
  run = RunTool({"127.0.0.1:" + std::to_string(closed), good}, dir);
  EXPECT_EQ(run.status, 5) << run.err;
  EXPECT_EQ(Contains(run.err, "refused"), "");

  run = RunTool({"--stations", "3", "localhost:" + std::to_string(closed), good}, dir);
  EXPECT_EQ(run.status, 5) << run.err;
  EXPECT_EQ(Contains(run.err, "station 3:"), "") << "every station reports";

  run = RunTool({"--order", "upside-down", good}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Contains(run.err, "--help"), "");
}

TEST_F(BrennaSendTool, AMonitorThatDoesNotAnswerInTimeEndsWithStatus3) {
  UnansweringMonitor monitor;
  ASSERT_TRUE(monitor.ok());
  const int port = monitor.port();
  const ToolRun run =
      RunTool({"-w", "300", "127.0.0.1:" + std::to_string(port), (dir / "good.txt").string()}, dir);
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(Contains(run.err, "no answer within 300 ms"), "");
}

// A monitor that refuses a file for good (here a server channel of the
// library that refuses every frame it takes, as the monitor refuses a name
// its spool cannot hold) ends the tool with a status of its own, apart from
// "send again" (3), telling not to send it again.
TEST_F(BrennaSendTool, AFileTheMonitorRefusesForGoodEndsWithStatus6) {
  const int port = FreePort();
  ASSERT_EQ(1, OpenNet(20, 0, port, 0));
  std::atomic<bool> stop{false};
  std::thread monitor([&] {
    unsigned char frame[NET_FRAME_SIZE];
    while (!stop) {
      if (ReadNetData(20, frame, NET_FRAME_SIZE) > 0) {
        PallixRejectFrame(20);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  });
  const ToolRun run =
      RunTool({"127.0.0.1:" + std::to_string(port), (dir / "good.txt").string()}, dir);
  stop = true;
  monitor.join();
  CloseNet(20);
  EXPECT_EQ(run.status, 6) << run.err;
  EXPECT_EQ(Contains(run.err, "refused a file for good"), "");
  EXPECT_EQ(Contains(run.err, "do not send it again"), "");
}

TEST_F(BrennaSendTool, AFramesFileThatCannotBeWrittenEndsWithStatus2) {
  const ToolRun run = RunTool({"-o", dir.string(), (dir / "good.txt").string()}, dir);
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(Contains(run.err, "cannot write " + dir.string()), "");
}

TEST_F(BrennaSendTool, ARecordFileIsSentAsItIsAndABrokenOneIsRefused) {
  std::vector<unsigned char> record;
  std::string error;
  ASSERT_TRUE(BuildRecordFromText("7700 0 25\n5071 1 1234\n", &record, &error)) << error;
  const std::string bytes(record.begin(), record.end());
  WriteFile(dir / "brake.dat", bytes);
  // Told from a description by its first bytes, or named with -r.
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, std::vector<std::string>{"-r"}}) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-o", (dir / "frames").string(), (dir / "brake.dat").string()});
    const ToolRun run = RunTool(args, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string frames = ReadFile(dir / "frames");
    ASSERT_EQ(frames.size(), size_t{NET_FRAME_SIZE});
    const auto* d = reinterpret_cast<const unsigned char*>(frames.data()) + NET_FRAME_DATA_OFFSET;
    WriteFile(dir / "t.compress",
              std::string(reinterpret_cast<const char*>(d + FILE_CHUNK_DATA_OFFSET),
                          PallixGetU16(d + FILE_CHUNK_COUNT_OFFSET)));
    ASSERT_EQ(1, UnCompressFile((dir / "t.compress").c_str(), dir.c_str()));
    EXPECT_EQ(ReadFile(dir / "rtdata.dat"), bytes);
  }
  // -t reads the same bytes as text, which they are not.
  ExpectRefusedBeforeSending({"-t", (dir / "brake.dat").string()}, 2, {"brake.dat", "line 1"});
  // A record whose item list runs past its end.
  WriteFile(dir / "cut.dat", bytes.substr(0, bytes.size() - 3));
  ExpectRefusedBeforeSending({(dir / "cut.dat").string()}, 2, {"cut.dat", "not a result record"});
}

TEST_F(BrennaSendTool, TheDryRunShowsOrdersDuplicatesStationsAndRounds) {
  // Three chunks: a record of incompressible values just over two slots.
  WriteFile(dir / "big.txt", RandomValues(11, 500, 3));
  const std::string big = (dir / "big.txt").string(), out = (dir / "frames").string();
  auto dry = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-o", out});
    args.push_back(big);
    const ToolRun run = RunTool(args, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    return Chunks(ReadFile(out));
  };
  using C = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(dry({}), (C{{"big", 0}, {"big", 1}, {"big", 2}}));
  EXPECT_EQ(dry({"--order", "reversed"}), (C{{"big", 2}, {"big", 1}, {"big", 0}}));
  EXPECT_EQ(dry({"-d"}),
            (C{{"big", 0}, {"big", 0}, {"big", 1}, {"big", 1}, {"big", 2}, {"big", 2}}));
  EXPECT_EQ(dry({"-S", "2", "-R", "2", "--order", "reversed"}), (C{{"big-s1-1", 2},
                                                                   {"big-s1-1", 1},
                                                                   {"big-s1-1", 0},
                                                                   {"big-s1-2", 2},
                                                                   {"big-s1-2", 1},
                                                                   {"big-s1-2", 0},
                                                                   {"big-s2-1", 2},
                                                                   {"big-s2-1", 1},
                                                                   {"big-s2-1", 0},
                                                                   {"big-s2-2", 2},
                                                                   {"big-s2-2", 1},
                                                                   {"big-s2-2", 0}}));

  // The same seed, the same order; the seed of an unseeded run is printed
  // and gives its order again.
  std::vector<std::string> shuffle = {"-R", "6", "--order", "shuffled", "--seed", "11"};
  const C first = dry(shuffle);
  EXPECT_EQ(dry(shuffle), first);
  shuffle.back() = "12";
  EXPECT_NE(dry(shuffle), first);
  const ToolRun unseeded = RunTool({"-o", out, "-R", "6", "--order", "shuffled", big}, dir);
  ASSERT_EQ(unseeded.status, 0) << unseeded.err;
  const C unseededChunks = Chunks(ReadFile(out));
  const auto at = unseeded.out.find("--seed ");
  ASSERT_NE(at, std::string::npos) << unseeded.out;
  const std::string seed = unseeded.out.substr(at + 7, unseeded.out.find(' ', at + 7) - at - 7);
  EXPECT_EQ(dry({"-R", "6", "--order", "shuffled", "--seed", seed}), unseededChunks);
}

TEST_F(BrennaSendTool, TheDemoBrakeResultSpansSeveralChunks) {
  // Reordering and duplicating mean something only for a result of more
  // than one chunk; the brake demo is that result.
  const ToolRun run = RunTool({"-o", (dir / "frames").string(), BRENNA_DEMO_DIR "/brake.txt"}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GE(Chunks(ReadFile(dir / "frames")).size(), 3u);
}

#if defined(BRENNA_WINDOWS_RECEIVER)
// The other way across platforms: this build's station tool sends to the
// server channel of the Windows build's libPallix.dll (a small receiver run
// under wine, reading like the monitor's worker), the tool is confirmed
// every frame, and every frame arrives as the dry run wrote it.
TEST_F(BrennaSendTool, FramesReachTheWindowsLibrarysListenerIntact) {
  ASSERT_TRUE(fs::exists(BRENNA_WINDOWS_RECEIVER))
      << "the Windows build lacks " << BRENNA_WINDOWS_RECEIVER;
  const std::string demo = std::string(BRENNA_DEMO_DIR) + "/brake.txt";
  const std::string speed = std::string(BRENNA_DEMO_DIR) + "/speed.txt";
  ToolRun dry = RunTool({"--frames-out", (dir / "expected").string(), demo, speed}, dir);
  ASSERT_EQ(0, dry.status) << dry.err;
  const std::string expected = ReadFile(dir / "expected");
  ASSERT_EQ(0u, expected.size() % NET_FRAME_SIZE);
  const size_t frames = expected.size() / NET_FRAME_SIZE;

  const int port = FreePort();
  const fs::path ready = dir / "ready", done = dir / "done", got = dir / "received",
                 stop = dir / "stop";
  ChildProcess receiver;
  ChildProcess::Options options;
  options.logPath = (dir / "wine.out").string();
  std::string error;
  ASSERT_TRUE(receiver.Start(
      {BRENNA_RUN_WINDOWS, BRENNA_WINDOWS_RECEIVER, std::to_string(port), std::to_string(frames),
       got.string(), ready.string(), done.string(), stop.string()},
      options, &error))
      << error;
  ASSERT_TRUE(
      WaitUntil([&] { return fs::exists(ready) || fs::exists(done); }, std::chrono::seconds(60)))
      << ReadFile(dir / "wine.out");
  ASSERT_TRUE(fs::exists(ready)) << "the receiver did not open its channel";

  ToolRun sent = RunTool({"127.0.0.1:" + std::to_string(port), demo, speed}, dir);
  EXPECT_EQ(0, sent.status) << sent.err;  // 0: the Windows library confirmed every frame
  std::ofstream(stop).put('\n');
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(done); }, std::chrono::seconds(70)));
  EXPECT_TRUE(ReadFile(got) == expected)
      << "received " << ReadFile(got).size() << " bytes, sent " << expected.size();
}
#endif
