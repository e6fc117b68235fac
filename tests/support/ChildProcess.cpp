#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace {

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The inherited environment with the overrides applied in order.
std::vector<std::string> BuildEnvironment(const std::vector<std::string>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (const std::string& o : overrides) {
    env.erase(std::remove_if(env.begin(), env.end(),
                             [&](const std::string& e) { return NameOf(e) == NameOf(o); }),
              env.end());
    if (o.find('=') != std::string::npos) env.push_back(o);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& argv, const Options& options,
                         std::string* error) {
  if (m_pid > 0 && !m_reaped) {
    *error = "already running";
    return false;
  }
  if (argv.empty()) {
    *error = "no program";
    return false;
  }
  // Everything the child needs is prepared before fork: after it only
  // async-signal-safe calls are allowed.
  std::vector<std::string> args = argv;
  std::vector<std::string> env = BuildEnvironment(options.env);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  const std::string log = options.logPath.empty() ? "/dev/null" : options.logPath;
  const pid_t parent = getpid();

  // The child writes here what it could not do (a Failure) before it ends.
  enum Failure : int { kOpenFiles, kChangeDirectory, kExec };
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (pid == 0) {
    // The exec-failure report and the descriptors to hand on move clear
    // of 3, 4, ... first, so that none is overwritten before it is placed.
    const int rep = fcntl(report[1], F_DUPFD_CLOEXEC, 100);
    auto fail = [rep](Failure what) {
      const int failure[2] = {what, errno};
      if (write(rep, failure, sizeof failure) < 0) {
      }
      _exit(127);
    };
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);  // a terminal's Ctrl+C reaches the test, which stops us
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int err = options.errorPath.empty()
                        ? out
                        : open(options.errorPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || err < 0) fail(kOpenFiles);
    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) fail(kChangeDirectory);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    int moved[8];
    const int pass = static_cast<int>(options.passFds.size() < 8 ? options.passFds.size() : 8);
    for (int i = 0; i < pass; ++i) moved[i] = fcntl(options.passFds[i], F_DUPFD_CLOEXEC, 110);
    for (int i = 0; i < pass; ++i) dup2(moved[i], 3 + i);  // the copy is inherited
    const int keep = 2 + pass;
    // Nothing else of ours (the X connection, sockets) leaks into the child.
    for (int fd = keep + 1; fd < 1024; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (options.openFileLimit > 0) {
      const rlimit limit{static_cast<rlim_t>(options.openFileLimit),
                         static_cast<rlim_t>(options.openFileLimit)};
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    execve(argp[0], argp.data(), envp.data());
    fail(kExec);
  }
  close(report[1]);
  int failure[2] = {0, 0};
  ssize_t n;
  do {
    n = read(report[0], failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  m_pid = pid;
  m_reaped = false;
  m_status = 0;
  if (n == static_cast<ssize_t>(sizeof failure)) {
    WaitExit(std::chrono::seconds(5));
    const char* what = failure[0] == kOpenFiles         ? "cannot open its output or input for "
                       : failure[0] == kChangeDirectory ? "cannot enter the working directory of "
                                                        : "cannot run ";
    *error = what + argv[0] + ": " + std::strerror(failure[1]);
    return false;
  }
  return true;
}

void ChildProcess::Reap(int status) {
  m_reaped = true;
  m_status = status;
}

bool ChildProcess::Running() {
  if (m_pid <= 0 || m_reaped) return false;
  int status = 0;
  const pid_t r = waitpid(m_pid, &status, WNOHANG);
  if (r == m_pid) {
    Reap(status);
    return false;
  }
  return r == 0;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (!Running()) return;
  kill(m_pid, SIGTERM);
  if (WaitExit(grace)) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  if (waitpid(m_pid, &status, 0) == m_pid) Reap(status);
}

bool ChildProcess::Exited() const { return m_reaped && WIFEXITED(m_status); }
int ChildProcess::ExitStatus() const { return Exited() ? WEXITSTATUS(m_status) : -1; }
bool ChildProcess::Signalled() const { return m_reaped && WIFSIGNALED(m_status); }
int ChildProcess::TermSignal() const { return Signalled() ? WTERMSIG(m_status) : 0; }

std::string ChildProcess::Describe() const {
  if (m_pid <= 0) return "not started";
  if (!m_reaped) return "running";
  if (Exited()) return "exit status " + std::to_string(ExitStatus());
  if (Signalled()) return "killed by signal " + std::to_string(TermSignal());
  return "ended";
}

long ProcessStatus(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}
