// DisplayCallQueue - the SetColors and SetText calls another thread (the
// network worker's idle state) makes on a value display, kept in order
// until the display's own thread applies them. The calls travel through
// this lock rather than inside the wake-up message, so the hand-over is
// ordered for every checker too; the display's thread is woken once per
// batch. Both windows' displays use it.
#ifndef BRENNA_MONITOR_DISPLAYCALLQUEUE_H
#define BRENNA_MONITOR_DISPLAYCALLQUEUE_H

#include <string>
#include <vector>

#include "monitor/DisplayBoard.h"
#include "platform/Mutex.h"

class DisplayCallQueue {
 public:
  // Queues SetColors; true when the display's thread must be woken (the
  // queue was empty).
  bool PostColors(COLORREF background, COLORREF text);
  // Queues SetText; true when the display's thread must be woken.
  bool PostText(std::string text);
  // On the display's thread: makes every queued call on `display`, in the
  // order they were made.
  void ApplyTo(IValueDisplay& display);

 private:
  struct Call {
    bool isText;
    COLORREF background;
    COLORREF textColor;
    std::string text;
  };
  bool Post(Call call);

  Mutex m_lock;
  std::vector<Call> m_calls PALLIX_GUARDED_BY(m_lock);
};

#endif  // BRENNA_MONITOR_DISPLAYCALLQUEUE_H
