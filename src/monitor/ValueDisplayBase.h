// ValueDisplayBase - what the value displays of both windows share: the
// text (GBK) and the two colours, and SetColors and SetText from any
// thread. On the display's own thread SetColors stores both colours and
// SetText stores the text and has the window draw it at once
// (TextChanged). From another thread (the network worker's idle state)
// both calls are queued (DisplayCallQueue) and made again on the display's
// thread, in the order they were made, once the window has been woken
// (Wake, which leads to ApplyQueued there). Qt-free.
#ifndef BRENNA_MONITOR_VALUEDISPLAYBASE_H
#define BRENNA_MONITOR_VALUEDISPLAYBASE_H

#include <string>

#include "monitor/DisplayBoard.h"
#include "monitor/DisplayCallQueue.h"

class ValueDisplayBase : public IValueDisplay {
 public:
  ValueDisplayBase(const ValueDisplayBase&) = delete;
  ValueDisplayBase& operator=(const ValueDisplayBase&) = delete;

  // Stores both colours; they show at the next SetText or paint.
  void SetColors(COLORREF background, COLORREF text) final;
  // Stores the text and puts the redrawn display on the screen before
  // returning.
  void SetText(std::string text) final;

  const std::string& Text() const { return m_text; }
  COLORREF BackgroundColor() const { return m_background; }
  COLORREF TextColor() const { return m_textColor; }

 protected:
  // Empty text, white on white.
  ValueDisplayBase() = default;
  ~ValueDisplayBase() override = default;

  // Whether the caller runs on the display's own thread.
  virtual bool OnOwnThread() const = 0;
  // Asks the display's thread to call ApplyQueued; returns at once.
  virtual void Wake() = 0;
  // On the display's thread: the text has changed; draw it now.
  virtual void TextChanged() = 0;
  // On the display's thread: makes the calls other threads queued.
  void ApplyQueued() { m_queued.ApplyTo(*this); }

  std::string m_text;
  COLORREF m_background = kColorWhite;
  COLORREF m_textColor = kColorWhite;

 private:
  DisplayCallQueue m_queued;
};

#endif  // BRENNA_MONITOR_VALUEDISPLAYBASE_H
