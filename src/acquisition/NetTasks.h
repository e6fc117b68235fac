// NetTasks - the two task functions of the network worker.
//
// IdleStateTask shows "设备空闲" on the seven operator displays when the
// queue starts. NetRecvTask makes one read attempt per call and hands a
// file-chunk frame to the chunk writer under the spool lock; the task queue
// calls it again and again.
#ifndef BRENNA_ACQUISITION_NETTASKS_H
#define BRENNA_ACQUISITION_NETTASKS_H

#include <functional>

// The operator displays, one per device group, in the order they are reset.
constexpr int kOperatorDisplays[7] = {1018, 1021, 1065, 1072, 1073, 1157, 1119};

// The network channel the monitor listens on.
constexpr int kNetChannel = 11;

int IdleStateTask();
int NetRecvTask();

// What NetRecvTask calls, replaceable so tests can script the network and
// the writer.
struct NetRecvCalls {
  std::function<int(int channel, void* buf, int size)> read;
  std::function<int(const void* data, int length)> save;
  std::function<void()> pause;
};

// One receive attempt with the given calls (NetRecvTask uses the library's
// ReadNetData, SaveRecvChunk and a 5 ms sleep).
int NetRecvOnce(const NetRecvCalls& calls);

#endif  // BRENNA_ACQUISITION_NETTASKS_H
