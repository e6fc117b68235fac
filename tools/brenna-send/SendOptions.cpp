#include "SendOptions.h"

#include <cstdlib>
#include <utility>

namespace brenna_send {

namespace {

const char kUsage[] =
    "Usage: brenna-send [OPTION]... [HOST:PORT] FILE...\n"
    "       brenna-send [OPTION]... --frames-out OUT FILE...\n"
    "Send result files to a BrennaCenter monitor the way a test station does:\n"
    "each FILE is compressed, cut into chunks and sent as one transfer.\n"
    "\n"
    "HOST:PORT is the monitor (default localhost:10004). An operand is taken\n"
    "as the monitor when it comes first and ends in ':' and digits (\":10005\"\n"
    "means localhost); write a file named like that as ./NAME.\n"
    "\n"
    "A FILE is a result record when it starts with the record's marker bytes\n"
    "(55 AA), otherwise a text description (UTF-8), one item per line:\n"
    "    CODE JUDGE VALUE      e.g.  5071 1 1234\n"
    "VALUE is the rest of the line, may be empty and is sent as GBK; lines\n"
    "that are blank or start with '#' are skipped.\n"
    "\n"
    "Input:\n"
    "  -t, --text            read every FILE as a text description\n"
    "  -r, --record          read every FILE as a result record\n"
    "  -n, --name NAME       transfer name (UTF-8) instead of each file's name\n"
    "                        without extension; several files: NAME-1, NAME-2...\n"
    "\n"
    "Sending:\n"
    "      --order ORDER     chunk order: in (default), reversed, shuffled\n"
    "      --seed N          seed of --order shuffled (default: random, printed)\n"
    "  -d, --duplicate       send every chunk twice\n"
    "  -p, --pause MS        wait MS milliseconds after every frame\n"
    "  -R, --repeat N        send the files N times (transfer names get -1, -2...)\n"
    "  -S, --stations K      K stations at once, each over its own connection\n"
    "                        and sending all files (names get -s1, -s2...)\n"
    "  -w, --timeout MS      connect and send timeout (default 5000)\n"
    "  -o, --frames-out OUT  write the frames to OUT instead of sending them\n"
    "  -v, --verbose         say on standard error each frame as it is sent and\n"
    "                        what the monitor did with the connection\n"
    "  -h, --help            show this help and exit\n"
    "\n"
    "Nothing is sent unless every file could be built, compressed and named\n"
    "within the limits: values up to 511 bytes, records up to 150,000 bytes,\n"
    "compressed files up to 32,767 bytes, transfer names of 1 to 99 bytes.\n"
    "\n"
    "Exit status: 0 all sent, 1 bad command line, 2 bad input (nothing sent),\n"
    "3 sending failed or the monitor did not answer, 4 unknown host,\n"
    "5 connection refused (is the monitor running on that port?),\n"
    "6 the monitor refused a file for good (do not send it again; the rest\n"
    "were delivered).\n"
    "\n"
    "Examples:\n"
    "  brenna-send data/demo/*.txt\n"
    "  brenna-send 192.168.1.20:10004 --order shuffled --seed 7 brake.txt\n"
    "  brenna-send -S 4 -R 10 -p 20 data/demo/*.txt\n";

// A whole decimal number in [low, high]; nothing else on the text.
bool ParseNumber(const std::string& text, long long low, long long high, long long* out) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const long long v = std::atoll(text.c_str());
  if (v < low || v > high) return false;
  *out = v;
  return true;
}

// One option on the command line: its name, a value given inline
// ("--option=value"), and the arguments a value may follow in.
class OptionArgument {
 public:
  OptionArgument(const std::vector<std::string>& args, std::size_t* at, std::string* error)
      : args_(args), at_(*at), error_(error), name_(args[*at]) {
    if (name_.compare(0, 2, "--") == 0) {
      const std::string::size_type eq = name_.find('=');
      if (eq != std::string::npos) {
        inlineValue_ = name_.substr(eq + 1);
        name_ = name_.substr(0, eq);
        hasInline_ = true;
      }
    }
  }

  const std::string& Name() const { return name_; }
  bool Is(const char* shortName, const char* longName) const {
    return name_ == shortName || name_ == longName;
  }

  // The option's value: inline, or the next argument, which is then taken.
  bool Value(std::string* out) {
    if (hasInline_) {
      *out = inlineValue_;
      return true;
    }
    if (at_ + 1 >= args_.size()) return false;
    *out = args_[++at_];
    return true;
  }

  // A value that is a number in [low, high]; else false with the message.
  bool Number(long long low, long long high, const char* what, long long* out) {
    std::string v;
    if (!Value(&v)) {
      *error_ = name_ + " needs " + what;
      return false;
    }
    if (!ParseNumber(v, low, high, out)) {
      *error_ = name_ + " needs " + what + " from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not '" + v + "'";
      return false;
    }
    return true;
  }

  // For a switch: false with the message when it was given a value.
  bool TakesNoValue() {
    if (hasInline_) *error_ = name_ + " takes no value";
    return !hasInline_;
  }

  void Fail(const std::string& message) { *error_ = message; }

 private:
  const std::vector<std::string>& args_;
  std::size_t& at_;
  std::string* error_;
  std::string name_;
  std::string inlineValue_;
  bool hasInline_ = false;
};

ParseResult ApplyOrder(OptionArgument& a, SendOptions* o) {
  std::string v;
  if (!a.Value(&v)) {
    a.Fail("--order needs in, reversed or shuffled");
    return ParseResult::kError;
  }
  if (v == "in") {
    o->order = ChunkOrder::kInOrder;
  } else if (v == "reversed") {
    o->order = ChunkOrder::kReversed;
  } else if (v == "shuffled") {
    o->order = ChunkOrder::kShuffled;
  } else {
    a.Fail("--order needs in, reversed or shuffled, not '" + v + "'");
    return ParseResult::kError;
  }
  return ParseResult::kRun;
}

// Sets what one option asks for: kRun to read on.
ParseResult ApplyOption(OptionArgument& a, SendOptions* o) {
  long long n = 0;
  if (a.Is("-h", "--help")) {
    return ParseResult::kHelp;
  } else if (a.Is("-t", "--text")) {
    if (!a.TakesNoValue()) return ParseResult::kError;
    o->input = InputKind::kText;
  } else if (a.Is("-r", "--record")) {
    if (!a.TakesNoValue()) return ParseResult::kError;
    o->input = InputKind::kRecord;
  } else if (a.Is("-d", "--duplicate")) {
    if (!a.TakesNoValue()) return ParseResult::kError;
    o->duplicate = true;
  } else if (a.Is("-v", "--verbose")) {
    if (!a.TakesNoValue()) return ParseResult::kError;
    o->verbose = true;
  } else if (a.Is("-n", "--name")) {
    if (!a.Value(&o->name) || o->name.empty()) {
      a.Fail(a.Name() + " needs a name");
      return ParseResult::kError;
    }
  } else if (a.Is("-o", "--frames-out")) {
    if (!a.Value(&o->framesOut) || o->framesOut.empty()) {
      a.Fail(a.Name() + " needs a file");
      return ParseResult::kError;
    }
  } else if (a.Name() == "--order") {
    return ApplyOrder(a, o);
  } else if (a.Name() == "--seed") {
    if (!a.Number(0, 4294967295LL, "a number", &n)) return ParseResult::kError;
    o->seed = static_cast<std::uint32_t>(n);
    o->seedGiven = true;
  } else if (a.Is("-p", "--pause")) {
    if (!a.Number(0, kMaxPauseMs, "milliseconds", &n)) return ParseResult::kError;
    o->pauseMs = static_cast<int>(n);
  } else if (a.Is("-R", "--repeat")) {
    if (!a.Number(1, kMaxRepeat, "a count", &n)) return ParseResult::kError;
    o->repeat = static_cast<int>(n);
  } else if (a.Is("-S", "--stations")) {
    if (!a.Number(1, kMaxStations, "a number of stations", &n)) return ParseResult::kError;
    o->stations = static_cast<int>(n);
  } else if (a.Is("-w", "--timeout")) {
    if (!a.Number(1, kMaxTimeoutMs, "milliseconds", &n)) return ParseResult::kError;
    o->timeoutMs = static_cast<int>(n);
  } else {
    a.Fail("unknown option " + a.Name());
    return ParseResult::kError;
  }
  return ParseResult::kRun;
}

// The operands: the monitor's address when the first names one, then the
// files.
ParseResult TakeOperands(std::vector<std::string> operands, SendOptions* o, std::string* error) {
  bool bad = false;
  if (!operands.empty() && LooksLikeAddress(operands.front(), &o->host, &o->port, &bad)) {
    if (bad) {
      *error = "bad port in " + operands.front() + " (1 to 65535)";
      return ParseResult::kError;
    }
    if (!o->framesOut.empty()) {
      *error = "--frames-out writes a file; leave out " + operands.front();
      return ParseResult::kError;
    }
    o->addressGiven = true;
    operands.erase(operands.begin());
  }
  if (operands.empty()) {
    *error = "no file to send";
    return ParseResult::kError;
  }
  o->files = operands;
  return ParseResult::kRun;
}

}  // namespace

const char* SendUsage() { return kUsage; }

bool LooksLikeAddress(const std::string& operand, std::string* host, int* port, bool* bad) {
  const std::string::size_type colon = operand.rfind(':');
  if (colon == std::string::npos || colon + 1 == operand.size()) return false;
  const std::string digits = operand.substr(colon + 1);
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  std::string h = operand.substr(0, colon);
  // No host name holds a '/': "./name:1" is a file.
  if (h.find('/') != std::string::npos) return false;
  // [v6-address]:port
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  *host = h.empty() ? kDefaultHost : h;
  long long p = 0;
  *bad = !ParseNumber(digits, 1, 65535, &p);
  *port = static_cast<int>(p);
  return true;
}

ParseResult ParseSendOptions(const std::vector<std::string>& args, SendOptions* o,
                             std::string* error) {
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      operands.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    OptionArgument option(args, &i, error);
    const ParseResult r = ApplyOption(option, o);
    if (r != ParseResult::kRun) return r;
  }
  if (o->seedGiven && o->order != ChunkOrder::kShuffled) {
    *error = "--seed goes with --order shuffled";
    return ParseResult::kError;
  }
  return TakeOperands(std::move(operands), o, error);
}

}  // namespace brenna_send
