// StopOnSignal - a stop by SIGTERM or SIGINT (a service manager, a logout,
// Ctrl+C) seen in the window's event loop: a QSocketNotifier on the pipe
// the signal handler writes (platform/SignalPipe.h), so the stop runs as
// ordinary code on the GUI thread and may journal, stop the network task
// and write out the journal before the process ends.
#ifndef BRENNA_APP_STOPONSIGNAL_H
#define BRENNA_APP_STOPONSIGNAL_H

#include <QSocketNotifier>
#include <functional>
#include <memory>

class StopOnSignal {
 public:
  // Installs the handlers; `onSignal` runs on the GUI thread with the
  // signal's number when one arrives. It is expected not to return (it ends
  // the process).
  explicit StopOnSignal(std::function<void(int signal)> onSignal);
  // The signals get their default action back.
  ~StopOnSignal();
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  std::function<void(int)> m_onSignal;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

#endif  // BRENNA_APP_STOPONSIGNAL_H
