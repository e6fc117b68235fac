// PallixBinding - the only code that knows libPallix is a separate file.
//
// LoadPallix loads one variant from the system directory and resolves all
// 203 exports, in list order, into a process-wide table. Each export (but
// GetPallixStrSize, which only the loader calls) has a forwarding operation
// of the same name and C types: it tests its own table entry and either
// calls through with the arguments unchanged, or returns the not-loaded
// result (-1000, -1000.0, or "No This Funciont").
//
// The table has no lock. Contract: LoadPallix and UnloadPallix run only
// while no task runs (loading before the network tasks start, unloading
// after StopTask returned); starting and joining the worker order the
// table's writes before and after every read from it.
//
// The forwarding operations have C++ linkage on purpose: the executable
// exports its symbols, and C names here would interpose on libPallix's own
// calls to its functions.
#ifndef BRENNA_PLATFORM_PALLIXBINDING_H
#define BRENNA_PLATFORM_PALLIXBINDING_H

#include <string>

#include "Pallix.h"
#include "platform/FramePeer.h"

// Loads the variant (2, 4, 8, 16: the b-variants; anything else the plain
// library). 1 when every name resolved; -(k+1) when the k-th name is
// missing; -9999 when the library's record size is wrong; -1000 when there
// is no usable system directory (none found, or directory and file name
// longer than 259 characters). When the file cannot be loaded it reports
// the failure and ends the process with status -1.
int LoadPallix(int variant);
// Releases the library once and clears the table; a second call does nothing.
void UnloadPallix();

// The forwarding operations, one per export.
#define BRENNA_DECLARE_FORWARD(pos, ret, name, params, args) ret name params;
#define BRENNA_SKIP_FORWARD(pos, ret, name, params, args)
PALLIX_FUNCTIONS(BRENNA_DECLARE_FORWARD, BRENNA_SKIP_FORWARD)
#undef BRENNA_DECLARE_FORWARD
#undef BRENNA_SKIP_FORWARD

// --- Operations composed from table entries --------------------------------

// TrimLeft, then TrimRight; 1 whatever they return.
int TrimBoth(char* text, char ch);
// GetMainID of the text's decimal value; -1000 unbound, 0 for a null text.
int GetMainID(const char* text);
// GetMainID of the text's value when it is a sub-ID, else of the parameter
// ID GetParamIDByName finds for it (0 when it finds none).
int GetMainIDByName(const char* text, int arg);
// GetMainID(id) when id is a sub-ID of this line (id / 10000 == line), else 0.
int GetMainIDOfLine(int id, int line);
// GetDevIDByItemID of the first item of the device; GetItemIDByDevID's
// result when it is 0 or less.
int GetFirstItemDevID(int devId);
// "YYYY-MM-DD" plus span days through the library, written to outText.
// outText must have room for dateText and for 20 bytes. 1 done; 0 null
// text or the library refused; -2 a field missing; kDateTextTooLong a
// dateText of PALLIX_VALUE_SIZE (512) bytes or more, outText untouched;
// -1000 unbound.
inline constexpr int kDateTextTooLong = -3;
int GetDateByTimeSpan(const char* dateText, int span, char* outText);

// --- The library's reports -------------------------------------------------

// The sink libPallix reports to (PallixSetLogSink in Pallix.h), kept by the
// binding: it is installed into a library right after loading it, before
// the names are resolved, and removed from it before the library is
// released, so the library never calls it once UnloadPallix has begun.
// Setting it while a library is loaded installs it there at once; null
// removes it (the library then uses its default). PallixSetLogSink is not
// one of the 203 names: a library without it loads as before and reports
// nothing here. GUI thread only, like LoadPallix.
void SetPallixLogSink(PallixLogSink sink, void* context, int minLevel);
// True when the loaded library has taken the sink.
bool PallixLogSinkInstalled();

// --- The station of a frame -------------------------------------------------

// The station of the frame the latest ReadNetData on `channel` returned,
// through the library's PallixFramePeer (not one of the 203 names: resolved
// apart and optionally, like PallixSetLogSink). False, with *peer cleared,
// when the library has no such function or cannot tell. Same thread as
// ReadNetData.
bool ReadFramePeer(int channel, FramePeer* peer);

// Tells the library that the frame the latest ReadNetData on `channel`
// returned cannot be handled, through its PallixRefuseFrame (resolved apart
// and optionally): the frame's station gets a receipt for what of it was
// handled before it, and the close. False when the library has no such
// function or no frame in hand. Same thread as ReadNetData.
bool RefuseReadFrame(int channel);

// Tells the library that the frame the latest ReadNetData on `channel`
// returned is refused for good, through its PallixRejectFrame (resolved
// apart and optionally): its station is told not to send it again. False
// when the library has no such function or no frame in hand. Same thread
// as ReadNetData.
bool RejectReadFrame(int channel);

// Whether the station of the frame the latest ReadNetData on `channel`
// returned still waits for it, through the library's PallixFrameWanted
// (resolved apart and optionally): kFrameWanted (also without the
// function), kFrameGivenUp (it must not be written), kFrameAsking (ask
// again shortly). Same thread as ReadNetData.
constexpr int kFrameGivenUp = 0;
constexpr int kFrameWanted = 1;
constexpr int kFrameAsking = 2;
int HeldFrameWanted(int channel);

// Whether `peer` is still connected to `channel` (or frames of it are still
// to be taken or handled), through the library's PallixPeerConnected
// (resolved apart and optionally). Any thread while the library is loaded.
enum class PeerState { kConnected, kGone, kUnknown };
PeerState PeerConnection(int channel, const FramePeer& peer);

// --- Platform hooks --------------------------------------------------------

// The directory the variants are loaded from: <exe dir>/../lib/brennacenter,
// or the override below. Empty when it cannot be determined.
std::string PallixSystemDirectory();
// Replaces the system directory (tests, and installs that keep the library
// elsewhere). An empty text restores the default.
void SetPallixSystemDirectory(const std::string& dir);
// The file name LoadPallix chooses for a variant ("libPallix.so", ...).
std::string PallixVariantFileName(int variant);

// Shows the fatal "system library missing" message (GBK text) before the
// process ends. The GUI installs a message box; the default writes the text
// as UTF-8 to stderr. Null restores the default.
using PallixFatalReporter = void (*)(const std::string& gbkText);
void SetPallixFatalReporter(PallixFatalReporter reporter);

#endif  // BRENNA_PLATFORM_PALLIXBINDING_H
