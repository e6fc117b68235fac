#include "acquisition/NetTasks.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolSweep.h"
#include "app/Globals.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"
#include "util/Colors.h"

namespace {

constexpr bool ResetsEveryOperatorDisplayOnce() {
  for (std::size_t i = 0; i < std::size(kOperatorDisplays); ++i) {
    if (!IsOperatorDisplay(kOperatorDisplays[i])) return false;
    for (std::size_t j = i + 1; j < std::size(kOperatorDisplays); ++j)
      if (kOperatorDisplays[i] == kOperatorDisplays[j]) return false;
  }
  return true;
}
static_assert(ResetsEveryOperatorDisplayOnce(),
              "the idle reset names each device's operator display once");

}  // namespace

int IdleStateTask() {
  static const std::string idle = Gbk("设备空闲");
  IDisplayBoard* board = g_pMainDlg;
  if (board == nullptr) return 1;
  for (int id : kOperatorDisplays) {
    IValueDisplay* display = board->ValueDisplay(id);
    if (display == nullptr) continue;
    display->SetColors(kColorWhite, kColorRed);
    display->SetText(idle);
  }
  return 1;
}

namespace {

// Hands the frame in hold to the writer under the spool lock, and keeps it
// when the spool cannot be written now.
void SaveHeld(const NetRecvCalls& calls, NetRecvHold& hold) {
  int result = kChunkStored;
  try {
    // The lock guard releases the spool lock however the writer ends; a
    // chunk whose writing throws is lost and reception carries on.
    std::lock_guard<std::mutex> lock(g_spoolLock);
    result = calls.save(hold.frame + NET_FRAME_DATA_OFFSET,
                        PallixGetI32(hold.frame + NET_FRAME_LENGTH_OFFSET));
  } catch (...) {
  }
  hold.holding = result == kChunkSpoolUnwritable;
  hold.passesLeft = kRetryPasses;
}

}  // namespace

int NetRecvOnce(const NetRecvCalls& calls, NetRecvHold& hold) {
  if (calls.sweep) calls.sweep();
  if (hold.holding) {
    if (--hold.passesLeft <= 0) SaveHeld(calls, hold);
  } else {
    // A fresh frame each call: magic, zero header, empty data, trailer.
    unsigned char* frame = hold.frame;
    std::memset(frame, 0, NET_FRAME_SIZE);
    PallixPutU32(frame + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
    PallixPutU32(frame + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);

    const int got = calls.read(kNetChannel, frame, NET_FRAME_SIZE);
    if (got > 0 && PallixGetU32(frame + NET_FRAME_COMMAND_OFFSET) == NET_CMD_FILE_CHUNK)
      SaveHeld(calls, hold);
  }
  calls.pause();
  return 0;
}

int NetRecvTask() {
  // Only the worker thread runs this task.
  static NetRecvHold hold;
  static std::chrono::steady_clock::time_point nextSweep{};
  static const NetRecvCalls calls{
      [](int channel, void* buf, int size) { return ReadNetData(channel, buf, size); },
      [](const void* data, int length) { return SaveRecvChunk(data, length); },
      [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); },
      [] {
        // At the first call, then every kSweepPeriod: one listing of the
        // directory when there is nothing to remove.
        const auto now = std::chrono::steady_clock::now();
        if (now < nextSweep) return;
        nextSweep = now + kSweepPeriod;
        try {
          std::lock_guard<std::mutex> lock(g_spoolLock);
          SpoolIo io;
          SweepSpool(io, SiteSpoolDirectory());
        } catch (...) {
        }
      }};
  return NetRecvOnce(calls, hold);
}
