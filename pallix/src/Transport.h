// Transport - the TCP stream of fixed 2072-byte frames between the stations
// and the monitor (OpenNet, ReadNetData, SendNetData, CloseNet).
//
// A channel is either a server (mode 0: listens, takes frames from any
// number of stations) or a station (mode 1: connects and sends frames).
// A server channel has one I/O thread; ReadNetData only takes a finished
// frame from memory and never waits. docs/wire-protocol.md is the protocol.
#ifndef PALLIX_TRANSPORT_H
#define PALLIX_TRANSPORT_H

#include <cstddef>

#include "Pallix.h"

namespace pallix::transport {

inline constexpr int kFirstChannel = 0;
inline constexpr int kLastChannel = 31;

inline constexpr int kModeServer = 0;
inline constexpr int kModeStation = 1;

// Server: a connection that delivers no byte for this long is closed, unless
// the option argument of OpenNet names another time (milliseconds).
inline constexpr int kDefaultSilenceMs = 10000;
// Station: connecting, sending and the closing handshake each wait at most
// this long without progress, unless the option argument names another
// time.
inline constexpr int kDefaultStationTimeoutMs = 5000;
// Server: a frame must be complete this long after its first byte came; a
// connection that takes longer is closed, its partial frame with it.
inline constexpr int kDefaultFrameDeadlineMs = 60000;
// Server: at most this many stations at once are read; fewer when the
// process may open too few files: the descriptors left at the start, less
// kDescriptorReserve.
inline constexpr std::size_t kMaxConnections = 256;
// Server: descriptors its connections leave to the rest of the process
// (the spool files, the journal, the archive with its write-ahead log and
// journal, the window); half of those left when that is fewer than twice
// this.
inline constexpr long kDescriptorReserve = 32;
// Server: the system's queue of pending connections is always taken in,
// kAcceptsPerRound at a time between reads, so that every station is seen
// at once whatever holds the places. Beyond the places up to kMaxWaiting
// (as the descriptors beside the places and the reserve allow) wait taken
// in but unread, nothing of them lost; a place that frees goes to the one
// whose address stands lowest (below), of those to the one waiting
// longest. When every place is taken a connection gives way to a waiting
// one (it is closed), the first of these that there is. Only a file chunk
// (command 994) counts as work: keep-alives and other frames hold no
// place.
//  - one that has never completed a file chunk, has nothing waiting and
//    has sent nothing for kGiveWayQuietMs (the quietest first);
//  - one that has completed no file chunk for kGiveWayIdleMs, whatever it
//    did before, with none of its frames waiting and not held back by flow
//    control (never completed one first, then the longest without);
//  - while frames are being taken (not while the spool holds them up): one
//    as above but with frames waiting (the longest without first): they are
//    dropped, unconfirmed;
//  - one of the address standing highest, when the waiting one's address
//    stands at least two lower: of it the connection with none of its
//    frames taken yet, the newest first (its frames are dropped,
//    unconfirmed).
// Each is first told how many of its frames are handled. With every
// waiting place taken as well, a newcomer takes the place of the newest
// waiting one of the address standing highest, when its own stands at
// least two lower; otherwise it is closed again at once, unread.
inline constexpr std::size_t kMaxWaiting = 1024;
inline constexpr int kAcceptsPerRound = 64;
inline constexpr int kGiveWayQuietMs = 500;
inline constexpr int kGiveWayIdleMs = 1000;
// Server: frames are taken by peer address first: the address standing
// lowest goes next, its standing the frames taken from it lately (each
// counts, halving every kServedHalfLifeMs) and the connections it holds and
// has waiting, so a station that has had little is served before the next
// frame of an address, or a pool of them, that has had thousands or holds
// hundreds.
inline constexpr int kServedHalfLifeMs = 10000;
// Server: once accepting fails for lack of descriptors (or memory), it
// pauses accepting (50 ms, doubling up to 1 s) and holds this many fewer
// connections than it had then, so that the rest of the process (the spool
// files) still finds descriptors; after kLoweredLimitMs it tries the full
// number again.
inline constexpr std::size_t kSpareDescriptors = 16;
inline constexpr int kLoweredLimitMs = 60000;
// Server: finished frames held per connection. A connection whose frames are
// not taken is no longer read (TCP flow control holds the station back).
inline constexpr std::size_t kMaxQueuedFrames = 16;
// Server: a station that waits only on the server (it has ended its sending
// direction, or flow control holds it back) and has had no sign of being
// served for kStaleAfterMs (no byte read, no receipt that raised its count)
// may have given up. Before its next frame is taken it is sent a receipt:
// a station answers it (its system acknowledges it), one that has closed
// its socket resets the connection, and then its frames not yet taken are
// dropped unconfirmed, so that a station told nothing never has them
// written behind its back. No acknowledgement within kStaleAfterMs counts
// as gone; where the system cannot tell (Windows), no reset within
// kProbeGraceMs counts as an answer.
inline constexpr int kStaleAfterMs = 1000;
inline constexpr int kProbeGraceMs = 100;

// Results besides 1 / a positive count.
inline constexpr int kBadChannel = -1;
inline constexpr int kBadMode = -2;
inline constexpr int kBadArgument = -3;
inline constexpr int kChannelBusy = -4;
inline constexpr int kPortInUse = -5;
inline constexpr int kSocketError = -6;
inline constexpr int kNotOpen = -7;
inline constexpr int kWrongMode = -8;
inline constexpr int kBadFrame = -9;
inline constexpr int kConnectFailed = PALLIX_SEND_CONNECT_FAILED;
inline constexpr int kSendFailed = PALLIX_SEND_FAILED;
inline constexpr int kUnknownHost = PALLIX_SEND_UNKNOWN_HOST;
inline constexpr int kConnectRefused = PALLIX_SEND_REFUSED;
inline constexpr int kUnconfirmed = PALLIX_SEND_UNCONFIRMED;
inline constexpr int kRejected = PALLIX_SEND_REJECTED;

struct ServerLimits {
  int silenceMs = kDefaultSilenceMs;
  int frameDeadlineMs = kDefaultFrameDeadlineMs;
};

// OpenNet(channel, mode, port, option): 1, or kBadChannel, kBadMode,
// kBadArgument (port outside 0..65535), kChannelBusy, kPortInUse,
// kSocketError.
int Open(int channel, int mode, int port, int option);
// A server channel with every limit given (OpenNet sets the silence time
// only); the same results as Open.
int OpenServer(int channel, int port, const ServerLimits& limits);
// CloseNet: 1 closed, 0 was not open, kBadChannel. A station channel first
// ends its connection and waits for the monitor's receipts, as long as they
// show progress (at most its timeout without): kUnconfirmed (the channel is
// closed all the same) unless no Send on the channel failed and every frame
// Send reported as sent on it has been answered; then kRejected when the
// monitor refused some of them for good, 1 when it confirmed them all.
int Close(int channel);
// ReadNetData: one whole frame into buf (size >= 2072): 2072; 0 when none
// is finished; kBadChannel, kNotOpen, kWrongMode, kBadArgument. Calling it
// again tells the server that the frame it returned last has been handled
// (written); only then may that frame's connection be confirmed and closed.
// So a server channel has one reader.
int Read(int channel, void* buf, int size);
// SendNetData: sends size bytes of whole, well-formed frames to host:port
// over the station channel's connection (made or remade as needed).
// Returns the number of frames handed to the connection, or kBadChannel,
// kNotOpen, kWrongMode, kBadArgument, kBadFrame, kUnknownHost,
// kConnectRefused, kConnectFailed (timed out or unreachable), kSendFailed.
// Whether the monitor has handled them, CloseNet says.
int Send(int channel, const char* host, int port, const void* buf, int size);

// PallixRefuseFrame: the frame the latest Read on a server channel returned
// cannot be handled (the reader has nowhere to put it). Its connection gets
// a receipt for its frames handled before it and is closed; that frame and
// the connection's frames not yet taken are dropped, unconfirmed, so its
// station learns at once that it must send again. 1 done; 0 no frame in
// hand; kBadChannel, kNotOpen, kWrongMode. The same one reader as Read.
int RefuseFrame(int channel);

// PallixRejectFrame: the frame the latest Read on a server channel returned
// is refused for good. It counts as handled but not delivered: the
// connection goes on, and its receipts tell the station not to send it
// again. 1 done; 0 no frame in hand; kBadChannel, kNotOpen, kWrongMode.
int RejectFrame(int channel);

// PallixFrameWanted: whether the station of the frame the latest Read on a
// server channel returned still waits for it, asked when the reader has
// held it a while (the spool full): 1 yes, or no frame in hand; 0 it gave
// up (closed while the frame waited): the frame must not be written, its
// station sends it again; 2 it is being asked: ask again shortly.
// kBadChannel, kNotOpen, kWrongMode.
int FrameWanted(int channel);

// PallixFramePeer: the station of the frame the latest Read on a server
// channel returned. 1, 0 (none, or unknown), kBadChannel, kBadArgument,
// kNotOpen, kWrongMode.
int FramePeer(int channel, char* address, int size, int* port);

// The port a server channel listens on (it may have asked for port 0), or
// a negative result.
int ListeningPort(int channel);
// PallixPeerConnected: whether the station at address:port is still
// connected to a server channel, or frames of it are still to be taken or
// handled: 1 or 0; kBadChannel, kBadArgument, kNotOpen, kWrongMode.
int PeerConnected(int channel, const char* address, int port);
// Stations of a server channel still sending: connected, neither finished
// nor closed (for tests).
int ConnectionCount(int channel);
// Finished frames of the station at address:port that wait to be taken on
// a server channel (for tests).
int QueuedFrames(int channel, const char* address, int port);
// How many stations a server channel holds at most now (for tests).
int ConnectionLimit(int channel);
// How often accepting a connection failed for lack of descriptors or
// memory (for tests).
int AcceptShortages(int channel);
// Closes every channel: threads stopped, sockets closed. Runs by itself when
// the library is unloaded or the process ends.
void CloseAll();

}  // namespace pallix::transport

#endif  // PALLIX_TRANSPORT_H
