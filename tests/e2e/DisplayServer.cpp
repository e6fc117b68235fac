#include "DisplayServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// The display number Xvfb writes to its -displayfd descriptor once it
// accepts connections.
bool ReadDisplayNumber(int fd, ChildProcess& server, std::chrono::milliseconds limit,
                       std::string* number, std::string* error) {
  const auto deadline = Clock::now() + limit;
  std::string text;
  while (text.find('\n') == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, 100);
    if (r > 0) {
      char buf[32];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (!server.Running()) {
      *error = "Xvfb ended at start (" + server.Describe() + ")";
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "Xvfb reported no display";
      return false;
    }
  }
  const size_t end = text.find('\n');
  if (end == std::string::npos || end == 0) {
    *error = "Xvfb reported no display";
    return false;
  }
  *number = text.substr(0, end);
  return true;
}

}  // namespace

bool DisplayServer::Start(const std::string& logPath, const std::vector<std::string>& env,
                          std::string* error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = "pipe failed";
    return false;
  }
  ChildProcess::Options options;
  options.env = env;
  options.logPath = logPath;
  options.passFds = {pipeFds[1]};
  const bool started = m_server.Start(
      {"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
      options, error);
  close(pipeFds[1]);
  std::string number;
  const bool reported =
      started && ReadDisplayNumber(pipeFds[0], m_server, std::chrono::seconds(30), &number, error);
  close(pipeFds[0]);
  if (!reported) {
    Stop();
    return false;
  }
  m_name = ":" + number;
  return true;
}

std::vector<std::string> DisplayServer::ClientEnv() const {
  if (m_name.empty()) return {};
  return {"DISPLAY=" + m_name, "WAYLAND_DISPLAY"};
}
