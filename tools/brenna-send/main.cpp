// brenna-send - the station side: sends result files to the monitor.
//
// Each file becomes one transfer: its result record (given, or built from a
// text description) is compressed with gzip, cut into FileChunk frames and
// sent over TCP. Every file is built and checked before the first byte goes
// out, so bad input never leaves half a run on the monitor.
// docs/brenna-send.md describes the options.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ChunkFrames.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "FrameSink.h"
#include "Pallix.h"
#include "SendOptions.h"
#include "SendPlan.h"
#include "StationRecord.h"

namespace fs = std::filesystem;
using namespace brenna_send;

namespace {

// A text description longer than this is no result description.
constexpr size_t kMaxTextBytes = 1u << 20;

// One file, ready to go: compressed and checked.
struct Prepared {
  std::string file;
  std::string baseName;  // UTF-8, before any station or round suffix
  size_t recordSize = 0;
  std::vector<unsigned char> packed;
};

bool ReadFile(const fs::path& path, size_t limit, std::vector<unsigned char>* out,
              std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path.u8string();
    return false;
  }
  out->clear();
  char buf[65536];
  while (in) {
    in.read(buf, sizeof buf);
    out->insert(out->end(), buf, buf + in.gcount());
    if (out->size() > limit) {  // stop reading, whatever the file's size
      *error = path.u8string() + " is larger than " + std::to_string(limit) + " bytes";
      return false;
    }
  }
  if (in.bad()) {
    *error = "cannot read " + path.u8string();
    return false;
  }
  return true;
}

bool WriteFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// gzip through libPallix, by way of two files in a private folder.
bool Compress(const std::vector<unsigned char>& record, std::vector<unsigned char>* packed,
              std::string* error) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("brenna-send-" + std::to_string(rd()));
  const fs::path plain = dir / "record", gz = dir / "record.gz";
  std::string plainName, gzName;
  if (!LibraryPath(plain, &plainName) || !LibraryPath(gz, &gzName)) {
    *error = "the temporary folder " + dir.u8string() + " cannot be named in GBK";
    return false;
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  bool ok = WriteFile(plain, record);
  int rc = ok ? CompressFile(plainName.c_str(), gzName.c_str()) : 0;
  ok = rc == 1 && ReadFile(gz, FILE_CHUNK_MAX_TOTAL, packed, error);
  if (rc == PALLIX_COMPRESS_TOO_LARGE) {
    *error = "compressed, the record has more than " + std::to_string(FILE_CHUNK_MAX_TOTAL) +
             " bytes, the most a transfer carries";
  } else if (rc != 1) {
    *error = "compression failed (" + std::to_string(rc) + ")";
  }
  fs::remove_all(dir, ec);
  return ok;
}

// The transfer names a file is sent under must all pass the monitor's rule;
// the suffixes only add digits and '-', so the longest name decides.
bool CheckNames(const SendOptions& o, const Prepared& p, std::string* error) {
  const std::string longest = TransferName(p.baseName, o.stations, o.stations, o.repeat, o.repeat);
  std::string gbk;
  if (!Utf8ToGbk(longest, &gbk)) {
    *error = "the transfer name '" + longest + "' has no GBK form";
    return false;
  }
  if (!PallixIsUsableTransferName(gbk.data(), gbk.size())) {
    *error = "the transfer name '" + longest + "' is refused by the monitor: " + kTransferNameRule;
    return false;
  }
  return true;
}

bool Prepare(const SendOptions& o, std::vector<Prepared>* out, std::string* error) {
  for (size_t i = 0; i < o.files.size(); ++i) {
    Prepared p;
    p.file = o.files[i];
    std::vector<unsigned char> input, record;
    if (!ReadFile(FilePath(p.file), kMaxTextBytes, &input, error)) return false;
    // The monitor shows nothing for an empty file, nor for a record of no
    // items: no result to send.
    if (input.empty()) {
      *error = p.file + ": the file is empty: no result, the monitor would show nothing for it";
      return false;
    }
    const bool text =
        o.input == InputKind::kText || (o.input == InputKind::kDetect && !LooksLikeRecord(input));
    if (text) {
      if (!BuildRecordFromText(std::string(input.begin(), input.end()), &record, error)) {
        *error = p.file + ": " + *error;
        return false;
      }
    } else {
      if (!CheckRecord(input, error)) {
        *error = p.file + ": " + *error;
        return false;
      }
      record = std::move(input);
    }
    p.recordSize = record.size();
    if (RecordItemCount(record) == 0) {
      *error = p.file + ": the record holds no item, the monitor would show nothing for it";
      return false;
    }
    if (!Compress(record, &p.packed, error)) {
      *error = p.file + ": " + *error;
      return false;
    }
    p.baseName = o.name.empty() ? FilePath(p.file).stem().u8string() : o.name;
    if (!o.name.empty() && o.files.size() > 1) p.baseName += "-" + std::to_string(i + 1);
    if (!CheckNames(o, p, error)) {
      *error = p.file + ": " + *error;
      return false;
    }
    out->push_back(std::move(p));
  }
  return true;
}

std::mutex g_outputLock;  // stations report from their own threads

// Sends every round of every file as one station. kExitOk or an exit status.
int RunStation(int station, const SendOptions& o, const std::vector<Prepared>& files,
               FrameSink& sink, bool pace, std::string* error) {
  std::mt19937 shuffler = StationShuffler(o.seed, station);
  for (int round = 1; round <= o.repeat; ++round) {
    for (size_t i = 0; i < files.size(); ++i) {
      const Prepared& p = files[i];
      const std::string name = TransferName(p.baseName, station, o.stations, round, o.repeat);
      std::string gbkName;
      std::vector<Frame> frames;
      if (!Utf8ToGbk(name, &gbkName) || !CutIntoFrames(p.packed, gbkName, &frames, error)) {
        *error = p.file + ": " + *error;  // checked before; only a fault gets here
        return kExitBadInput;
      }
      const std::vector<size_t> sequence =
          FrameSequence(frames.size(), o.order, o.duplicate, shuffler);
      const bool last = round == o.repeat && i + 1 == files.size();
      if (!pace) {
        std::vector<unsigned char> bytes;
        bytes.reserve(sequence.size() * NET_FRAME_SIZE);
        for (size_t k : sequence) bytes.insert(bytes.end(), frames[k].begin(), frames[k].end());
        if (int rc = sink.Put(bytes.data(), bytes.size(), p.file, error); rc != kExitOk) return rc;
      } else {
        for (size_t n = 0; n < sequence.size(); ++n) {
          const Frame& f = frames[sequence[n]];
          if (int rc = sink.Put(f.data(), f.size(), p.file, error); rc != kExitOk) return rc;
          if (!(last && n + 1 == sequence.size()))
            std::this_thread::sleep_for(std::chrono::milliseconds(o.pauseMs));
        }
      }
      std::lock_guard<std::mutex> lock(g_outputLock);
      std::printf("%s%s: transfer %s, record %zu bytes, compressed %zu bytes, %zu frames%s\n",
                  o.stations > 1 ? ("station " + std::to_string(station) + ": ").c_str() : "",
                  p.file.c_str(), name.c_str(), p.recordSize, p.packed.size(), frames.size(),
                  o.duplicate ? ", each sent twice" : "");
      std::fflush(stdout);
    }
  }
  return kExitOk;
}

// --verbose: what libPallix says while it sends, one line each on standard
// error (stations report from their own threads; each line goes out whole).
void PrintReport(const PallixLogRecord* record, void*) {
  if (record == nullptr || record->text == nullptr) return;
  std::lock_guard<std::mutex> lock(g_outputLock);
  std::fprintf(stderr, "brenna-send: %s%s\n",
               record->level >= PALLIX_LOG_WARNING ? "warning: " : "", record->text);
  std::fflush(stderr);
}

int Fail(int status, const std::string& error) {
  std::fprintf(stderr, "brenna-send: %s\n", error.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  SendOptions o;
  std::string error;
  switch (ParseSendOptions(ProgramArguments(argc, argv), &o, &error)) {
    case ParseResult::kHelp:
      std::fputs(SendUsage(), stdout);
      return kExitOk;
    case ParseResult::kError:
      std::fprintf(stderr, "brenna-send: %s\nTry 'brenna-send --help' for more information.\n",
                   error.c_str());
      return kExitUsage;
    case ParseResult::kRun:
      break;
  }
  o.files = ExpandWildcards(o.files);
  if (o.order == ChunkOrder::kShuffled && !o.seedGiven) {
    o.seed = std::random_device{}();
    std::printf("chunks shuffled with seed %u (--seed %u gives this order again)\n", o.seed,
                o.seed);
  }

  std::vector<Prepared> files;
  if (!Prepare(o, &files, &error)) return Fail(kExitBadInput, error + "; nothing was sent");

  if (!o.framesOut.empty()) {
    std::ofstream out(FilePath(o.framesOut), std::ios::binary | std::ios::trunc);
    if (!out) return Fail(kExitBadInput, "cannot write " + o.framesOut);
    FileSink sink(out, o.framesOut);
    for (int s = 1; s <= o.stations; ++s) {
      if (int rc = RunStation(s, o, files, sink, false, &error); rc != kExitOk)
        return Fail(rc, error);
    }
    out.close();
    return out ? kExitOk : Fail(kExitBadInput, "cannot write " + o.framesOut);
  }

  if (o.verbose) PallixSetLogSink(&PrintReport, nullptr, PALLIX_LOG_DEBUG);

  // One station channel (and connection) per station, each on its own thread.
  std::vector<int> status(static_cast<size_t>(o.stations), kExitOk);
  std::vector<std::string> errors(static_cast<size_t>(o.stations));
  auto station = [&](int s) {
    const size_t k = static_cast<size_t>(s - 1);
    NetworkSink sink(s - 1, o);
    if (!sink.Open(&errors[k])) {
      status[k] = kExitSendFailed;
      return;
    }
    status[k] = RunStation(s, o, files, sink, o.pauseMs > 0, &errors[k]);
    std::string closing;
    const int closed = sink.Close(&closing);
    if (status[k] == kExitOk && closed != kExitOk) {
      status[k] = closed;
      errors[k] = closing;
    }
  };
  std::vector<std::thread> threads;
  for (int s = 2; s <= o.stations; ++s) threads.emplace_back(station, s);
  station(1);
  for (std::thread& t : threads) t.join();
  // Every station says what went wrong; the first one decides the status.
  int result = kExitOk;
  for (size_t k = 0; k < status.size(); ++k) {
    if (status[k] == kExitOk) continue;
    Fail(status[k], (o.stations > 1 ? "station " + std::to_string(k + 1) + ": " : "") + errors[k]);
    if (result == kExitOk) result = status[k];
  }
  return result;
}
