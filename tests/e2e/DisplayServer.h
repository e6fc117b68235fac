// DisplayServer - a private X server (Xvfb, 1280 x 1024 x 24, no TCP
// listener) on a display number of its own choosing, without a window
// manager or a connection of our own: what VirtualDisplay builds on, and
// what the end-to-end benchmark shows the Windows monitor on (wine makes
// no window without an X server).
#ifndef BRENNA_E2E_DISPLAYSERVER_H
#define BRENNA_E2E_DISPLAYSERVER_H

#include <string>
#include <vector>

#include "ChildProcess.h"

class DisplayServer {
 public:
  DisplayServer() = default;
  ~DisplayServer() { Stop(); }
  DisplayServer(const DisplayServer&) = delete;
  DisplayServer& operator=(const DisplayServer&) = delete;

  // Starts the server (its output appended to logPath, environment
  // additions `env`) and waits until it accepts connections. False with
  // the reason in *error.
  bool Start(const std::string& logPath, const std::vector<std::string>& env, std::string* error);
  void Stop() { m_server.Stop(); }

  // ":N"; empty before Start.
  const std::string& name() const { return m_name; }
  // What a program needs in its environment to show up here.
  std::vector<std::string> ClientEnv() const;

 private:
  ChildProcess m_server;
  std::string m_name;
};

#endif  // BRENNA_E2E_DISPLAYSERVER_H
