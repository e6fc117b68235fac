#include "app/StopOnSignal.h"

#include "platform/SignalPipe.h"

StopOnSignal::StopOnSignal(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal)) {
  const int fd = signal_pipe::Install();
  if (fd < 0) return;  // no pipe: the signals keep their default action
  m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
    const int signal = signal_pipe::Take();
    if (signal != 0) m_onSignal(signal);
  });
}

StopOnSignal::~StopOnSignal() {
  m_notifier.reset();
  signal_pipe::Uninstall();
}
