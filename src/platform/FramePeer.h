// FramePeer - the station a frame came from. Frames carry no sender; the
// library's transport knows the connection each frame arrived on and names
// it on request (ReadFramePeer in platform/PallixBinding.h).
#ifndef BRENNA_PLATFORM_FRAMEPEER_H
#define BRENNA_PLATFORM_FRAMEPEER_H

#include <string>

struct FramePeer {
  std::string address;  // numeric text; empty: not known
  int port = 0;
};

// "10.1.2.3:40001" for a journal line, "an unknown station" when not known.
inline std::string PeerText(const FramePeer& peer) {
  if (peer.address.empty()) return "an unknown station";
  return peer.address + ":" + std::to_string(peer.port);
}

inline bool SamePeer(const FramePeer& a, const FramePeer& b) {
  return a.address == b.address && a.port == b.port;
}

#endif  // BRENNA_PLATFORM_FRAMEPEER_H
