// brenna-send - the station side: sends result files to the monitor.
//
// Each file becomes one transfer: its result record (given, or built from a
// text description) is compressed with gzip, cut into FileChunk frames and
// sent over TCP. docs/brenna-send.md describes the options.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ChunkFrames.h"
#include "Pallix.h"
#include "StationRecord.h"

namespace fs = std::filesystem;
using namespace brenna_send;

namespace {

constexpr int kChannel = 1;
constexpr int kStationMode = 1;

const char kUsage[] =
    "usage: brenna-send [options] HOST:PORT FILE...\n"
    "       brenna-send [options] --frames-out OUT FILE...\n"
    "Sends each FILE to the monitor at HOST:PORT as one transfer.\n"
    "  -t, --text            FILEs are text descriptions, one item per line:\n"
    "                        'code judge value' (UTF-8); otherwise FILEs are\n"
    "                        result records as they are\n"
    "  -n, --name NAME       transfer name (UTF-8); with several files the\n"
    "                        names are NAME-1, NAME-2, ...; default: each\n"
    "                        file's name without its extension\n"
    "  -o, --frames-out OUT  write the frames to OUT instead of sending them\n"
    "  -w, --timeout MS      connect and send timeout (default 5000)\n"
    "  -h, --help            this text\n";

struct Options {
  bool text = false;
  std::string name;
  std::string framesOut;
  std::string host;
  int port = 0;
  int timeoutMs = 5000;
  std::vector<std::string> files;
};

bool ReadFile(const std::string& path, size_t limit, std::vector<unsigned char>* out,
              std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (out->size() > limit) {
    *error = path + " is larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  return true;
}

bool WriteFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// gzip through libPallix, by way of two files in a private folder.
bool Compress(const std::vector<unsigned char>& record, std::vector<unsigned char>* packed,
              std::string* error) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("brenna-send-" + std::to_string(rd()));
  std::error_code ec;
  fs::create_directories(dir, ec);
  const fs::path plain = dir / "record", gz = dir / "record.gz";
  bool ok = WriteFile(plain, record);
  int rc = ok ? CompressFile(plain.c_str(), gz.c_str()) : 0;
  ok = rc == 1 && ReadFile(gz.string(), PALLIX_RECORD_MAX, packed, error);
  if (rc != 1) *error = "compression failed (" + std::to_string(rc) + ")";
  fs::remove_all(dir, ec);
  return ok;
}

bool ParseArguments(int argc, char** argv, Options* o, std::string* error) {
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "-t" || a == "--text") {
      o->text = true;
    } else if (a == "-n" || a == "--name") {
      if (!value(&o->name)) return (*error = a + " needs a name", false);
    } else if (a == "-o" || a == "--frames-out") {
      if (!value(&o->framesOut)) return (*error = a + " needs a file", false);
    } else if (a == "-w" || a == "--timeout") {
      if (!value(&v) || (o->timeoutMs = std::atoi(v.c_str())) <= 0)
        return (*error = a + " needs a number of milliseconds", false);
    } else if (a.size() > 1 && a[0] == '-') {
      return (*error = "unknown option " + a, false);
    } else {
      rest.push_back(a);
    }
  }
  if (o->framesOut.empty()) {
    if (rest.empty()) return (*error = "no HOST:PORT", false);
    const std::string target = rest.front();
    rest.erase(rest.begin());
    std::string::size_type colon = target.rfind(':');
    if (colon == std::string::npos || colon == 0) return (*error = "expected HOST:PORT", false);
    o->host = target.substr(0, colon);
    o->port = std::atoi(target.c_str() + colon + 1);
    if (o->port <= 0 || o->port > 65535) return (*error = "bad port in " + target, false);
  }
  if (rest.empty()) return (*error = "no file to send", false);
  o->files = rest;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseArguments(argc, argv, &o, &error)) {
    std::fprintf(stderr, "brenna-send: %s\n%s", error.c_str(), kUsage);
    return 1;
  }
  std::ofstream framesOut;
  if (!o.framesOut.empty()) {
    framesOut.open(o.framesOut, std::ios::binary | std::ios::trunc);
    if (!framesOut) {
      std::fprintf(stderr, "brenna-send: cannot write %s\n", o.framesOut.c_str());
      return 2;
    }
  } else if (OpenNet(kChannel, kStationMode, 0, o.timeoutMs) != 1) {
    std::fprintf(stderr, "brenna-send: cannot open the station channel\n");
    return 3;
  }

  int status = 0;
  for (size_t i = 0; i < o.files.size() && status == 0; ++i) {
    const std::string& file = o.files[i];
    std::vector<unsigned char> input, record, packed;
    if (!ReadFile(file, o.text ? (1u << 20) : PALLIX_RECORD_MAX, &input, &error)) {
      status = 2;
      break;
    }
    if (o.text) {
      if (!BuildRecordFromText(std::string(input.begin(), input.end()), &record, &error)) {
        error = file + ": " + error;
        status = 2;
        break;
      }
    } else {
      record = input;
      std::vector<unsigned char> padded(PALLIX_RECORD_MAX, 0);
      std::copy(record.begin(), record.end(), padded.begin());
      StdHead head;
      PallixStdHeadPreset(&head);
      if (ParseStdHead(padded.data(), &head) != 1) {
        error = file + " is not a result record";
        status = 2;
        break;
      }
    }
    std::string nameUtf8 = o.name.empty() ? fs::path(file).stem().string() : o.name;
    if (!o.name.empty() && o.files.size() > 1) nameUtf8 += "-" + std::to_string(i + 1);
    std::string name;
    std::vector<Frame> frames;
    if (!Utf8ToGbk(nameUtf8, &name)) {
      error = "the name " + nameUtf8 + " has no GBK form";
      status = 2;
    } else if (!Compress(record, &packed, &error) || !CutIntoFrames(packed, name, &frames, &error)) {
      error = file + ": " + error;
      status = 2;
    }
    if (status != 0) break;

    std::vector<unsigned char> bytes;
    for (const Frame& f : frames) bytes.insert(bytes.end(), f.begin(), f.end());
    if (framesOut.is_open()) {
      framesOut.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
      if (!framesOut) {
        error = "cannot write " + o.framesOut;
        status = 2;
        break;
      }
    } else {
      int sent = SendNetData(kChannel, o.host.c_str(), o.port, bytes.data(),
                             static_cast<int>(bytes.size()));
      if (sent != static_cast<int>(frames.size())) {
        error = "sending " + file + " to " + o.host + ":" + std::to_string(o.port) +
                " failed (" + std::to_string(sent) + ")";
        status = 3;
        break;
      }
    }
    std::printf("%s: transfer %s, record %zu bytes, compressed %zu bytes, %zu frames\n",
                file.c_str(), nameUtf8.c_str(), record.size(), packed.size(), frames.size());
  }
  if (!framesOut.is_open()) CloseNet(kChannel);  // waits until the monitor has it all
  if (status != 0) std::fprintf(stderr, "brenna-send: %s\n", error.c_str());
  return status;
}
