// SignalPipe - SIGTERM and SIGINT (a service manager stopping the monitor,
// a logout, Ctrl+C in a terminal) turned into something the window's event
// loop can wait on. The handler only writes the signal's number into a pipe,
// which is all a signal handler may safely do; the program reads it there,
// stops in order (stop line, counts, journal flushed) and then ends the
// process the way the signal would have.
//
// SignalPipe.cpp is the POSIX half. SignalPipeWin.cpp is the Windows one
// (for console programs such as brenna-web.exe): Ctrl+C, Ctrl+Break, the
// console closed, log-off and shutdown (SetConsoleCtrlHandler, and a
// hidden window for the session's end, which a program that has loaded
// user32 hears of only so) stand for the signals; there is no descriptor to
// wait on, only WaitFor.
#ifndef BRENNA_PLATFORM_SIGNALPIPE_H
#define BRENNA_PLATFORM_SIGNALPIPE_H

namespace signal_pipe {

// Installs the handlers of SIGTERM and SIGINT. Returns the descriptor that
// becomes readable when one of them arrives, or -1 when no pipe could be
// made (the signals then keep their default action). On Windows 0 when the
// handlers are installed (there is no descriptor), -1 when not.
int Install();
// Whether a stop came, waiting for one at most timeoutMs.
bool WaitFor(int timeoutMs);
// The signal that arrived, read from the pipe; 0 when none is waiting.
int Take();
// Gives both signals their default action back.
void Uninstall();
// Ends the process as the signal would have ended it: its default action,
// the signal raised again, so a service manager sees the same end as
// before the handler existed.
[[noreturn]] void EndBy(int signal);
// "SIGTERM", "SIGINT", or "signal N"; on Windows "Ctrl+C", "Ctrl+Break",
// "the console's closing", "log-off" or "shutdown".
const char* Name(int signal);

}  // namespace signal_pipe

#endif  // BRENNA_PLATFORM_SIGNALPIPE_H
