// ShipRows - a batch of the archive's results as the company database
// takes them: one column of each table as one PostgreSQL array literal
// ("{...}", text parameters of an INSERT ... SELECT FROM unnest(...)), so
// a batch of any size is two statements. What the window showed is worked
// out here from the panel model (reports/ShownValues: each shown value's
// display, its name, the verdict its colour said, its text as drawn), so
// readers of the company database need none of our programs. Station
// texts become UTF-8, their bytes that are not GBK and control characters
// U+FFFD (as on brenna-web's pages).
#ifndef BRENNA_SHIP_SHIPROWS_H
#define BRENNA_SHIP_SHIPROWS_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "reports/ResultBatches.h"

namespace ship {

// One array literal, built element by element.
class ArrayLiteral {
 public:
  void Text(const std::string& utf8);
  void Int(std::int64_t value);
  void Null();
  // `value`, or NULL when it is not `present`.
  void IntOrNull(bool present, std::int64_t value);
  std::string Literal() const { return "{" + elements_ + "}"; }

 private:
  void Next();
  std::string elements_;
  bool empty_ = true;
};

// Per result, in the order of the INSERT's unnest.
struct ResultColumns {
  ArrayLiteral id, localDay, shownMs, shownLocal, utcOffset, deviceCode, itemCount, titleCount,
      verdict, vetoes, advisories, transfer, stations, group, operatorText;
};
// Per value the window showed.
struct ValueColumns {
  ArrayLiteral resultId, localDay, position, code, judge, displayId, verdict, shown, sent, name;
};

struct ShipBatch {
  std::int64_t firstId = 0;
  std::int64_t lastId = 0;
  std::int64_t lastShownUtcMs = 0;
  int results = 0;
  int values = 0;
  std::set<std::string> months;  // "YYYY-MM-01" of each local month it touches
  ResultColumns result;
  ValueColumns value;
};

ShipBatch MakeShipBatch(const std::vector<reports::ResultWithItems>& results);

// The monitor's runs, for brenna.run.
struct RunColumns {
  ArrayLiteral id, startedMs, heartbeatMs, stoppedMs, stopHow, version;
};
RunColumns MakeRunColumns(const std::vector<archive::RunRow>& runs);

}  // namespace ship

#endif  // BRENNA_SHIP_SHIPROWS_H
