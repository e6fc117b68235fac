#include "Transport.h"

#include <array>
#include <memory>

#include "PallixThreadSafety.h"
#include "PallixWire.h"
#include "transport/Server.h"
#include "transport/Station.h"

namespace pallix::transport {

namespace {

struct Channel {
  int mode = kModeServer;
  std::unique_ptr<Server> server;
  std::unique_ptr<Station> station;
};

constexpr std::size_t kChannelCount = kLastChannel - kFirstChannel + 1;

class Registry {
 public:
  // The library may be unloaded while a channel is open (the monitor never
  // closes its own): stop every thread and close every socket then.
  ~Registry() { CloseAll(); }

  void CloseAll() {
    std::array<std::shared_ptr<Channel>, kChannelCount> closing;
    {
      PallixMutexLock guard(lock);
      closing.swap(channels);
    }
    // Destroyed here, outside the lock: servers join their threads, stations
    // close at once.
  }

  PallixMutex lock;
  std::array<std::shared_ptr<Channel>, kChannelCount> channels PALLIX_GUARDED_BY(lock);
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool ValidChannel(int channel) { return channel >= kFirstChannel && channel <= kLastChannel; }

std::shared_ptr<Channel> Find(int channel) {
  Registry& r = TheRegistry();
  PallixMutexLock guard(r.lock);
  return r.channels[static_cast<std::size_t>(channel - kFirstChannel)];
}

int OpenChannel(int channel, int mode, int port, const ServerLimits& limits, int stationTimeoutMs) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (mode != kModeServer && mode != kModeStation) return kBadMode;
  if (port < 0 || port > 65535) return kBadArgument;
  Registry& r = TheRegistry();
  PallixMutexLock guard(r.lock);
  auto& slot = r.channels[static_cast<std::size_t>(channel - kFirstChannel)];
  if (slot) return kChannelBusy;
  auto ch = std::make_shared<Channel>();
  ch->mode = mode;
  if (mode == kModeServer) {
    int error = 0;
    ch->server = Server::Start(port, limits, &error);
    if (!ch->server) return error;
  } else {
    ch->station = std::make_unique<Station>(channel, stationTimeoutMs);
  }
  slot = std::move(ch);
  return 1;
}

}  // namespace

int Open(int channel, int mode, int port, int option) {
  ServerLimits limits;
  if (option > 0) limits.silenceMs = option;
  return OpenChannel(channel, mode, port, limits, option > 0 ? option : kDefaultStationTimeoutMs);
}

int OpenServer(int channel, int port, const ServerLimits& limits) {
  if (limits.silenceMs <= 0 || limits.frameDeadlineMs <= 0) return kBadArgument;
  return OpenChannel(channel, kModeServer, port, limits, 0);
}

int Close(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch;
  {
    Registry& r = TheRegistry();
    PallixMutexLock guard(r.lock);
    ch.swap(r.channels[static_cast<std::size_t>(channel - kFirstChannel)]);
  }
  if (!ch) return 0;
  return ch->station ? ch->station->Finish() : 1;
}

int Read(int channel, void* buf, int size) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (buf == nullptr || size < static_cast<int>(NET_FRAME_SIZE)) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->TakeFrame(static_cast<unsigned char*>(buf)) ? static_cast<int>(NET_FRAME_SIZE)
                                                                 : 0;
}

int Send(int channel, const char* host, int port, const void* buf, int size) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (host == nullptr || *host == '\0' || port <= 0 || port > 65535 || buf == nullptr ||
      size <= 0) {
    // A station that checks only CloseNet must not hear "delivered" then.
    if (ch && ch->station) ch->station->NoteFailedSend(kBadArgument);
    return kBadArgument;
  }
  if (!ch) return kNotOpen;
  if (!ch->station) return kWrongMode;
  return ch->station->Send(host, port, static_cast<const unsigned char*>(buf),
                           static_cast<std::size_t>(size));
}

int RefuseFrame(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->RefuseTaken() ? 1 : 0;
}

int RejectFrame(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->RejectTaken() ? 1 : 0;
}

int FrameWanted(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->InHandWanted();
}

int FramePeer(int channel, char* address, int size, int* port) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (address == nullptr || port == nullptr || size < 1) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->FramePeer(address, static_cast<std::size_t>(size), port);
}

int ListeningPort(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->Port();
}

int PeerConnected(int channel, const char* address, int port) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (address == nullptr) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->PeerConnected(address, port) ? 1 : 0;
}

int QueuedFrames(int channel, const char* address, int port) {
  if (!ValidChannel(channel)) return kBadChannel;
  if (address == nullptr) return kBadArgument;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->QueuedFrames(address, port);
}

int ConnectionLimit(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->Limit();
}

int ConnectionCount(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->SendingConnections();
}

int AcceptShortages(int channel) {
  if (!ValidChannel(channel)) return kBadChannel;
  std::shared_ptr<Channel> ch = Find(channel);
  if (!ch) return kNotOpen;
  if (!ch->server) return kWrongMode;
  return ch->server->AcceptShortages();
}

void CloseAll() { TheRegistry().CloseAll(); }

}  // namespace pallix::transport
