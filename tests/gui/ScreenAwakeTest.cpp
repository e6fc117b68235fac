// Keeping the screen on: DBusScreenAwake against a bus that is not there,
// and against a private bus (its own dbus-daemon) with and without a
// stand-in screensaver service; then the monitoring window, which holds the
// screen from its start until it ends.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QTest>
#include <memory>
#include <vector>

#include "ChildProcess.h"
#include "GuiHelpers.h"
#include "SilentBus.h"
#include "TempDir.h"
#include "TestSite.h"
#include "ToolRun.h"
#include "app/BrennaCenterDlg.h"
#include "app/DBusScreenAwake.h"
#include "app/Fonts.h"
#include "monitor/Globals.h"
#include "panel/Resource.h"
#include "platform/PallixBinding.h"

namespace {

constexpr int kPatienceMs = 30000;
const char kDbusDaemon[] = "/usr/bin/dbus-daemon";

// A session bus of the test's own: no service is started on demand, so
// only what the test registers answers.
class PrivateBus {
 public:
  PrivateBus() {
    const std::string config = m_dir.file("bus.conf");
    WriteFileBytes(
        config,
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
        "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type>\n<listen>unix:dir=" +
            m_dir.path().string() +
            "</listen>\n<auth>EXTERNAL</auth>\n"
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    // Started by a plain fork: QProcess starts programs sharing our memory
    // until they exec, which ThreadSanitizer cannot follow (afterwards it
    // no longer sees this process's locks).
    ChildProcess::Options options;
    options.logPath = m_dir.file("address");
    std::string error;
    if (!m_daemon.Start({kDbusDaemon, "--config-file=" + config, "--nofork", "--nopidfile",
                         "--print-address=1"},
                        options, &error)) {
      ADD_FAILURE() << error;
      return;
    }
    const bool answered = QTest::qWaitFor(
        [&] {
          // Its messages share the file; the address is the line "unix:...".
          const std::string text = "\n" + ReadFileBytes(options.logPath);
          const size_t at = text.find("\nunix:");
          const size_t end = at == std::string::npos ? at : text.find('\n', at + 1);
          if (end != std::string::npos)
            m_address = QString::fromStdString(text.substr(at + 1, end - at - 1));
          return !m_address.isEmpty() || !m_daemon.Running();
        },
        kPatienceMs);
    if (!answered) ADD_FAILURE() << "dbus-daemon printed no address: " << m_daemon.Describe();
  }
  ~PrivateBus() {
    for (const QString& name : m_connections) QDBusConnection::disconnectFromBus(name);
    m_daemon.Stop();
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const QString& address() const { return m_address; }

  // A connection of its own (a separate client of the bus).
  QDBusConnection Connect(const QString& name) {
    m_connections << name;
    return QDBusConnection::connectToBus(m_address, name);
  }

 private:
  TempDir m_dir;
  ChildProcess m_daemon;
  QString m_address;
  QStringList m_connections;
};

// A stand-in for the desktop's screensaver service. It records each call
// and answers Inhibit as told: with a cookie, with an error, or not yet.
class FakeScreenSaver : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  enum class Mode { Grant, Refuse, Hold };
  struct Call {
    QString member;
    QVariantList args;
  };

  FakeScreenSaver(QDBusConnection bus, Mode mode) : m_bus(std::move(bus)), m_mode(mode) {
    m_ok = m_bus.registerObject(DBusScreenAwake::kPath, this, QDBusConnection::ExportAllSlots) &&
           m_bus.registerService(DBusScreenAwake::kService);
  }
  bool ok() const { return m_ok; }

  std::vector<Call> calls;
  unsigned nextCookie = 4711;

  // Answers the Inhibit call held back in Mode::Hold.
  void AnswerHeld(unsigned cookie) { m_bus.send(m_held.createReply(QVariant::fromValue(cookie))); }

  bool WaitForCalls(std::size_t n) {
    return QTest::qWaitFor([&] { return calls.size() >= n; }, kPatienceMs);
  }

 public slots:
  unsigned Inhibit(const QString& application, const QString& reason) {
    calls.push_back({"Inhibit", {application, reason}});
    if (m_mode == Mode::Refuse) {
      sendErrorReply(QDBusError::AccessDenied, "not now");
      return 0;
    }
    if (m_mode == Mode::Hold) {
      setDelayedReply(true);
      m_held = message();
      return 0;
    }
    return nextCookie++;
  }
  void UnInhibit(unsigned cookie) { calls.push_back({"UnInhibit", {cookie}}); }
  // The test's own call after the object's: calls from one connection
  // arrive in order, so once Ping is in, nothing sent before it is missing.
  void Ping() { calls.push_back({"Ping", {}}); }

 private:
  QDBusConnection m_bus;
  Mode m_mode;
  QDBusMessage m_held;
  bool m_ok = false;
};

// Sends Ping from `bus` to the fake and waits until it is in; then so is
// everything `bus` sent before it. Not "until the next call is in": a call
// sent earlier may still be on its way and be that next call.
bool Sync(QDBusConnection& bus, FakeScreenSaver& fake) {
  const std::size_t before = fake.calls.size();
  bus.send(QDBusMessage::createMethodCall(DBusScreenAwake::kService, DBusScreenAwake::kPath,
                                          DBusScreenAwake::kInterface, "Ping"));
  return QTest::qWaitFor(
      [&] {
        for (std::size_t i = before; i < fake.calls.size(); ++i)
          if (fake.calls[i].member == "Ping") return true;
        return false;
      },
      kPatienceMs);
}

std::vector<QString> Members(const FakeScreenSaver& fake) {
  std::vector<QString> out;
  for (const auto& c : fake.calls) out.push_back(c.member);
  return out;
}

bool WaitForState(const DBusScreenAwake& awake, DBusScreenAwake::State state) {
  return QTest::qWaitFor([&] { return awake.state() == state; }, kPatienceMs);
}

using State = DBusScreenAwake::State;
using Mode = FakeScreenSaver::Mode;

class ScreenAwakeOnABus : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus.address().isEmpty()) << "no private bus: is " << kDbusDaemon << " there?";
    client = bus.Connect("monitor");
    service = bus.Connect("desktop");
    ASSERT_TRUE(client.isConnected());
    ASSERT_TRUE(service.isConnected());
  }

  PrivateBus bus;
  QDBusConnection client{QString()};
  QDBusConnection service{QString()};
};

}  // namespace

TEST(ScreenAwake, WithoutABusItIsUnavailableAtOnceAndReleasesNothing) {
  TempDir dir;
  const QString address = "unix:path=" + QString::fromStdString(dir.file("no-bus"));
  {
    DBusScreenAwake awake(QDBusConnection::connectToBus(address, "nowhere"));
    awake.Hold();
    EXPECT_EQ(awake.state(), State::Unavailable) << "decided without a round trip";
    EXPECT_EQ(awake.cookie(), 0u);
    awake.Release();
    EXPECT_EQ(awake.state(), State::Idle);
  }
  QDBusConnection::disconnectFromBus("nowhere");
}

TEST_F(ScreenAwakeOnABus, WithoutTheServiceTheRequestEndsUnavailable) {
  DBusScreenAwake awake(client);
  awake.Hold();
  EXPECT_EQ(awake.state(), State::Asking) << "the window does not wait for the answer";
  ASSERT_TRUE(WaitForState(awake, State::Unavailable));
  EXPECT_EQ(awake.cookie(), 0u);
}

TEST_F(ScreenAwakeOnABus, HoldsOnceUntilReleasedAndGivesItsCookieBack) {
  FakeScreenSaver fake(service, Mode::Grant);
  ASSERT_TRUE(fake.ok());
  DBusScreenAwake awake(client);
  awake.Hold();
  ASSERT_TRUE(WaitForState(awake, State::Held));
  EXPECT_EQ(awake.cookie(), 4711u);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].member, "Inhibit");
  EXPECT_EQ(fake.calls[0].args.value(0).toString(), "BrennaCenter");
  EXPECT_FALSE(fake.calls[0].args.value(1).toString().isEmpty()) << "a reason for the desktop";

  awake.Hold();  // already held: no second request
  EXPECT_EQ(awake.state(), State::Held);
  awake.Release();
  EXPECT_EQ(awake.state(), State::Idle);
  awake.Release();  // nothing left to give back
  ASSERT_TRUE(Sync(client, fake));
  ASSERT_EQ(Members(fake), (std::vector<QString>{"Inhibit", "UnInhibit", "Ping"}));
  EXPECT_EQ(fake.calls[1].args.value(0).toUInt(), 4711u);

  // Held again after a release: a new request and a new cookie.
  awake.Hold();
  ASSERT_TRUE(WaitForState(awake, State::Held));
  EXPECT_EQ(awake.cookie(), 4712u);
}

TEST_F(ScreenAwakeOnABus, GoingAwayGivesTheCookieBack) {
  FakeScreenSaver fake(service, Mode::Grant);
  ASSERT_TRUE(fake.ok());
  {
    DBusScreenAwake awake(client);
    awake.Hold();
    ASSERT_TRUE(WaitForState(awake, State::Held));
  }
  ASSERT_TRUE(fake.WaitForCalls(2));
  EXPECT_EQ(fake.calls[1].member, "UnInhibit");
  EXPECT_EQ(fake.calls[1].args.value(0).toUInt(), 4711u);
}

TEST_F(ScreenAwakeOnABus, ACookieThatArrivesAfterTheReleaseIsGivenBackAtOnce) {
  FakeScreenSaver fake(service, Mode::Hold);
  ASSERT_TRUE(fake.ok());
  auto awake = std::make_unique<DBusScreenAwake>(client);
  awake->Hold();
  ASSERT_TRUE(fake.WaitForCalls(1));
  awake->Release();
  EXPECT_EQ(awake->state(), State::Idle);
  awake.reset();  // the window may be gone before the desktop answers
  fake.AnswerHeld(99);
  ASSERT_TRUE(fake.WaitForCalls(2));
  EXPECT_EQ(fake.calls[1].member, "UnInhibit");
  EXPECT_EQ(fake.calls[1].args.value(0).toUInt(), 99u);
}

TEST_F(ScreenAwakeOnABus, AServiceThatNeverAnswersIsGivenUpOn) {
  FakeScreenSaver fake(service, Mode::Hold);
  ASSERT_TRUE(fake.ok());
  DBusScreenAwake awake(client, /*replyTimeoutMs=*/200);
  awake.Hold();
  ASSERT_TRUE(WaitForState(awake, State::Unavailable));
  awake.Release();
  ASSERT_TRUE(Sync(client, fake));
  EXPECT_EQ(Members(fake), (std::vector<QString>{"Inhibit", "Ping"})) << "nothing to give back";
}

TEST_F(ScreenAwakeOnABus, ARefusalLeavesItUnavailableWithNothingToGiveBack) {
  FakeScreenSaver fake(service, Mode::Refuse);
  ASSERT_TRUE(fake.ok());
  DBusScreenAwake awake(client);
  awake.Hold();
  ASSERT_TRUE(WaitForState(awake, State::Unavailable));
  EXPECT_EQ(awake.cookie(), 0u);
  awake.Release();
  ASSERT_TRUE(Sync(client, fake));
  EXPECT_EQ(Members(fake), (std::vector<QString>{"Inhibit", "Ping"}));
}

TEST_F(ScreenAwakeOnABus, AnAddressListIsHeldOverTheEntryThatAnswers) {
  FakeScreenSaver fake(service, Mode::Grant);
  ASSERT_TRUE(fake.ok());
  TempDir dir;
  SilentBus silent(dir.file("silent-bus"));
  ASSERT_FALSE(silent.address().empty());
  // libdbus would take the silent entry, the first it can connect to, and
  // wait on it.
  DBusScreenAwake awake(silent.address() + ";" + bus.address().toStdString());
  awake.Hold();
  EXPECT_EQ(awake.state(), State::Asking) << "the caller does not wait for the bus";
  ASSERT_TRUE(WaitForState(awake, State::Held));
  EXPECT_EQ(awake.cookie(), 4711u);
}

// The window asks the user's session bus; here that is the private one.
TEST_F(ScreenAwakeOnABus, TheWindowHoldsTheScreenFromItsStartUntilItEnds) {
  FakeScreenSaver fake(service, Mode::Grant);
  ASSERT_TRUE(fake.ok());
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
  InstallFontSubstitutions();
  TestSite site;
  g_pMainDlg = nullptr;

  struct Dlg : WithScenario<Dlg, CBrennaCenterDlg> {};
  Dlg dlg;
  MessageBoxSeen quit;
  bool heldWhileRunning = false;
  const int result = dlg.RunScenario([&](Dlg& d) {
    heldWhileRunning = fake.WaitForCalls(1) && fake.calls[0].member == "Inhibit";
    EXPECT_EQ(fake.calls.size(), 1u) << "nothing given back while the window runs";
    AnswerNextMessageBox(&quit, QString::fromUtf8("是"));
    QTest::mouseClick(d.GetDlgItem(IDC_BTN_QUIT), Qt::LeftButton);
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(quit.shown);
  EXPECT_TRUE(heldWhileRunning);
  ASSERT_TRUE(fake.WaitForCalls(2)) << "the screen was not given back when the window ended";
  EXPECT_EQ(fake.calls[1].member, "UnInhibit");
  EXPECT_EQ(fake.calls[1].args.value(0).toUInt(), 4711u);

  g_taskMgr.StopTask();
  g_taskMgr.ClearTaskQueue();
  UnloadPallix();
  g_pMainDlg = nullptr;
}

// A session bus that takes the connection and never answers: the window
// comes up, receives and shows a result, and quits, while the request for
// the screen is still out; then it is given up on.
TEST(ScreenAwake, TheWindowComesUpAndReceivesWhileTheBusNeverAnswers) {
  TempDir dir;
  SilentBus silent(dir.file("silent-bus"));
  ASSERT_FALSE(silent.address().empty());
  const QByteArray before = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(silent.address()));
  InstallFontSubstitutions();
  TestSite site;
  const int port = site.Port();
  g_pMainDlg = nullptr;

  // The window's own screen keeper, watched.
  struct Dlg : WithScenario<Dlg, CBrennaCenterDlg> {
    DBusScreenAwake* awake = nullptr;
    std::unique_ptr<IScreenAwake> CreateScreenAwake() override {
      std::unique_ptr<IScreenAwake> made = CBrennaCenterDlg::CreateScreenAwake();
      awake = dynamic_cast<DBusScreenAwake*>(made.get());
      return made;
    }
  };
  Dlg dlg;
  MessageBoxSeen quit;
  const int result = dlg.RunScenario([&](Dlg& d) {
    // The first thing the window does once up: the bus has not answered.
    ASSERT_NE(d.awake, nullptr);
    EXPECT_EQ(d.awake->state(), State::Asking);
    EXPECT_TRUE(BoxesBeside().empty()) << "the port opened";
    const std::string file = site.base() + "/station.txt";
    WriteFileBytes(file, "7700 0 25\n7701 0 0815\n5071 1 1234\n");
    std::string output;
    EXPECT_EQ(RunWhileTheWindowRuns({BRENNA_SEND, "-t", "127.0.0.1:" + std::to_string(port), file},
                                    kPatienceMs, &output),
              0)
        << output;
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.ShownFiles() == 1; }, kPatienceMs));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return d.awake->state() == State::Unavailable; }, kPatienceMs));
    AnswerNextMessageBox(&quit, QString::fromUtf8("是"));
    QTest::mouseClick(d.GetDlgItem(IDC_BTN_QUIT), Qt::LeftButton);
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(quit.shown);

  g_taskMgr.StopTask();
  g_taskMgr.ClearTaskQueue();
  UnloadPallix();
  g_pMainDlg = nullptr;
  qputenv("DBUS_SESSION_BUS_ADDRESS", before);
}

#include "ScreenAwakeTest.moc"
