#include "StationRecord.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "Pallix.h"

namespace brenna_send {

bool Utf8ToGbk(std::string_view utf8, std::string* gbk) {
  gbk->clear();
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(utf8.data());
  size_t srcLeft = utf8.size();
  bool ok = true;
  char buf[256];
  while (srcLeft > 0) {
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    gbk->append(buf, static_cast<size_t>(dst - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

namespace {

bool ParseInt(const std::string& s, int* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < -2147483647L - 1 || v > 2147483647L) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

bool BuildRecordFromText(std::string_view utf8Text, std::vector<unsigned char>* record,
                         std::string* error) {
  record->assign(PALLIX_RECORD_MAX, 0);
  int size = WriteStdHead(record->data(), nullptr);
  std::istringstream in{std::string(utf8Text)};
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string::size_type p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line[p] == '#') continue;
    std::istringstream fields(line);
    std::string codeText, judgeText;
    fields >> codeText >> judgeText;
    int code = 0, judge = 0;
    if (!ParseInt(codeText, &code) || !ParseInt(judgeText, &judge)) {
      *error = "line " + std::to_string(lineNo) + ": expected 'code judge value'";
      return false;
    }
    std::string value;
    std::getline(fields, value);
    std::string::size_type v = value.find_first_not_of(" \t");
    value = v == std::string::npos ? std::string() : value.substr(v);
    std::string gbk;
    if (!Utf8ToGbk(value, &gbk)) {
      *error = "line " + std::to_string(lineNo) + ": the value has no GBK form";
      return false;
    }
    int next = WriteStdHead_Result(record->data(), PALLIX_RECORD_MAX, code, gbk.c_str(), judge);
    if (next < 0) {
      *error = "line " + std::to_string(lineNo) +
               (next == -3 ? ": value longer than 511 GBK bytes" : ": record full");
      return false;
    }
    size = next;
  }
  record->resize(static_cast<size_t>(size));
  return true;
}

}  // namespace brenna_send
