#include "journal/JournalLine.h"

#include "platform/JournalIo.h"

namespace journal {

namespace {

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// The characters that carry a byte: U+F700 + byte.
constexpr unsigned kStrayBase = 0xF700;

// The byte a character at text[i] (of length n) carries, or -1.
int CarriedByte(std::string_view text, std::size_t i, std::size_t n) {
  if (n != 3) return -1;
  const unsigned cp = ((static_cast<unsigned char>(text[i]) & 0x0Fu) << 12) |
                      ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                      (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
  return cp >= kStrayBase + 0x80 && cp <= kStrayBase + 0xFF ? static_cast<int>(cp - kStrayBase)
                                                            : -1;
}

void AppendHex(std::string* out, unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  const char escaped[] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
  out->append(escaped, sizeof escaped);
}

}  // namespace

void AppendStrayByte(std::string* out, unsigned char byte) {
  const unsigned cp = kStrayBase + byte;
  const char utf8[] = {static_cast<char>(0xE0 | (cp >> 12)),
                       static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                       static_cast<char>(0x80 | (cp & 0x3F))};
  out->append(utf8, sizeof utf8);
}

std::string CarryStrayBytes(std::string_view text) {
  // Runs of well-formed text are copied whole; most texts are one run.
  std::string out;
  out.reserve(text.size());
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8Length(text, i);
    if (n > 0) {
      i += n;
      continue;
    }
    out.append(text.data() + run, i - run);
    AppendStrayByte(&out, static_cast<unsigned char>(text[i]));
    run = ++i;
  }
  out.append(text.data() + run, text.size() - run);
  return out;
}

const char* LevelName(Level level) {
  switch (level) {
    case Level::kDebug:
      return "DEBUG";
    case Level::kInfo:
      return "INFO ";
    case Level::kWarning:
      return "WARN ";
    default:
      return "ERROR";
  }
}

void AppendEscaped(std::string* out, std::string_view text) {
  // Runs of text shown as they are go out whole; only what is escaped is
  // handled a character at a time.
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      ++i;
      continue;
    }
    const std::size_t n = c < 0x80 ? 1 : Utf8Length(text, i);
    const int carried = CarriedByte(text, i, n);
    if (n > 1 && carried < 0) {
      i += n;  // a character shown as it is
      continue;
    }
    out->append(text.data() + run, i - run);
    if (c == '\\') {
      out->append("\\\\");
      ++i;
    } else if (carried >= 0) {
      AppendHex(out, static_cast<unsigned char>(carried));
      i += n;
    } else {
      AppendHex(out, c);  // a control byte, or a byte that is not UTF-8
      ++i;
    }
    run = i;
  }
  out->append(text.data() + run, text.size() - run);
}

std::string FormatCount(unsigned long long count) {
  std::string digits = std::to_string(count);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string FormatSpan(std::chrono::steady_clock::duration span) {
  const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(span).count();
  if (seconds < 120) return std::to_string(seconds < 0 ? 0 : seconds) + " s";
  return std::to_string((seconds + 30) / 60) + " min";
}

std::string FormatLine(std::chrono::system_clock::time_point when, Level level,
                       std::string_view category, std::string_view text) {
  std::string line;
  line.reserve(kStampLength + 16 + category.size() + text.size());
  line = journal_io::LocalTimestamp(when);
  line += ' ';
  line += LevelName(level);
  line += ' ';
  AppendEscaped(&line, category);
  line += ": ";
  AppendEscaped(&line, text);
  return line;
}

}  // namespace journal
