#include "app/ScreenAwake.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "app/Resource.h"

const char DBusScreenAwake::kService[] = "org.freedesktop.ScreenSaver";
const char DBusScreenAwake::kPath[] = "/org/freedesktop/ScreenSaver";
const char DBusScreenAwake::kInterface[] = "org.freedesktop.ScreenSaver";

namespace {

// What the desktop may show in its list of programs keeping the screen on.
QString Reason() { return QString::fromUtf8("检测线检测结果实时监控"); }

void SendUnInhibit(QDBusConnection& bus, unsigned cookie) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(DBusScreenAwake::kService, DBusScreenAwake::kPath,
                                     DBusScreenAwake::kInterface, QStringLiteral("UnInhibit"));
  call << cookie;
  // Nothing to wait for: a service that is gone has dropped the request
  // with our connection anyway.
  bus.send(call);
}

}  // namespace

struct DBusScreenAwake::Request {
  State state = State::Idle;
  unsigned cookie = 0;
  // Released while the answer was on its way: give the cookie back as soon
  // as it comes.
  bool released = false;
};

DBusScreenAwake::DBusScreenAwake(const QDBusConnection& bus, int replyTimeoutMs)
    : m_bus(bus), m_timeoutMs(replyTimeoutMs) {}

DBusScreenAwake::~DBusScreenAwake() { Release(); }

void DBusScreenAwake::Hold() {
  if (m_request && (m_request->state == State::Asking || m_request->state == State::Held)) return;
  m_request = std::make_shared<Request>();
  if (!m_bus.isConnected()) {
    m_request->state = State::Unavailable;
    return;
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
  call << QString::fromLatin1(kAppName) << Reason();
  m_request->state = State::Asking;
  // The answer arrives through the event loop; the window goes on at once.
  // The watcher belongs to the application object, so one whose answer
  // never came is gone with the program.
  auto* watcher =
      new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_timeoutMs), QCoreApplication::instance());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                   [bus = m_bus, request = m_request](QDBusPendingCallWatcher* w) mutable {
                     const QDBusPendingReply<unsigned> reply = *w;
                     w->deleteLater();
                     if (reply.isError()) {
                       request->state = State::Unavailable;
                     } else if (request->released) {
                       SendUnInhibit(bus, reply.value());
                       request->state = State::Idle;
                     } else {
                       request->cookie = reply.value();
                       request->state = State::Held;
                     }
                   });
}

void DBusScreenAwake::Release() {
  if (!m_request) return;
  if (m_request->state == State::Held) {
    SendUnInhibit(m_bus, m_request->cookie);
  } else if (m_request->state == State::Asking) {
    m_request->released = true;
  }
  m_request.reset();
}

DBusScreenAwake::State DBusScreenAwake::state() const {
  return m_request ? m_request->state : State::Idle;
}

unsigned DBusScreenAwake::cookie() const {
  return m_request && m_request->state == State::Held ? m_request->cookie : 0;
}

std::unique_ptr<IScreenAwake> CreateSessionScreenAwake() {
  return std::make_unique<DBusScreenAwake>(QDBusConnection::sessionBus());
}
