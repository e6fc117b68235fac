// MonitorProcess - the installed monitor run out of process on Qt's
// offscreen platform for the fault and load tests: its install tree, the
// program (which may be killed and started again on the same tree), a watch
// on its spool directory, and what /proc tells about it.
//
// Without a window system the title cannot be read; a result counts as
// shown once the window has read its "<name>.DOING" and removed it, which
// the window does for every result it shows and counts, and for nothing
// else.
#ifndef BRENNA_FAULT_MONITORPROCESS_H
#define BRENNA_FAULT_MONITORPROCESS_H

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "InstallTree.h"
#include "SpoolWatch.h"

class MonitorProcess {
 public:
  MonitorProcess();
  ~MonitorProcess();
  MonitorProcess(const MonitorProcess&) = delete;
  MonitorProcess& operator=(const MonitorProcess&) = delete;

  InstallTree& tree() { return m_tree; }
  ChildProcess& monitor() { return m_monitor; }
  SpoolWatch& watch() { return m_watch; }

  // Starts the program (again, after it ended) and waits until it listens;
  // the first start also begins watching the spool directory.
  bool Start(std::string* error);

  // The frames of one result, built by the station tool from a text
  // description (docs/brenna-send.md) and named `name`.
  bool Frames(const std::string& name, const std::string& description,
              std::vector<std::string>* frames, std::string* error);

  // Sends results to the running program with the station tool, one
  // transfer per result, named by `names`, over one connection. The tool's
  // exit status (0: the monitor confirmed every frame), or -1 when it did
  // not run to its end; *output gets what it printed.
  int SendResults(const std::vector<std::string>& names,
                  const std::vector<std::string>& descriptions, std::string* output);

  // A "Vm...:" figure of /proc/<pid>/status of the running program in kB
  // (VmRSS resident now, VmHWM resident at most); -1 when unknown.
  long MemoryKb(const std::string& key);
  // Sockets the program holds open (listener and connections).
  int OpenSockets();

  std::string Log() const;

 private:
  std::vector<std::string> Environment() const;

  InstallTree m_tree;
  ChildProcess m_monitor;
  SpoolWatch m_watch;
  bool m_watching = false;
};

// A result of device `device` with operator `op` and a few items: one
// frame's worth.
std::string SmallResult(int device, const std::string& op);
// A result whose compressed file needs several chunks: `items` values of
// 500 characters that do not compress.
std::string LargeResult(unsigned seed, int items);

// The frames as one byte stream.
std::string Concat(const std::vector<std::string>& frames, size_t from = 0,
                   size_t to = static_cast<size_t>(-1));

#endif  // BRENNA_FAULT_MONITORPROCESS_H
