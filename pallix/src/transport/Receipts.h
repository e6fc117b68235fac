// Receipts - how a station learns which of its frames the monitor has
// handled: the receipt frame, and how often a waiting station hears of
// progress. When a server connection gets a receipt in its ordinary course
// (as frames are handled, and once it has finished), and how a station
// counts them, is Receipts.cpp. Two ends decide a receipt where they end a
// connection: Server::Refuse (a refused stream with nothing of it whole is
// closed with none; otherwise it hears of what came before it) and
// Server::GiveWay (a connection making room for a newcomer hears how many
// of its frames are handled, its frames not yet taken unconfirmed).
#ifndef PALLIX_TRANSPORT_RECEIPTS_H
#define PALLIX_TRANSPORT_RECEIPTS_H

#include <chrono>
#include <cstdint>

#include "transport/Frame.h"

namespace pallix::transport {

// A receipt: `confirmed` frames handled and delivered, `rejected` handled
// but refused for good (a second field, only when there are any).
Frame ReceiptFrame(std::uint32_t confirmed, std::uint32_t rejected);
// Reads a receipt; false when the frame is none.
bool ReadReceipt(const unsigned char* f, std::uint32_t* confirmed, std::uint32_t* rejected);

// While a station waits on the monitor (it has finished, or flow control
// holds it back), it hears how many of its frames are handled, at most this
// often, so that it can tell a busy monitor from a dead one.
constexpr auto kProgressInterval = std::chrono::milliseconds(500);

}  // namespace pallix::transport

#endif  // PALLIX_TRANSPORT_RECEIPTS_H
