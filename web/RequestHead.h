// RequestHead - a request head as the gate (web/ConnectionPool) reads it,
// before the HTTP library sees a byte of it. The gate decides where a head
// ends exactly as the library will: every line ends in CR LF, and the head
// with the first empty line after the request line. A head that breaks
// that rule (a bare line feed or carriage return, no request line) is
// malformed and answered 400 at once; one not ended within kMaxRequestHead
// bytes is answered 431 at once. The library is handed only the head
// (web/Connection) and never reads past it, so it cannot be made to wait
// for more, nor to hold more than the head.
//
// A Range header longer than any one range can be is taken out of the
// head (the library would parse it with a recursive pattern, a frame of
// stack per byte) and the request answered 416, as a request for several
// ranges is.
#ifndef BRENNA_WEB_REQUESTHEAD_H
#define BRENNA_WEB_REQUESTHEAD_H

#include <cstddef>
#include <string>

namespace web {

// The most a request head may be, its empty line included.
inline constexpr std::size_t kMaxRequestHead = 16 * 1024;
// The longest Range value handed on: one range of two 19-digit offsets
// ("bytes=" and 39 characters) with room to spare.
inline constexpr std::size_t kMaxRangeValue = 64;

enum class HeadState {
  kIncomplete,  // its empty line has not come yet
  kComplete,    // *end: one past its empty line
  kTooLarge,    // no end within kMaxRequestHead bytes
  kMalformed,   // a line not ended by CR LF, or no request line
};

// Looks at the bytes a request begins with.
HeadState ExamineHead(const char* data, std::size_t size, std::size_t* end);

// Takes every Range line out of `head` (a complete head) when one of them
// is longer than kMaxRangeValue; true when it did.
bool RefuseLongRange(std::string* head);

// The gate's own answer to a head it refuses (400, 431): short, closing the
// connection, with the headers every answer carries.
std::string RefusalAnswer(int status);

}  // namespace web

#endif  // BRENNA_WEB_REQUESTHEAD_H
