// SignalStop - a stop by SIGTERM or SIGINT (a service manager, a logout,
// Ctrl+C) seen in the window's event loop: a QSocketNotifier on the pipe
// the signal handler writes (platform/StopSignals.h), so the stop runs as
// ordinary code on the GUI thread and may journal, stop the network task
// and write out the journal before the process ends.
#ifndef BRENNA_APP_SIGNALSTOP_H
#define BRENNA_APP_SIGNALSTOP_H

#include <QSocketNotifier>
#include <functional>
#include <memory>

class SignalStop {
 public:
  // Installs the handlers; `onSignal` runs on the GUI thread with the
  // signal's number when one arrives. It is expected not to return (it ends
  // the process).
  explicit SignalStop(std::function<void(int signal)> onSignal);
  // The signals get their default action back.
  ~SignalStop();
  SignalStop(const SignalStop&) = delete;
  SignalStop& operator=(const SignalStop&) = delete;

 private:
  std::function<void(int)> m_onSignal;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

#endif  // BRENNA_APP_SIGNALSTOP_H
