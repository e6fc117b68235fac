#include "web/RequestHead.h"

#include <algorithm>
#include <vector>

#include "web/AnswerHeaders.h"

namespace web {

namespace {

bool IsRangeLine(const std::string& head, std::size_t from, std::size_t to) {
  // The name as the library takes it: everything before the colon, any case.
  static const char kName[] = "range:";
  const std::size_t n = sizeof kName - 1;
  if (to - from < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = head[from + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kName[i]) return false;
  }
  return true;
}

// The value of a header line from..to (its CR LF excluded), trimmed as the
// library trims it.
std::size_t ValueLength(const std::string& head, std::size_t from, std::size_t to) {
  std::size_t begin = head.find(':', from) + 1;
  while (begin < to && (head[begin] == ' ' || head[begin] == '\t')) ++begin;
  while (to > begin && (head[to - 1] == ' ' || head[to - 1] == '\t')) --to;
  return to - begin;
}

const char* Reason(int status) {
  return status == 431 ? "Request Header Fields Too Large" : "Bad Request";
}

}  // namespace

HeadState ExamineHead(const char* data, std::size_t size, std::size_t* end) {
  const std::size_t look = std::min(size, kMaxRequestHead);
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < look; ++i) {
    if (data[i] == '\r') {
      if (i + 1 < size && data[i + 1] != '\n') return HeadState::kMalformed;
      continue;
    }
    if (data[i] != '\n') continue;
    if (i == 0 || data[i - 1] != '\r') return HeadState::kMalformed;
    const bool empty = i - 1 == lineStart;
    if (empty && lineStart == 0) return HeadState::kMalformed;  // no request line
    if (empty) {
      *end = i + 1;
      return HeadState::kComplete;
    }
    lineStart = i + 1;
  }
  return size >= kMaxRequestHead ? HeadState::kTooLarge : HeadState::kIncomplete;
}

bool RefuseLongRange(std::string* head) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;  // lines, CR LF included
  bool tooLong = false;
  std::size_t from = head->find("\r\n") + 2;  // after the request line
  for (std::size_t to; (to = head->find("\r\n", from)) != std::string::npos && to > from;
       from = to + 2) {
    if (!IsRangeLine(*head, from, to)) continue;
    ranges.emplace_back(from, to + 2);
    tooLong = tooLong || ValueLength(*head, from, to) > kMaxRangeValue;
  }
  if (!tooLong) return false;
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
    head->erase(it->first, it->second - it->first);
  return true;
}

std::string RefusalAnswer(int status) {
  const std::string body =
      status == 431 ? "请求头太大：最多 16 KiB。\n" : "请求有误：请求头的每一行须以 CR LF 结束。\n";
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  for (const auto& [name, value] : kAnswerHeaders)
    answer += std::string(name) + ": " + value + "\r\n";
  answer +=
      "Cache-Control: no-store\r\nConnection: close\r\n"
      "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  return answer;
}

}  // namespace web
