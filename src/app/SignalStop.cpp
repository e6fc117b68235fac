#include "app/SignalStop.h"

#include <thread>

#include "platform/StopSignals.h"

namespace {

// The one installed, for Pause; the GUI thread only.
SignalStop* g_installed = nullptr;

}  // namespace

SignalStop::SignalStop(std::function<void(int signal)> onSignal) : m_onSignal(std::move(onSignal)) {
  const int fd = stop_signals::Install();
  if (fd < 0) return;  // no pipe: the signals keep their default action
  g_installed = this;
  m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
    const int signal = stop_signals::Take();
    if (signal != 0) m_onSignal(signal);
  });
}

SignalStop::~SignalStop() {
  if (g_installed == this) g_installed = nullptr;
  m_notifier.reset();
  stop_signals::Uninstall();
}

void SignalStop::Pause(std::chrono::milliseconds pause) {
  if (g_installed == nullptr) {
    std::this_thread::sleep_for(pause);
    return;
  }
  const int signal = stop_signals::WaitFor(static_cast<int>(pause.count()));
  if (signal != 0) g_installed->m_onSignal(signal);
}
