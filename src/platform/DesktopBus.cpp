#include "platform/DesktopBus.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Mutex.h"

namespace {

using Clock = std::chrono::steady_clock;

// The opening of the authentication handshake: the credentials byte, then
// AUTH without a mechanism, which every server answers with a line (the
// mechanisms it offers).
constexpr char kHello[] = "\0AUTH\r\n";
constexpr std::size_t kHelloBytes = sizeof kHello - 1;
// More than any first line of a server.
constexpr std::size_t kMaxAnswerBytes = 1024;

// One server to ask, resolved before the probe's thread starts (so that
// thread reads no environment).
struct Target {
  std::string entry;  // as written in the address list
  sockaddr_storage addr{};
  socklen_t length = 0;
};

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Address values escape bytes as %XX.
bool Unescape(const std::string& text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = HexValue(text[i + 1]);
    const int lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return true;
}

std::string Escape(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || std::strchr("-_/.\\*", c) != nullptr) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool UnixTarget(const std::string& path, bool abstract, Target* target) {
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof un.sun_path) return false;
  std::memcpy(un.sun_path + offset, path.data(), path.size());
  std::memcpy(&target->addr, &un, sizeof un);
  target->length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                          (abstract ? 0 : 1));
  return true;
}

// Numeric addresses and "localhost" only: a name lookup may read the
// environment or wait on a name server.
bool TcpTarget(const std::string& host, const std::string& port, const std::string& family,
               Target* target) {
  char* end = nullptr;
  const long number = std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end != '\0' || number <= 0 || number > 65535) return false;
  const auto netPort = htons(static_cast<uint16_t>(number));
  const std::string name =
      host.empty() || host == "localhost" ? (family == "ipv6" ? "::1" : "127.0.0.1") : host;
  sockaddr_in in4{};
  sockaddr_in6 in6{};
  if (family != "ipv6" && inet_pton(AF_INET, name.c_str(), &in4.sin_addr) == 1) {
    in4.sin_family = AF_INET;
    in4.sin_port = netPort;
    std::memcpy(&target->addr, &in4, sizeof in4);
    target->length = sizeof in4;
    return true;
  }
  if (family != "ipv4" && inet_pton(AF_INET6, name.c_str(), &in6.sin6_addr) == 1) {
    in6.sin6_family = AF_INET6;
    in6.sin6_port = netPort;
    std::memcpy(&target->addr, &in6, sizeof in6);
    target->length = sizeof in6;
    return true;
  }
  return false;
}

// The server an address entry names; false for what cannot be asked.
bool ResolveEntry(const std::string& entry, Target* target) {
  target->entry = entry;
  const std::size_t colon = entry.find(':');
  if (colon == std::string::npos) return false;
  const std::string method = entry.substr(0, colon);
  std::string path, abstract, runtime, host, port, family;
  for (const std::string& pair : Split(entry.substr(colon + 1), ',')) {
    const std::size_t eq = pair.find('=');
    if (eq == std::string::npos) continue;
    std::string value;
    if (!Unescape(pair.substr(eq + 1), &value)) return false;
    const std::string key = pair.substr(0, eq);
    if (key == "path") path = value;
    if (key == "abstract") abstract = value;
    if (key == "runtime") runtime = value;
    if (key == "host") host = value;
    if (key == "port") port = value;
    if (key == "family") family = value;
  }
  if (method == "unix") {
    if (!path.empty()) return UnixTarget(path, false, target);
    if (!abstract.empty()) return UnixTarget(abstract, true, target);
    const std::string dir = Env("XDG_RUNTIME_DIR");
    if (runtime == "yes" && !dir.empty()) return UnixTarget(dir + "/bus", false, target);
    return false;
  }
  if (method == "tcp") return TcpTarget(host, port, family, target);
  return false;
}

// One server being asked.
struct Attempt {
  int fd = -1;
  bool sent = false;
  std::string got;
};

void Drop(Attempt& attempt) {
  if (attempt.fd >= 0) ::close(attempt.fd);
  attempt.fd = -1;
}

// Takes the next step of an attempt whose socket is ready; true once its
// server has answered with a whole line.
bool Step(Attempt& a, short revents) {
  if (!a.sent) {
    int error = 0;
    socklen_t length = sizeof error;
    if ((revents & POLLOUT) == 0 ||
        ::getsockopt(a.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0 ||
        ::send(a.fd, kHello, kHelloBytes, MSG_NOSIGNAL | MSG_DONTWAIT) !=
            static_cast<ssize_t>(kHelloBytes)) {
      Drop(a);
      return false;
    }
    a.sent = true;
    return false;
  }
  char buf[256];
  const ssize_t n = ::recv(a.fd, buf, sizeof buf, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return false;
  if (n <= 0) {
    Drop(a);  // closed or failed: no answer
    return false;
  }
  a.got.append(buf, static_cast<std::size_t>(n));
  if (a.got.find("\r\n") != std::string::npos) return true;
  if (a.got.size() > kMaxAnswerBytes) Drop(a);
  return false;
}

// Asks every server at once, without blocking anywhere, until one answers
// or the deadline passes: a silent entry costs the others nothing. The
// entry of the first to answer, or empty.
std::string FirstToAnswer(const std::vector<Target>& targets, Clock::time_point deadline) {
  std::vector<Attempt> attempts(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const int fd =
        ::socket(targets[i].addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    attempts[i].fd = fd;
    // A full queue of a Unix listener refuses at once (EAGAIN): silent.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&targets[i].addr), targets[i].length) !=
            0 &&
        errno != EINPROGRESS)
      Drop(attempts[i]);
  }
  std::string found;
  while (found.empty()) {
    std::vector<pollfd> fds;
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < attempts.size(); ++i) {
      if (attempts[i].fd < 0) continue;
      fds.push_back(
          pollfd{attempts[i].fd, static_cast<short>(attempts[i].sent ? POLLIN : POLLOUT), 0});
      which.push_back(i);
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (fds.empty() || left <= 0) break;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left));
    if (ready < 0 && errno != EINTR) break;
    for (std::size_t k = 0; ready > 0 && k < fds.size() && found.empty(); ++k) {
      if (fds[k].revents != 0 && Step(attempts[which[k]], fds[k].revents)) {
        found = targets[which[k]].entry;
      }
    }
  }
  for (Attempt& a : attempts) Drop(a);
  return found;
}

}  // namespace

// What the asking thread hands the one that waits.
struct BusProbe::Shared {
  Mutex lock;
  CondVar finished;
  bool done PALLIX_GUARDED_BY(lock) = false;
  std::string answering PALLIX_GUARDED_BY(lock);
};

std::string SessionBusAddress() {
  const std::string address = Env("DBUS_SESSION_BUS_ADDRESS");
  if (!address.empty()) return address;
  const std::string dir = Env("XDG_RUNTIME_DIR");
  if (dir.empty()) return std::string();
  const std::string path = dir + "/bus";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != ::getuid()) {
    return std::string();
  }
  return "unix:path=" + Escape(path);
}

BusProbe::BusProbe(const std::string& addresses, std::chrono::milliseconds limit)
    : m_shared(std::make_shared<Shared>()), m_deadline(Clock::now() + limit) {
  std::vector<Target> targets;
  for (const std::string& entry : Split(addresses, ';')) {
    Target target;
    if (!entry.empty() && ResolveEntry(entry, &target)) targets.push_back(std::move(target));
  }
  auto ask = [shared = m_shared, targets = std::move(targets), deadline = m_deadline] {
    const std::string found = FirstToAnswer(targets, deadline);
    MutexLock guard(shared->lock);
    shared->answering = found;
    shared->done = true;
    shared->finished.notify_all();
  };
  try {
    // Left to itself: it ends at the deadline at the latest, and nothing
    // waits for it beyond that.
    std::thread(std::move(ask)).detach();
  } catch (...) {
    MutexLock guard(m_shared->lock);
    m_shared->done = true;
  }
}

BusProbe::~BusProbe() = default;

std::string BusProbe::Answering() {
  MutexLock guard(m_shared->lock);
  while (!m_shared->done &&
         m_shared->finished.wait_until(m_shared->lock, m_deadline) != std::cv_status::timeout) {
  }
  return m_shared->done ? m_shared->answering : std::string();
}

bool SettleDesktopBuses() {
  const std::string session = SessionBusAddress();
  const std::string atspi = Env("AT_SPI_BUS_ADDRESS");
  // Both asked at once: the slower one is all the start waits for.
  std::unique_ptr<BusProbe> sessionProbe =
      session.empty() ? nullptr : std::make_unique<BusProbe>(session);
  std::unique_ptr<BusProbe> atspiProbe =
      atspi.empty() ? nullptr : std::make_unique<BusProbe>(atspi);
  const std::string answering = sessionProbe ? sessionProbe->Answering() : std::string();
  // Only the entry that answered: libdbus takes the first entry it can
  // connect to, answering or not.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", answering.empty() ? kNoBusAddress : answering.c_str(), 1);
  if (atspiProbe && atspiProbe->Answering().empty()) ::unsetenv("AT_SPI_BUS_ADDRESS");
  return !answering.empty();
}
