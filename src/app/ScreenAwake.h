// ScreenAwake - keeps the screen on while the monitoring window runs: the
// inspection hall glances at it all day, and a blanked screen shows nothing.
//
// IScreenAwake is what the window asks for; DBusScreenAwake asks the
// desktop through its standard screensaver interface
// (org.freedesktop.ScreenSaver on the session bus). Where there is no bus or
// no such service nothing happens: the monitor runs as before, without a
// message and without waiting.
#ifndef BRENNA_APP_SCREENAWAKE_H
#define BRENNA_APP_SCREENAWAKE_H

#include <QDBusConnection>
#include <QString>
#include <memory>

class IScreenAwake {
 public:
  virtual ~IScreenAwake() = default;
  // Asks for the screen to stay on. Returns at once; a second call while
  // held changes nothing.
  virtual void Hold() = 0;
  // Lets the screensaver run again; nothing happens when nothing is held.
  virtual void Release() = 0;
};

class DBusScreenAwake final : public IScreenAwake {
 public:
  // How long the desktop may take to answer; the window never waits for it.
  static constexpr int kReplyTimeoutMs = 5000;

  enum class State {
    Idle,         // nothing asked, or released
    Asking,       // the request is on its way
    Held,         // the desktop granted it (cookie() is its ticket)
    Unavailable,  // no bus, no service, an error, or no answer in time
  };

  // Asks over `bus`; the answer is given up on after replyTimeoutMs.
  explicit DBusScreenAwake(const QDBusConnection& bus, int replyTimeoutMs = kReplyTimeoutMs);
  // Releases what is held; an answer still on its way is released when it
  // arrives.
  ~DBusScreenAwake() override;
  DBusScreenAwake(const DBusScreenAwake&) = delete;
  DBusScreenAwake& operator=(const DBusScreenAwake&) = delete;

  void Hold() override;
  void Release() override;

  State state() const;
  unsigned cookie() const;

  static const char kService[];
  static const char kPath[];
  static const char kInterface[];

 private:
  struct Request;

  QDBusConnection m_bus;
  int m_timeoutMs;
  // Shared with the pending answer, which may outlive a Release.
  std::shared_ptr<Request> m_request;
};

// The window's default: the desktop's service on the user's session bus.
std::unique_ptr<IScreenAwake> CreateSessionScreenAwake();

#endif  // BRENNA_APP_SCREENAWAKE_H
