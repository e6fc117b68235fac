// DesktopBus - whether the desktop's message buses (D-Bus) answer at all,
// found out within a bounded time before anything waits on them.
//
// Qt and libdbus connect to the session bus without a deadline of their own
// worth the name: a bus that accepts the connection but never answers holds
// the connecting thread for half a minute or more per attempt, and Qt's
// accessibility bridge makes its attempts on the main thread while the
// application object is being built. A bounded probe (the opening of the
// D-Bus authentication handshake) tells a live bus from a silent one first.
#ifndef BRENNA_PLATFORM_DESKTOPBUS_H
#define BRENNA_PLATFORM_DESKTOPBUS_H

#include <chrono>
#include <memory>
#include <string>

// How long a bus may take to answer the probe. A live bus answers within
// milliseconds; the window waits for this at most once, and only when a bus
// is silent.
inline constexpr std::chrono::milliseconds kBusAnswerLimit{2000};

// An address that fails at once, so that libdbus neither waits nor starts
// ("autolaunches") a bus of its own.
inline constexpr char kNoBusAddress[] = "disabled:";

// The session bus address libdbus would use: DBUS_SESSION_BUS_ADDRESS when
// set and not empty, else $XDG_RUNTIME_DIR/bus when that is a socket of this
// user, else empty (where libdbus would autolaunch a bus).
std::string SessionBusAddress();

// Asks the servers of a D-Bus address list (entries separated by ';', as in
// DBUS_SESSION_BUS_ADDRESS) all at once, on a thread of its own, for the
// opening of the authentication handshake. Unix sockets (path=, abstract=,
// runtime=yes) and TCP to a numeric address or localhost (host=, port=) are
// asked; other transports count as silent.
class BusProbe {
 public:
  BusProbe(const std::string& addresses, std::chrono::milliseconds limit = kBusAnswerLimit);
  ~BusProbe();
  BusProbe(const BusProbe&) = delete;
  BusProbe& operator=(const BusProbe&) = delete;

  // The entry whose server answered first, exactly as written in the
  // list; empty when none did within the limit. Waits until then at most.
  std::string Answering();

 private:
  struct Shared;
  std::shared_ptr<Shared> m_shared;
  std::chrono::steady_clock::time_point m_deadline;
};

// Before Qt starts: points DBUS_SESSION_BUS_ADDRESS at the session bus
// entry that answers, or at kNoBusAddress when none does (or none is
// known), and drops AT_SPI_BUS_ADDRESS (the accessibility bus) when it does
// not answer. True when a session bus answered. Waits kBusAnswerLimit at
// most. Must run while the process has no other thread that reads the
// environment.
bool SettleDesktopBuses();

#endif  // BRENNA_PLATFORM_DESKTOPBUS_H
