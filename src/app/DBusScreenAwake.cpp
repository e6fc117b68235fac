#include "app/DBusScreenAwake.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPromise>
#include <atomic>
#include <thread>
#include <utility>

#include "panel/Resource.h"
#include "platform/DesktopBus.h"

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

DBusScreenAwake::DBusScreenAwake(const std::string& address, int replyTimeoutMs)
    : m_address(address), m_timeoutMs(replyTimeoutMs) {}

DBusScreenAwake::~DBusScreenAwake() { Release(); }

void DBusScreenAwake::Hold() {
  if (m_request && (m_request->state == State::Asking || m_request->state == State::Held)) return;
  m_request = std::make_shared<Request>();
  if (m_bus) {
    Ask();
  } else if (m_address.empty()) {
    m_request->state = State::Unavailable;  // no session bus at all
  } else {
    // The request goes out once the bus is reached.
    m_request->state = State::Asking;
    if (!m_connecting) StartConnecting();
  }
}

void DBusScreenAwake::StartConnecting() {
  static std::atomic<int> serial{0};
  m_connectionName = QStringLiteral("brenna_screen_awake_%1").arg(++serial);
  QPromise<bool> promise;
  m_connecting = std::make_unique<QFutureWatcher<bool>>();
  QObject::connect(m_connecting.get(), &QFutureWatcher<bool>::finished, [this] {
    const QFuture<bool> done = m_connecting->future();
    OnConnected(done.resultCount() > 0 && done.result());
  });
  m_connecting->setFuture(promise.future());
  // Probing and connecting may each take long on a bad bus; neither may hold
  // the window. The thread is left to itself: a promise it never keeps is
  // simply never read, and one dropped unkept reads as not connected.
  auto reach = [promise = std::move(promise), address = m_address,
                name = m_connectionName]() mutable {
    promise.start();
    const std::string answering = BusProbe(address).Answering();
    const bool connected =
        !answering.empty() &&
        QDBusConnection::connectToBus(QString::fromStdString(answering), name).isConnected();
    promise.addResult(connected);
    promise.finish();
  };
  try {
    std::thread(std::move(reach)).detach();
  } catch (...) {
    // No thread: the promise went unkept with the function.
  }
}

void DBusScreenAwake::OnConnected(bool connected) {
  m_connecting.release()->deleteLater();  // its signal is still being delivered
  if (connected) m_bus = QDBusConnection(m_connectionName);
  // Released meanwhile: nothing was asked, nothing to give back.
  if (!m_request || m_request->state != State::Asking) return;
  if (!connected) {
    // A later Hold tries again: the bus may have come up by then.
    m_request->state = State::Unavailable;
    return;
  }
  Ask();
}

void DBusScreenAwake::Ask() {
  if (!m_bus->isConnected()) {
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
  auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, m_timeoutMs),
                                              QCoreApplication::instance());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                   [bus = *m_bus, request = m_request](QDBusPendingCallWatcher* w) mutable {
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
    SendUnInhibit(*m_bus, m_request->cookie);
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
  // Not QDBusConnection::sessionBus(): it connects on the calling thread,
  // and waits as long as a silent bus lets it.
  return std::make_unique<DBusScreenAwake>(SessionBusAddress());
}
