// Windows half of ChildProcess.h: CreateProcessA with the command line
// quoted as the C run-time parses it, the environment block made from the
// test's own with the overrides applied, output appended to the log files,
// and the child in a job object that ends it when the test's handle closes.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ChildProcess.h"

namespace {

std::string NameOf(const std::string& entry) {
  // Windows keeps a few entries of its own that start with '=' (=C:=C:\).
  std::string name = entry.substr(0, entry.find('=', 1));
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return name;
}

// The test's environment with the overrides applied in order, as the
// NUL-separated block CreateProcess takes (names sorted, case aside).
std::string EnvironmentBlock(const std::vector<std::string>& overrides) {
  std::vector<std::string> env;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* e = block; *e != '\0'; e += std::strlen(e) + 1) env.emplace_back(e);
    FreeEnvironmentStringsA(block);
  }
  for (const std::string& o : overrides) {
    env.erase(std::remove_if(env.begin(), env.end(),
                             [&](const std::string& e) { return NameOf(e) == NameOf(o); }),
              env.end());
    if (o.find('=') != std::string::npos) env.push_back(o);
  }
  std::sort(env.begin(), env.end(),
            [](const std::string& a, const std::string& b) { return NameOf(a) < NameOf(b); });
  std::string out;
  for (const std::string& e : env) out += e + '\0';
  return out + '\0';
}

// One argument as the C run-time's argv parsing reads it back.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + '"';
}

// A file the child writes to, appended, inheritable; nullptr when it cannot
// be opened.
HANDLE AppendTo(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE h = CreateFileA(path.empty() ? "NUL" : path.c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

}  // namespace

ChildProcess::~ChildProcess() {
  Stop();
  Close();
}

void ChildProcess::Close() {
  if (m_process != nullptr) CloseHandle(m_process);
  if (m_job != nullptr) CloseHandle(m_job);
  m_process = m_job = nullptr;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const Options& options,
                         std::string* error) {
  if (m_process != nullptr && !m_reaped) {
    *error = "already running";
    return false;
  }
  if (argv.empty()) {
    *error = "no program";
    return false;
  }
  if (!options.passFds.empty() || options.openFileLimit != 0) {
    *error = "descriptors to pass and a limit of open files are POSIX only";
    return false;
  }
  Close();
  m_reaped = m_killed = false;
  std::string commandLine;
  for (const std::string& a : argv) commandLine += (commandLine.empty() ? "" : " ") + Quoted(a);
  std::string env = EnvironmentBlock(options.env);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE output = AppendTo(options.logPath);
  HANDLE errors = options.errorPath.empty() ? output : AppendTo(options.errorPath);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION info{};
  const bool opened = input != INVALID_HANDLE_VALUE && output != nullptr && errors != nullptr;
  const bool started =
      opened &&
      CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, &env[0],
                     options.workDir.empty() ? nullptr : options.workDir.c_str(), &startup, &info);
  const DWORD why = GetLastError();
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (output != nullptr) CloseHandle(output);
  if (errors != nullptr && errors != output) CloseHandle(errors);
  if (!started) {
    *error = (opened ? "cannot run " : "cannot open the output or input of ") + argv[0] +
             ": Windows error " + std::to_string(why);
    return false;
  }
  // The child ends with the job, that is with this object or the test.
  m_job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (m_job != nullptr) {
    SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    AssignProcessToJobObject(m_job, info.hProcess);
  }
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  m_process = info.hProcess;
  m_pid = static_cast<pid_t>(info.dwProcessId);
  return true;
}

void ChildProcess::Reap(int status) {
  m_reaped = true;
  m_status = status;
}

bool ChildProcess::Running() {
  if (m_process == nullptr || m_reaped) return false;
  if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) return true;
  DWORD code = 0;
  GetExitCodeProcess(m_process, &code);
  Reap(static_cast<int>(code));
  return false;
}

void ChildProcess::Stop(std::chrono::milliseconds) {
  if (!Running()) return;
  // A console program has no SIGTERM to catch: it is ended at once.
  m_killed = true;
  TerminateProcess(m_process, 1);
  WaitForSingleObject(m_process, INFINITE);
  Reap(1);
}

bool ChildProcess::Exited() const { return m_reaped && !m_killed; }
int ChildProcess::ExitStatus() const { return Exited() ? m_status : -1; }
bool ChildProcess::Signalled() const { return m_reaped && m_killed; }
int ChildProcess::TermSignal() const { return Signalled() ? 9 : 0; }

std::string ChildProcess::Describe() const {
  if (m_process == nullptr) return "not started";
  if (!m_reaped) return "running";
  if (Exited()) return "exit status " + std::to_string(ExitStatus());
  return "ended by the test";
}
