#include "ship/ShipRows.h"

#include "archive/ArchiveTime.h"
#include "panel/ResultRouting.h"
#include "reports/ArchiveText.h"
#include "reports/ShownValues.h"

namespace ship {

void ArrayLiteral::Next() {
  if (!empty_) elements_ += ',';
  empty_ = false;
}

void ArrayLiteral::Text(const std::string& utf8) {
  Next();
  elements_ += '"';
  for (char c : utf8) {
    if (c == '"' || c == '\\') elements_ += '\\';
    elements_ += c;
  }
  elements_ += '"';
}

void ArrayLiteral::Int(std::int64_t value) {
  Next();
  elements_ += std::to_string(value);
}

void ArrayLiteral::IntOrNull(bool present, std::int64_t value) {
  if (present) {
    Int(value);
  } else {
    Null();
  }
}

void ArrayLiteral::Null() {
  Next();
  elements_ += "NULL";
}

namespace {

// The result's verdict as the window showed it: the most severe of its
// values' (veto, advisory, passed, not judged); 0 when none showed one.
int MostSevere(const std::vector<reports::ShownValue>& values) {
  for (Verdict v : kVerdictSeverity)
    for (const reports::ShownValue& shown : values)
      if (shown.verdict != nullptr && shown.verdict->verdict == v) return shown.verdict->judgeCode;
  return 0;
}

void AddValues(const archive::ResultRow& row, const std::string& day,
               const std::vector<reports::ShownValue>& values, ShipBatch* b) {
  ValueColumns& c = b->value;
  for (const reports::ShownValue& v : values) {
    c.resultId.Int(row.id);
    c.localDay.Text(day);
    c.position.Int(v.position);
    c.code.Int(v.code);
    c.judge.Int(v.judge);
    c.displayId.Int(v.displayId);
    c.verdict.IntOrNull(v.verdict != nullptr, v.verdict != nullptr ? v.verdict->judgeCode : 0);
    c.shown.Text(reports::StationText(FormatValue(FindRoute(v.code)->format, v.value)));
    c.sent.Text(reports::StationText(v.value));
    c.name.Text(v.name);
    ++b->values;
  }
}

void AddResult(const reports::ResultWithItems& r, ShipBatch* b) {
  archive::ResultRow row = r.row;
  // The monitor writes its local time whole; a file changed by another
  // hand gets it anew from the UTC time, so one bad row cannot hold up
  // every batch after it.
  std::int64_t parsed = 0;
  if (!archive::IsDay(row.shownLocal.substr(0, 10)) ||
      !archive::ParseLocalTime(row.shownLocal, &parsed))
    row.shownLocal = archive::ToLocal(row.shownUtcMs).text;
  const std::string day = row.shownLocal.substr(0, 10);
  const std::vector<reports::ShownValue> values = reports::ShownValues(r.items);
  int vetoes = 0, advisories = 0;
  for (const reports::ShownValue& v : values) {
    if (v.verdict == nullptr) continue;
    vetoes += v.verdict->verdict == Verdict::kVeto;
    advisories += v.verdict->verdict == Verdict::kAdvisory;
  }
  ResultColumns& c = b->result;
  c.id.Int(row.id);
  c.localDay.Text(day);
  c.shownMs.Int(row.shownUtcMs);
  c.shownLocal.Text(row.shownLocal);
  c.utcOffset.Int(row.utcOffsetSeconds);
  c.deviceCode.Int(row.deviceCode);
  c.itemCount.Int(row.itemCount);
  c.titleCount.IntOrNull(row.titleCount >= 0, row.titleCount);
  const int verdict = MostSevere(values);
  c.verdict.IntOrNull(verdict != 0, verdict);
  c.vetoes.Int(vetoes);
  c.advisories.Int(advisories);
  c.transfer.Text(reports::StationText(row.transfer));
  c.stations.Text(reports::CleanUtf8(row.stations));
  c.group.Text(reports::CleanUtf8(row.deviceGroup));
  c.operatorText.Text(reports::StationText(row.operatorText));
  AddValues(row, day, values, b);
  b->months.insert(day.substr(0, 8) + "01");
  if (b->results++ == 0) b->firstId = row.id;
  b->lastId = row.id;
  b->lastShownUtcMs = row.shownUtcMs;
}

}  // namespace

ShipBatch MakeShipBatch(const std::vector<reports::ResultWithItems>& results) {
  ShipBatch b;
  for (const reports::ResultWithItems& r : results) AddResult(r, &b);
  return b;
}

RunColumns MakeRunColumns(const std::vector<archive::RunRow>& runs) {
  RunColumns c;
  for (const archive::RunRow& r : runs) {
    c.id.Int(r.id);
    c.startedMs.Int(r.startedUtcMs);
    c.heartbeatMs.Int(r.heartbeatUtcMs);
    c.stoppedMs.IntOrNull(r.stopped, r.heartbeatUtcMs);
    if (r.stopped) {
      c.stopHow.Text(reports::CleanUtf8(r.stopHow));
    } else {
      c.stopHow.Null();
    }
    c.version.Text(reports::CleanUtf8(r.version));
  }
  return c;
}

}  // namespace ship
