#include "platform/PallixBinding.h"

#include <cstdio>
#include <cstdlib>

#include "journal/Journal.h"
#include "platform/Gbk.h"
#include "platform/PallixTable.h"

namespace {

constexpr int kCount = PALLIX_FUNCTION_COUNT;
// The directory and the built path once shared one 260-byte buffer; the
// limit stays so that a path that works here works on every install.
constexpr size_t kMaxPathLength = 259;
constexpr int kNoSystemDirectory = PALLIX_NOT_LOADED;
constexpr int kWrongRecordSize = -9999;

const char* const kNames[] = {
#define BRENNA_NAME(pos, ret, name, params, args) #name,
    PALLIX_FUNCTIONS(BRENNA_NAME, BRENNA_NAME)
#undef BRENNA_NAME
};
static_assert(sizeof kNames / sizeof kNames[0] == kCount, "one name per export");

// Every row's position is its index + 1: the failure codes depend on it.
constexpr int kPositions[] = {
#define BRENNA_POSITION(pos, ret, name, params, args) pos,
    PALLIX_FUNCTIONS(BRENNA_POSITION, BRENNA_POSITION)
#undef BRENNA_POSITION
};
constexpr bool PositionsAreConsecutive() {
  for (int i = 0; i < kCount; ++i) {
    if (kPositions[i] != i + 1) return false;
  }
  return true;
}
static_assert(PositionsAreConsecutive(), "positions run 1..203 in list order");

void* g_handle = nullptr;
PallixEntryFn g_table[kCount] = {};

// The reports: the loaded library's PallixSetLogSink (null when it has
// none), and the sink to give it.
using SetLogSinkFn = int(PALLIX_CALL*)(PallixLogSink, void*, int);
SetLogSinkFn g_setLogSink = nullptr;
PallixLogSink g_sink = nullptr;
void* g_sinkContext = nullptr;
int g_sinkLevel = PALLIX_LOG_INFO;
bool g_sinkInstalled = false;

// The loaded library's PallixFramePeer and PallixPeerConnected, null when
// it has none.
using FramePeerFn = int(PALLIX_CALL*)(int, char*, int, int*);
FramePeerFn g_framePeer = nullptr;
using PeerConnectedFn = int(PALLIX_CALL*)(int, const char*, int);
PeerConnectedFn g_peerConnected = nullptr;
// And its PallixRefuseFrame.
using RefuseFrameFn = int(PALLIX_CALL*)(int);
RefuseFrameFn g_refuseFrame = nullptr;
// And its PallixRejectFrame and PallixFrameWanted, of the same type.
RefuseFrameFn g_rejectFrame = nullptr;
RefuseFrameFn g_frameWanted = nullptr;

void ClearTable() {
  for (PallixEntryFn& entry : g_table) entry = nullptr;
}

std::string g_directoryOverride;
PallixFatalReporter g_reporter = nullptr;

void WriteToStderr(const std::string& gbkText) {
  const std::string text = GbkToUtf8(gbkText) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// Gives the loaded library the sink, if it takes one and one is set.
void InstallSink() {
  g_sinkInstalled = g_setLogSink != nullptr && g_sink != nullptr &&
                    g_setLogSink(g_sink, g_sinkContext, g_sinkLevel) == 1;
}

// Takes the sink back from a library about to be released: when this
// returns, the library runs no call of it and starts none.
void RemoveSink(SetLogSinkFn setLogSink) {
  if (setLogSink != nullptr && g_sinkInstalled) setLogSink(nullptr, nullptr, PALLIX_LOG_WARNING);
  g_sinkInstalled = false;
}

template <typename T>
T NotLoaded();
template <>
int NotLoaded<int>() {
  return PALLIX_NOT_LOADED;
}
template <>
double NotLoaded<double>() {
  return PALLIX_NOT_LOADED_REAL;
}
template <>
const char* NotLoaded<const char*>() {
  return PALLIX_NOT_LOADED_TEXT;
}

}  // namespace

PallixEntryFn PallixEntry(PallixSlot slot) { return g_table[static_cast<int>(slot) - 1]; }

std::string PallixSystemDirectory() {
  return g_directoryOverride.empty() ? DefaultPallixSystemDirectory() : g_directoryOverride;
}

void SetPallixSystemDirectory(const std::string& dir) { g_directoryOverride = dir; }

void SetPallixFatalReporter(PallixFatalReporter reporter) { g_reporter = reporter; }

void ReportPallixFatal(const std::string& gbkText) {
  if (g_reporter != nullptr) {
    g_reporter(gbkText);
  } else {
    WriteToStderr(gbkText);
  }
}

int LoadPallix(int variant) {
  const std::string dir = PallixSystemDirectory();
  if (dir.empty() || dir.find('\0') != std::string::npos) return kNoSystemDirectory;
  const std::string path = JoinPallixPath(dir, PallixVariantFileName(variant));
  if (path.size() > kMaxPathLength) return kNoSystemDirectory;

  // An earlier load's reference is dropped only once the table no longer
  // points into it (below), so a reload never leaves a stale reference.
  void* previous = g_handle;
  const SetLogSinkFn previousSetLogSink = g_setLogSink;
  g_handle = nullptr;
  g_setLogSink = nullptr;
  g_framePeer = nullptr;
  g_peerConnected = nullptr;
  g_refuseFrame = nullptr;
  // A full path: the system never searches its library path for it.
  g_handle = OpenPallixLibrary(path);
  if (g_handle == nullptr) {
    BRENNA_LOG(kError, kStart,
               "cannot load the library %s (missing, unreadable or not a library for this "
               "system): the program ends",
               journal::JournalName(path).c_str());
    // exit() runs the static destructors, the earlier library's among
    // them: it must not report into a program that is ending.
    RemoveSink(previousSetLogSink);
    ReportPallixFatal(Gbk("系统库不存在或者版本错误!"));
    std::exit(-1);
  }
  ClearTable();
  if (previous != nullptr) {
    RemoveSink(previousSetLogSink);
    ClosePallixLibrary(previous);
  }
  // The reports are connected first, so that even a library that fails the
  // checks below can say what it does while it stays loaded.
  g_setLogSink = reinterpret_cast<SetLogSinkFn>(PallixOwnExport(g_handle, "PallixSetLogSink"));
  InstallSink();
  g_framePeer = reinterpret_cast<FramePeerFn>(PallixOwnExport(g_handle, "PallixFramePeer"));
  g_peerConnected =
      reinterpret_cast<PeerConnectedFn>(PallixOwnExport(g_handle, "PallixPeerConnected"));
  g_refuseFrame = reinterpret_cast<RefuseFrameFn>(PallixOwnExport(g_handle, "PallixRefuseFrame"));
  g_rejectFrame = reinterpret_cast<RefuseFrameFn>(PallixOwnExport(g_handle, "PallixRejectFrame"));
  g_frameWanted = reinterpret_cast<RefuseFrameFn>(PallixOwnExport(g_handle, "PallixFrameWanted"));

  // A missing name or a wrong record size leaves the library loaded and the
  // entries resolved so far set, until UnloadPallix.
  for (int k = 1; k <= kCount; ++k) {
    PallixEntryFn fn = PallixOwnExport(g_handle, kNames[k - 1]);
    if (fn == nullptr) {
      BRENNA_LOG(kError, kStart,
                 "the library %s lacks the function %s (number %d of %d): another version; "
                 "install the library that came with this program",
                 journal::JournalName(path).c_str(), kNames[k - 1], k, kCount);
      return -(k + 1);
    }
    g_table[k - 1] = fn;
    if (k == static_cast<int>(PallixSlot::GetPallixStrSize)) {
      const int size = reinterpret_cast<int(PALLIX_CALL*)()>(fn)();
      if (size != PALLIX_SITE_CONFIG_SIZE) {
        BRENNA_LOG(kError, kStart,
                   "the library %s has a site record of %d bytes, this program %d: another "
                   "version; install the library that came with this program",
                   journal::JournalName(path).c_str(), size, PALLIX_SITE_CONFIG_SIZE);
        return kWrongRecordSize;
      }
    }
  }
  BRENNA_LOG(kInfo, kStart, "library %s loaded: all %d functions found%s%s",
             journal::JournalName(path).c_str(), kCount,
             g_setLogSink != nullptr ? "" : "; it has no reports for the journal",
             g_framePeer != nullptr ? "" : "; it cannot name the station of a frame");
  return 1;
}

void UnloadPallix() {
  if (g_handle == nullptr) return;
  RemoveSink(g_setLogSink);
  g_setLogSink = nullptr;
  g_framePeer = nullptr;
  g_peerConnected = nullptr;
  g_refuseFrame = nullptr;
  g_rejectFrame = nullptr;
  g_frameWanted = nullptr;
  ClosePallixLibrary(g_handle);
  ClearTable();
  g_handle = nullptr;
}

void SetPallixLogSink(PallixLogSink sink, void* context, int minLevel) {
  if (g_sinkInstalled && sink == nullptr) RemoveSink(g_setLogSink);
  g_sink = sink;
  g_sinkContext = context;
  g_sinkLevel = minLevel;
  if (sink != nullptr) InstallSink();
}

bool PallixLogSinkInstalled() { return g_sinkInstalled; }

bool ReadFramePeer(int channel, FramePeer* peer) {
  peer->address.clear();
  peer->port = 0;
  if (g_framePeer == nullptr) return false;
  char address[PALLIX_PEER_ADDRESS_SIZE] = {};
  int port = 0;
  if (g_framePeer(channel, address, static_cast<int>(sizeof address), &port) != 1) return false;
  address[sizeof address - 1] = '\0';
  peer->address = address;
  peer->port = port;
  return true;
}

bool RefuseReadFrame(int channel) {
  return g_refuseFrame != nullptr && g_refuseFrame(channel) == 1;
}

bool RejectReadFrame(int channel) {
  return g_rejectFrame != nullptr && g_rejectFrame(channel) == 1;
}

int HeldFrameWanted(int channel) {
  if (g_frameWanted == nullptr) return kFrameWanted;
  const int wanted = g_frameWanted(channel);
  return wanted == kFrameGivenUp || wanted == kFrameAsking ? wanted : kFrameWanted;
}

PeerState PeerConnection(int channel, const FramePeer& peer) {
  if (g_peerConnected == nullptr || peer.address.empty()) return PeerState::kUnknown;
  const int connected = g_peerConnected(channel, peer.address.c_str(), peer.port);
  if (connected < 0) return PeerState::kUnknown;
  return connected == 1 ? PeerState::kConnected : PeerState::kGone;
}

// Each forwarding operation tests its own entry, not the handle: after a
// partial load the resolved ones work and the rest report not-loaded.
#define BRENNA_DEFINE_FORWARD(pos, ret, name, params, args)                 \
  ret name params {                                                         \
    auto fn = reinterpret_cast<ret(PALLIX_CALL*) params>(g_table[pos - 1]); \
    if (fn == nullptr) return NotLoaded<ret>();                             \
    return fn args;                                                         \
  }
#define BRENNA_NO_FORWARD(pos, ret, name, params, args)
PALLIX_FUNCTIONS(BRENNA_DEFINE_FORWARD, BRENNA_NO_FORWARD)
#undef BRENNA_DEFINE_FORWARD
#undef BRENNA_NO_FORWARD
