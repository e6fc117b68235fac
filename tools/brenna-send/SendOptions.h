// SendOptions - the command line of brenna-send.
#ifndef BRENNA_TOOLS_SENDOPTIONS_H
#define BRENNA_TOOLS_SENDOPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "PallixWire.h"
#include "SendPlan.h"

namespace brenna_send {

// Where a monitor listens when the command line names none: this machine,
// and the port a fresh monitor takes.
inline constexpr char kDefaultHost[] = "localhost";
inline constexpr int kDefaultPort = NET_DEFAULT_PORT;

// Bounds of the numeric options: enough for any test a line needs, small
// enough that a typo cannot keep the tool busy for days.
inline constexpr int kMaxTimeoutMs = 600000;
inline constexpr int kMaxPauseMs = 600000;
inline constexpr int kMaxRepeat = 10000;
inline constexpr int kMaxStations = 16;

enum class InputKind { kDetect, kText, kRecord };

struct SendOptions {
  InputKind input = InputKind::kDetect;
  std::string name;       // UTF-8; empty: each file's stem
  std::string framesOut;  // dry run into this file
  std::string host = kDefaultHost;
  int port = kDefaultPort;
  bool addressGiven = false;
  int timeoutMs = 5000;
  ChunkOrder order = ChunkOrder::kInOrder;
  bool seedGiven = false;
  std::uint32_t seed = 0;
  bool duplicate = false;
  bool verbose = false;  // libPallix's station reports (debug) on standard error
  int pauseMs = 0;
  int repeat = 1;
  int stations = 1;
  std::vector<std::string> files;
};

enum class ParseResult { kRun, kHelp, kError };

// Reads the arguments (without the program name). kError with a message
// naming the faulty argument.
ParseResult ParseSendOptions(const std::vector<std::string>& args, SendOptions* options,
                             std::string* error);

// Whether an operand names the monitor ([HOST]:PORT, PORT all digits)
// rather than a file; fills host and port when it does. A port outside
// 1..65535 still counts as an address, with *bad set.
bool LooksLikeAddress(const std::string& operand, std::string* host, int* port, bool* bad);

// The --help text.
const char* SendUsage();

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_SENDOPTIONS_H
