#include "monitor/DisplayCallQueue.h"

#include <utility>

bool DisplayCallQueue::Post(Call call) {
  MutexLock lock(m_lock);
  m_calls.push_back(std::move(call));
  return m_calls.size() == 1;
}

bool DisplayCallQueue::PostColors(COLORREF background, COLORREF text) {
  return Post(Call{false, background, text, std::string()});
}

bool DisplayCallQueue::PostText(std::string text) {
  return Post(Call{true, 0, 0, std::move(text)});
}

void DisplayCallQueue::ApplyTo(IValueDisplay& display) {
  std::vector<Call> calls;
  {
    MutexLock lock(m_lock);
    calls.swap(m_calls);
  }
  for (Call& call : calls) {
    if (call.isText)
      display.SetText(std::move(call.text));
    else
      display.SetColors(call.background, call.textColor);
  }
}
