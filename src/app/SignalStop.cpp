#include "app/SignalStop.h"

#include "platform/StopSignals.h"

SignalStop::SignalStop(std::function<void(int signal)> onSignal) : m_onSignal(std::move(onSignal)) {
  const int fd = stop_signals::Install();
  if (fd < 0) return;  // no pipe: the signals keep their default action
  m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
    const int signal = stop_signals::Take();
    if (signal != 0) m_onSignal(signal);
  });
}

SignalStop::~SignalStop() {
  m_notifier.reset();
  stop_signals::Uninstall();
}
