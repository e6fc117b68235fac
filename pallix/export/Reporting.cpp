// The exports beyond the list (PALLIX_EXTRA_FUNCTIONS in Pallix.h).
#include "Log.h"
#include "Pallix.h"
#include "Transport.h"

extern "C" {

PALLIX_EXPORT int PallixSetLogSink(PallixLogSink sink, void* context, int minLevel) {
  return pallix::log::SetSink(sink, context, minLevel);
}

PALLIX_EXPORT int PallixFramePeer(int channel, char* address, int size, int* port) {
  return pallix::transport::FramePeer(channel, address, size, port);
}

PALLIX_EXPORT int PallixPeerConnected(int channel, const char* address, int port) {
  return pallix::transport::PeerConnected(channel, address, port);
}

PALLIX_EXPORT int PallixRefuseFrame(int channel) { return pallix::transport::RefuseFrame(channel); }

PALLIX_EXPORT int PallixRejectFrame(int channel) { return pallix::transport::RejectFrame(channel); }

PALLIX_EXPORT int PallixFrameWanted(int channel) { return pallix::transport::FrameWanted(channel); }

}  // extern "C"
