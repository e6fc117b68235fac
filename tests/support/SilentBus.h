// SilentBus - a desktop bus that has hung: a Unix socket that takes every
// connection and never says a word. address() is its D-Bus address.
#ifndef BRENNA_TESTS_SILENTBUS_H
#define BRENNA_TESTS_SILENTBUS_H

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

class SilentBus {
 public:
  explicit SilentBus(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Connections wait in the queue, completed and unanswered.
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(m_fd, 64) == 0)
      m_address = "unix:path=" + path;
  }
  ~SilentBus() {
    if (m_fd >= 0) ::close(m_fd);
  }
  SilentBus(const SilentBus&) = delete;
  SilentBus& operator=(const SilentBus&) = delete;

  // Empty when the socket could not be set up.
  const std::string& address() const { return m_address; }

 private:
  int m_fd = -1;
  std::string m_address;
};

#endif  // BRENNA_TESTS_SILENTBUS_H
