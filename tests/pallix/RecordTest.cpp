// Result records: the writer and the reader against each other, against a
// record laid out by hand from the documented layout, and against every
// kind of damage a record can carry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Pallix.h"
#include "PallixByteOrder.h"
#include "RecordFormat.h"
#include "RecordReader.h"
#include "RecordWriter.h"

using namespace pallix::record;

namespace {

// GBK texts: 数据监控, 合格, 苏A12345.
const std::string kMonitor = "\xca\xfd\xbe\xdd\xbc\xe0\xbf\xd8";
const std::string kPassed = "\xba\xcf\xb8\xf1";
const std::string kPlate =
    "\xcb\xd5"
    "A12345";

struct Item {
  int code;
  int judge;
  std::string value;
};

// Lays a record out byte by byte as docs/record-format.md describes it,
// without the library's writer.
std::vector<unsigned char> HandMade(const std::vector<Item>& items) {
  std::vector<unsigned char> r(kHeadSize + items.size() * kEntrySize);
  const unsigned char head[21] = {0x55, 0xAA, 1, 1, 1, 0, 0, 0, 0, 0, 0,
                                  0,    0,    0, 1, 0, 0, 0, 0, 0, 0};
  std::memcpy(r.data(), head, sizeof head);
  PallixPutU16(r.data() + 12, static_cast<uint16_t>(items.size()));
  uint32_t offset = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    unsigned char* e = r.data() + 21 + 14 * i;
    PallixPutU32(e, static_cast<uint32_t>(items[i].code));
    PallixPutU32(e + 4, static_cast<uint32_t>(items[i].judge));
    PallixPutU32(e + 8, offset);
    PallixPutU16(e + 12, static_cast<uint16_t>(items[i].value.size()));
    offset += static_cast<uint32_t>(items[i].value.size());
  }
  for (const Item& it : items) r.insert(r.end(), it.value.begin(), it.value.end());
  unsigned char mark[4];
  PallixPutU32(mark, 0x55AA55AAu);
  r.insert(r.end(), mark, mark + 4);
  return r;
}

// What the monitor does: a zeroed 150,000-byte buffer with the file's
// bytes at its start.
std::vector<unsigned char> InBuffer(const std::vector<unsigned char>& bytes) {
  std::vector<unsigned char> buf(kRecordMax, 0);
  std::memcpy(buf.data(), bytes.data(), std::min(bytes.size(), buf.size()));
  return buf;
}

int HeadCount(const StdHead& h) { return PallixGetU16(h.bytes + 12); }

int ParsedCount(const std::vector<unsigned char>& buf, int* rc = nullptr) {
  StdHead head;
  PallixStdHeadPreset(&head);
  int r = ParseHead(buf.data(), &head);
  if (rc != nullptr) *rc = r;
  return HeadCount(head);
}

const std::vector<Item> kSample = {{7700, 0, "25"},   {7701, 0, "0815"},
                                   {5071, 1, "1234"}, {5139, 2, kPassed},
                                   {5000, 3, ""},     {5139, 4, kMonitor + kPlate}};

}  // namespace

TEST(RecordFormat, PresetHeaderMatchesTheFormatConstants) {
  StdHead head;
  std::memset(head.bytes, 0xEE, sizeof head.bytes);
  PallixStdHeadPreset(&head);
  EXPECT_EQ(0, std::memcmp(head.bytes, kHeadPreset, kHeadSize));
  EXPECT_EQ(0, HeadCount(head));
}

TEST(RecordWriter, RoundTripWithGbkValuesThroughEveryReader) {
  std::vector<unsigned char> rec(kRecordMax);
  int size = StartRecord(rec.data(), nullptr);
  ASSERT_EQ(static_cast<int>(kEmptyRecordSize), size);
  for (const Item& it : kSample) {
    int next =
        AppendItem(rec.data(), static_cast<int>(rec.size()), it.code, it.value.c_str(), it.judge);
    ASSERT_EQ(size + static_cast<int>(kEntrySize + it.value.size()), next);
    size = next;
  }
  // The writer produces byte for byte the documented layout.
  std::vector<unsigned char> expected = HandMade(kSample);
  ASSERT_EQ(expected.size(), static_cast<size_t>(size));
  EXPECT_EQ(0, std::memcmp(expected.data(), rec.data(), expected.size()));

  std::vector<unsigned char> buf = InBuffer(expected);
  int rc = 0;
  EXPECT_EQ(static_cast<int>(kSample.size()), ParsedCount(buf, &rc));
  EXPECT_EQ(1, rc);
  for (size_t i = 0; i < kSample.size(); ++i) {
    int code = -1, judge = -1;
    char value[PALLIX_VALUE_SIZE];
    ASSERT_EQ(1, ItemAt(buf.data(), static_cast<int>(i), &code, value, &judge)) << i;
    EXPECT_EQ(kSample[i].code, code);
    EXPECT_EQ(kSample[i].judge, judge);
    EXPECT_EQ(kSample[i].value, value);
  }
  char value[PALLIX_VALUE_SIZE];
  int judge = -1;
  ASSERT_EQ(1, FindByCode(buf.data(), 5139, value, &judge));  // the first of two
  EXPECT_EQ(kPassed, value);
  EXPECT_EQ(2, judge);
  EXPECT_EQ(kAbsent, FindByCode(buf.data(), 5001, value, &judge));
  int code = 0;
  EXPECT_EQ(kAbsent, ItemAt(buf.data(), static_cast<int>(kSample.size()), &code, value, &judge));
  EXPECT_EQ(kAbsent, ItemAt(buf.data(), -1, &code, value, &judge));
}

TEST(RecordWriter, RefusesWhatDoesNotFitAndLeavesTheRecordAlone) {
  std::vector<unsigned char> rec(kRecordMax);
  StartRecord(rec.data(), nullptr);
  const std::string longest(kValueMax, 'x');
  const std::string tooLong(kValueMax + 1, 'x');
  int size = AppendItem(rec.data(), 1000, 5000, longest.c_str(), 1);
  EXPECT_EQ(static_cast<int>(kEmptyRecordSize + kEntrySize + kValueMax), size);
  std::vector<unsigned char> before(rec.begin(), rec.begin() + size);

  EXPECT_EQ(kWriteValueTooLong, AppendItem(rec.data(), 1000, 5001, tooLong.c_str(), 1));
  EXPECT_EQ(kWriteNoRoom, AppendItem(rec.data(), size + 14, 5001, "1", 1));  // needs 15
  EXPECT_EQ(kWriteBadArgument, AppendItem(rec.data(), -1, 5001, "1", 1));
  EXPECT_EQ(kWriteBadArgument, AppendItem(rec.data(), 1000, 5001, nullptr, 1));
  EXPECT_EQ(kWriteBadArgument, AppendItem(nullptr, 1000, 5001, "1", 1));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), rec.begin()));
  EXPECT_EQ(size + 15, AppendItem(rec.data(), size + 15, 5001, "1", 1));
}

TEST(RecordWriter, RefusesToStartFromAForeignHeaderOrAppendToADamagedRecord) {
  std::vector<unsigned char> rec(kRecordMax, 0);
  StdHead head;
  PallixStdHeadPreset(&head);
  head.bytes[12] = 7;  // a count is ignored ...
  EXPECT_EQ(static_cast<int>(kEmptyRecordSize), StartRecord(rec.data(), &head));
  EXPECT_EQ(0, PallixGetU16(rec.data() + 12));
  head.bytes[3] = 2;  // ... a different header is not ours
  EXPECT_EQ(kWriteMalformed, StartRecord(rec.data(), &head));
  EXPECT_EQ(kWriteBadArgument, StartRecord(nullptr, nullptr));

  rec[kHeadSize] ^= 0xFF;  // end mark damaged
  EXPECT_EQ(kWriteMalformed, AppendItem(rec.data(), 1000, 5000, "1", 1));
  std::vector<unsigned char> zeros(kRecordMax, 0);
  EXPECT_EQ(kWriteMalformed, AppendItem(zeros.data(), 1000, 5000, "1", 1));
}

TEST(RecordWriter, FillsTheLargestRecordAndStopsThere) {
  std::vector<unsigned char> rec(kRecordMax);
  StartRecord(rec.data(), nullptr);
  int size = 0;
  size_t n = 0;
  for (;; ++n) {
    int rc = AppendItem(rec.data(), static_cast<int>(rec.size()), 5000 + static_cast<int>(n % 186),
                        "", 1);
    if (rc < 0) {
      EXPECT_EQ(kWriteTooManyItems, rc);
      break;
    }
    size = rc;
  }
  EXPECT_EQ(kMaxItems, n);
  EXPECT_LE(static_cast<size_t>(size), kRecordMax);
  EXPECT_EQ(static_cast<int>(kMaxItems), ParsedCount(rec));
  char value[PALLIX_VALUE_SIZE];
  int code = 0;
  EXPECT_EQ(1, ItemAt(rec.data(), static_cast<int>(kMaxItems) - 1, &code, value, nullptr));
}

// ---- Damaged records: count 0 / absent, never a read outside ---------------

class DamagedRecord : public ::testing::Test {
 protected:
  // Expects every reader to refuse the record in buf.
  static void ExpectRefused(const std::vector<unsigned char>& buf) {
    int rc = 0;
    EXPECT_EQ(0, ParsedCount(buf, &rc));
    EXPECT_EQ(kMalformed, rc);
    char value[PALLIX_VALUE_SIZE] = "untouched";
    int judge = 99;
    EXPECT_EQ(kMalformed, FindByCode(buf.data(), 7700, value, &judge));
    EXPECT_STREQ("untouched", value);
    EXPECT_EQ(99, judge);
  }
  std::vector<unsigned char> good = HandMade(kSample);
};

TEST_F(DamagedRecord, ShortOrForeignHeader) {
  ExpectRefused(InBuffer(std::vector<unsigned char>(good.begin(), good.begin() + 10)));
  ExpectRefused(std::vector<unsigned char>(kRecordMax, 0));
  for (size_t at : {0u, 1u, 2u, 4u, 5u, 14u, 20u}) {
    std::vector<unsigned char> bad = good;
    bad[at] ^= 0x01;
    ExpectRefused(InBuffer(bad));
    char value[PALLIX_VALUE_SIZE];
    EXPECT_EQ(kMalformed, ItemAt(InBuffer(bad).data(), 0, nullptr, value, nullptr)) << at;
  }
}

TEST_F(DamagedRecord, CountLargerOrSmallerThanTheItems) {
  for (int count : {7, 5, 200, 0xFFFF}) {
    std::vector<unsigned char> bad = good;
    PallixPutU16(bad.data() + 12, static_cast<uint16_t>(count));
    std::vector<unsigned char> buf = InBuffer(bad);
    ExpectRefused(buf);
    char value[PALLIX_VALUE_SIZE];
    for (int i : {0, 4, count - 1})
      EXPECT_GT(1, ItemAt(buf.data(), i, nullptr, value, nullptr)) << count << " " << i;
  }
}

TEST_F(DamagedRecord, RecordCutShort) {
  for (size_t keep : {good.size() - 1, good.size() - 4, good.size() - 10, size_t{40}}) {
    std::vector<unsigned char> buf =
        InBuffer(std::vector<unsigned char>(good.begin(), good.begin() + static_cast<long>(keep)));
    ExpectRefused(buf);
    char value[PALLIX_VALUE_SIZE];
    EXPECT_EQ(kMalformed, ItemAt(buf.data(), 0, nullptr, value, nullptr)) << keep;
  }
}

TEST_F(DamagedRecord, LengthsRunningPastTheValues) {
  // Item 1's length grows: the values no longer end at the end mark.
  std::vector<unsigned char> bad = good;
  PallixPutU16(bad.data() + 21 + 14 * 1 + 12, 300);
  std::vector<unsigned char> buf = InBuffer(bad);
  ExpectRefused(buf);
  char value[PALLIX_VALUE_SIZE];
  EXPECT_EQ(kMalformed, ItemAt(buf.data(), 1, nullptr, value, nullptr));
  EXPECT_EQ(kMalformed, ItemAt(buf.data(), 2, nullptr, value, nullptr));
  // An offset that points elsewhere.
  bad = good;
  PallixPutU32(bad.data() + 21 + 14 * 3 + 8, 0);
  ExpectRefused(InBuffer(bad));
  EXPECT_EQ(kMalformed, ItemAt(InBuffer(bad).data(), 3, nullptr, value, nullptr));
}

TEST_F(DamagedRecord, OverLongValueOrNulInsideAValue) {
  std::vector<unsigned char> bad = HandMade({{5000, 1, std::string(kValueMax + 1, '7')}});
  ExpectRefused(InBuffer(bad));
  char value[PALLIX_VALUE_SIZE];
  EXPECT_EQ(kMalformed, ItemAt(InBuffer(bad).data(), 0, nullptr, value, nullptr));

  bad = HandMade({{5000, 1,
                   std::string("12\0"
                               "4",
                               4)}});
  ExpectRefused(InBuffer(bad));
  EXPECT_EQ(kMalformed, ItemAt(InBuffer(bad).data(), 0, nullptr, value, nullptr));
}

TEST_F(DamagedRecord, NothingIsReadBeyondTheLargestRecord) {
  // A record that fills a buffer of exactly kRecordMax bytes (AddressSanitizer
  // builds catch any read outside it).
  std::vector<unsigned char> rec(kRecordMax);
  StartRecord(rec.data(), nullptr);
  const std::string v(kValueMax, 'v');
  int size = 0;
  for (int rc; (rc = AppendItem(rec.data(), static_cast<int>(rec.size()), 5000, v.c_str(), 1)) > 0;)
    size = rc;
  const std::string last(kRecordMax - static_cast<size_t>(size) - kEntrySize, 'w');
  ASSERT_EQ(static_cast<int>(kRecordMax),
            AppendItem(rec.data(), static_cast<int>(rec.size()), 5001, last.c_str(), 1));
  const int n = ParsedCount(rec);
  ASSERT_GT(n, 250);
  char value[PALLIX_VALUE_SIZE];
  EXPECT_EQ(1, ItemAt(rec.data(), n - 1, nullptr, value, nullptr));
  EXPECT_EQ(last, value);

  // The last value now claims bytes beyond the end of the buffer.
  PallixPutU16(rec.data() + 21 + 14 * static_cast<size_t>(n - 1) + 12,
               static_cast<uint16_t>(kValueMax));
  ExpectRefused(rec);
  EXPECT_EQ(kMalformed, ItemAt(rec.data(), n - 1, nullptr, value, nullptr));
  EXPECT_EQ(kMalformed, ItemAt(rec.data(), 0, nullptr, value, nullptr));
}

TEST(RecordReader, NullArgumentsAreRefused) {
  std::vector<unsigned char> buf = InBuffer(HandMade(kSample));
  char value[PALLIX_VALUE_SIZE];
  StdHead head;
  EXPECT_EQ(kBadArgument, ParseHead(buf.data(), nullptr));
  EXPECT_EQ(kBadArgument, ParseHead(nullptr, &head));
  EXPECT_EQ(0, HeadCount(head));
  EXPECT_EQ(kBadArgument, FindByCode(nullptr, 7700, value, nullptr));
  EXPECT_EQ(kBadArgument, FindByCode(buf.data(), 7700, nullptr, nullptr));
  EXPECT_EQ(kBadArgument, ItemAt(buf.data(), 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(1, FindByCode(buf.data(), 7700, value, nullptr));  // judge is optional
  EXPECT_STREQ("25", value);
}
