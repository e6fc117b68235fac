#include "app/MonitorJournal.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <array>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalLine.h"
#include "journal/JournalWriter.h"
#include "journal/PallixReports.h"
#include "journal/RunLines.h"
#include "platform/FileOps.h"
#include "platform/JournalIo.h"

#ifndef BRENNA_VERSION
#define BRENNA_VERSION "unknown"
#endif

// Detail (debug) is off unless QT_LOGGING_RULES turns it on.
Q_LOGGING_CATEGORY(lcStart, "brenna.start", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNet, "brenna.net", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSpool, "brenna.spool", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDisplay, "brenna.display", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "brenna.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcJournal, "brenna.journal", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShip, "brenna.ship", QtInfoMsg)

namespace {

using journal::Category;
using journal::Level;

using CategoryFunction = const QLoggingCategory& (*)();
// In the order of journal::Category.
constexpr std::array<CategoryFunction, journal::kCategoryCount> kCategories = {
    &lcStart, &lcNet, &lcSpool, &lcDisplay, &lcSettings, &lcJournal, &lcShip};

Level LevelOf(QtMsgType type) {
  switch (type) {
    case QtDebugMsg:
      return Level::kDebug;
    case QtInfoMsg:
      return Level::kInfo;
    case QtWarningMsg:
      return Level::kWarning;
    default:
      return Level::kError;
  }
}

// Every message of the process, on whatever thread it is made.
void WriteMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const QByteArray text = message.toUtf8();
  const char* category = context.category != nullptr ? context.category : "default";
  journal::JournalWriter& writer = journal::ProcessJournalWriter();
  writer.Submit(LevelOf(type),
                journal::FormatLine(std::chrono::system_clock::now(), LevelOf(type), category,
                                    std::string_view(text.constData(), text.size())),
                journal::kStampLength);
  // Qt ends the process after a fatal message: it must be out first.
  if (type == QtFatalMsg) writer.Drain();
}

// The core's lines, into their categories: Qt decides from there. Qt
// takes UTF-8 only: a byte that is not is carried through as a character
// (journal/JournalLine.h), so the line still shows it as \xNN.
void RouteToCategory(Level level, Category category, const char* text) {
  const QLoggingCategory& c = kCategories[static_cast<std::size_t>(category)]();
  const QMessageLogger logger;
  const std::string carried = journal::CarryStrayBytes(text);
  switch (level) {
    case Level::kDebug:
      logger.debug(c, "%s", carried.c_str());
      break;
    case Level::kInfo:
      logger.info(c, "%s", carried.c_str());
      break;
    case Level::kWarning:
      logger.warning(c, "%s", carried.c_str());
      break;
    default:
      logger.critical(c, "%s", carried.c_str());
      break;
  }
}

Level ThresholdOf(const QLoggingCategory& c) {
  if (c.isDebugEnabled()) return Level::kDebug;
  if (c.isInfoEnabled()) return Level::kInfo;
  if (c.isWarningEnabled()) return Level::kWarning;
  if (c.isCriticalEnabled()) return Level::kError;
  return Level::kOff;
}

}  // namespace

std::string DefaultJournalDirectory() {
  const std::string state = journal_io::UserStateDirectory();
  return state.empty() ? std::string() : JoinPath(state, "brennacenter");
}

MonitorJournal::MonitorJournal() : MonitorJournal(Options()) {}

MonitorJournal::MonitorJournal(const Options& options) {
  journal::JournalWriter::Options writer;
  writer.directory = options.directory.empty() ? DefaultJournalDirectory() : options.directory;
  writer.limits = options.limits;
  writer.toStderr = options.toStderr;
  journal::ProcessJournalWriter().Start(writer);
  m_previousHandler = qInstallMessageHandler(&WriteMessage);
  journal::Reset();
  journal::SetRouter(&RouteToCategory);
  RefreshThresholds();

  const std::string file = FilePath();
  journal::WriteStartLines(BRENNA_VERSION);
  const std::string ignored = journal_io::IgnoredStateHome();
  if (options.directory.empty() && !ignored.empty()) {
    BRENNA_LOG(kWarning, kJournal,
               "XDG_STATE_HOME is \"%s\", not an absolute path: ignored (as the XDG rules say); "
               "the journal is in %s",
               ignored.c_str(), file.empty() ? "no file, only on stderr" : file.c_str());
  }

  m_flushTimer.setInterval(options.flushPeriod);
  QObject::connect(&m_flushTimer, &QTimer::timeout, [this] {
    RefreshThresholds();
    journal::Flush();
  });
  m_flushTimer.start();
  m_summaryTimer.setInterval(options.summaryPeriod);
  QObject::connect(&m_summaryTimer, &QTimer::timeout, [] { journal::WriteSummary(); });
  m_summaryTimer.start();
  // Looked at ten times a period, so silence never lasts much longer.
  const std::chrono::milliseconds period = options.heartbeatPeriod;
  m_heartbeatTimer.setInterval(std::max(period / 10, std::chrono::milliseconds(1)));
  QObject::connect(&m_heartbeatTimer, &QTimer::timeout,
                   [period] { journal::WriteHeartbeatWhenSilent(period); });
  m_heartbeatTimer.start();
}

MonitorJournal::~MonitorJournal() {
  WriteStop(std::string());
  journal::DisconnectPallixReports();
  journal::SetRouter(nullptr);
  for (int c = 0; c < journal::kCategoryCount; ++c) {
    journal::SetThreshold(static_cast<Category>(c), Level::kWarning);
  }
  qInstallMessageHandler(m_previousHandler);
  journal::ProcessJournalWriter().Stop();
}

std::string MonitorJournal::FilePath() const { return journal::ProcessJournalWriter().FilePath(); }

void MonitorJournal::WriteStop(const std::string& how) {
  if (m_stopWritten) return;
  m_stopWritten = true;
  m_flushTimer.stop();
  m_summaryTimer.stop();
  m_heartbeatTimer.stop();
  JournalProcessEnding(how.c_str());
}

void JournalProcessEnding(const char* how) { journal::WriteProcessEnding(how); }

void MonitorJournal::RefreshThresholds() {
  bool libraryLevelChanged = false;
  for (int c = 0; c < journal::kCategoryCount; ++c) {
    const Category category = static_cast<Category>(c);
    const Level level = ThresholdOf(kCategories[static_cast<std::size_t>(c)]());
    if (level == journal::Threshold(category)) continue;
    journal::SetThreshold(category, level);
    if (category == Category::kStart || category == Category::kNet ||
        category == Category::kSpool) {
      libraryLevelChanged = true;
    }
  }
  if (libraryLevelChanged || !m_libraryConnected) {
    journal::ConnectPallixReports();
    m_libraryConnected = true;
  }
}

void JournalDesktopBuses(bool sessionKnown, bool sessionAnswered, bool accessibilityDropped) {
  if (!sessionKnown) {
    BRENNA_LOG(kInfo, kStart,
               "no desktop session bus is known: the screen is not kept awake by the monitor");
  } else if (!sessionAnswered) {
    BRENNA_LOG(kWarning, kStart,
               "the desktop session bus did not answer within 2 s: not used this run, so the "
               "screen is not kept awake by the monitor (is dbus-daemon hung?)");
  }
  if (accessibilityDropped) {
    BRENNA_LOG(kWarning, kStart,
               "the accessibility bus (AT_SPI_BUS_ADDRESS) did not answer within 2 s: the window "
               "runs without accessibility");
  }
}
