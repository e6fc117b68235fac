// DBusScreenAwake - keeps the screen on (IScreenAwake, app/ScreenAwake.h)
// by asking the desktop through its standard screensaver interface
// (org.freedesktop.ScreenSaver on the session bus). Where there is no bus,
// a bus that does not answer, or no such service nothing happens: the
// monitor runs as before, without a message and without waiting.
#ifndef BRENNA_APP_DBUSSCREENAWAKE_H
#define BRENNA_APP_DBUSSCREENAWAKE_H

#include <QDBusConnection>
#include <QFutureWatcher>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "monitor/ScreenAwake.h"

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
  // Asks over the bus at `address` (a D-Bus address list), reached at the
  // first Hold on a thread of its own: probed first (DesktopBus), so a bus
  // that does not answer within kBusAnswerLimit leaves the request
  // Unavailable, and only then connected. Hold never waits for any of it.
  explicit DBusScreenAwake(const std::string& address, int replyTimeoutMs = kReplyTimeoutMs);
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

  // Sends the request over m_bus.
  void Ask();
  void StartConnecting();
  void OnConnected(bool connected);

  // The bus once there is one: given, or reached from m_address.
  std::optional<QDBusConnection> m_bus;
  std::string m_address;
  QString m_connectionName;
  int m_timeoutMs;
  // Shared with the pending answer, which may outlive a Release.
  std::shared_ptr<Request> m_request;
  // The bus being reached; gone with this object, whatever the thread does.
  std::unique_ptr<QFutureWatcher<bool>> m_connecting;
};

#endif  // BRENNA_APP_DBUSSCREENAWAKE_H
