// POSIX signals for SignalPipe.h: a self-pipe written by the handler.
#include "platform/SignalPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace signal_pipe {

namespace {

// Written by the handler, read by the window; both ends non-blocking, so
// neither a burst of signals nor an empty pipe can hold anyone.
int g_pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  // Nothing else is safe here; a full pipe already says "stop".
  ssize_t ignored = ::write(g_pipe[1], &number, 1);
  (void)ignored;
  errno = saved;
}

bool MakePipe() {
  if (g_pipe[0] >= 0) return true;
  int fds[2];
  if (::pipe(fds) != 0) return false;
  for (int fd : fds) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  g_pipe[0] = fds[0];
  g_pipe[1] = fds[1];
  return true;
}

}  // namespace

int Install() {
  if (!MakePipe()) return -1;
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  return g_pipe[0];
}

bool WaitFor(int timeoutMs) {
  if (g_pipe[0] < 0) return false;
  pollfd p{g_pipe[0], POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

int Take() {
  if (g_pipe[0] < 0) return 0;
  unsigned char number = 0;
  int signal = 0;
  // The first that came decides; the rest are the same request again.
  while (::read(g_pipe[0], &number, 1) == 1) {
    if (signal == 0) signal = number;
  }
  return signal;
}

void Uninstall() {
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
}

void EndBy(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  // Only a signal whose default is not to end the process gets here.
  std::_Exit(128 + signal);
}

const char* Name(int signal) {
  switch (signal) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    default: {
      static char text[24];
      std::snprintf(text, sizeof text, "signal %d", signal);
      return text;
    }
  }
}

}  // namespace signal_pipe
