// Windows implementation of SignalPipe.h for a console program. The
// console's control handler runs on a thread of its own, so it only notes
// the event and sets the stop event; the program stops in order on its
// thread. For the console's closing, log-off and shutdown Windows ends the
// process once the handler returns, so the handler returns only after the
// program has had its time to stop (it ends the process itself, or Windows
// does at its own limit).
//
// A program that has loaded user32 (directly or through another DLL) is
// no longer told of log-off and shutdown by the console: it hears of them
// as WM_ENDSESSION to a top-level window. A hidden window on a thread of
// its own takes that message.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/SignalPipe.h"

namespace signal_pipe {

namespace {

// The numbers Take hands out: 100 + the console's control event.
constexpr int kBase = 100;

HANDLE g_stop = nullptr;  // manual reset: set once a stop came
std::atomic<int> g_first{0};
std::atomic<bool> g_installed{false};

// The time a stop may take before the handler lets Windows end the process.
constexpr DWORD kStopTimeMs = 10000;

void Note(DWORD event) {
  int none = 0;
  g_first.compare_exchange_strong(none, kBase + static_cast<int>(event));
  if (g_stop != nullptr) SetEvent(g_stop);
}

BOOL WINAPI OnControl(DWORD event) {
  Note(event);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    Sleep(kStopTimeMs);
  return TRUE;
}

LRESULT CALLBACK SessionWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) return TRUE;
  if (message == WM_ENDSESSION) {
    if (wParam) {
      Note((lParam & ENDSESSION_LOGOFF) ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT);
      // The process may be ended as soon as this returns.
      Sleep(kStopTimeMs);
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void WatchSession() {
  WNDCLASSA kind{};
  kind.lpfnWndProc = &SessionWindow;
  kind.hInstance = GetModuleHandleA(nullptr);
  kind.lpszClassName = "BrennaSessionEnd";
  if (RegisterClassA(&kind) == 0) return;
  // A top-level window (a message-only one is not told), never shown.
  HWND window = CreateWindowExA(0, kind.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                nullptr, kind.hInstance, nullptr);
  if (window == nullptr) return;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

}  // namespace

int Install() {
  if (g_installed.load()) return 0;
  if (g_stop == nullptr) g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_stop == nullptr || !SetConsoleCtrlHandler(&OnControl, TRUE)) return -1;
  g_installed = true;
  std::thread(WatchSession).detach();
  return 0;
}

bool WaitFor(int timeoutMs) {
  if (g_stop == nullptr) return false;
  return WaitForSingleObject(g_stop, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

int Take() { return g_first.load(); }

void Uninstall() {
  if (g_installed.exchange(false)) SetConsoleCtrlHandler(&OnControl, FALSE);
}

void EndBy(int) {
  // What Windows' own handler ends a console program with.
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

const char* Name(int signal) {
  switch (signal - kBase) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console's closing";
    case CTRL_LOGOFF_EVENT:
      return "log-off";
    case CTRL_SHUTDOWN_EVENT:
      return "shutdown";
    default: {
      static char text[24];
      std::snprintf(text, sizeof text, "signal %d", signal);
      return text;
    }
  }
}

}  // namespace signal_pipe
