#include "PallixStub.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Pallix.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kCount = PALLIX_FUNCTION_COUNT;

const char* const kNames[] = {
#define STUB_NAME(pos, ret, name, params, args) #name,
    PALLIX_FUNCTIONS(STUB_NAME, STUB_NAME)
#undef STUB_NAME
};

enum class Slot : int {
#define STUB_SLOT(pos, ret, name, params, args) name = pos,
  PALLIX_FUNCTIONS(STUB_SLOT, STUB_SLOT)
#undef STUB_SLOT
};

std::string g_calls;
bool g_scripted[kCount + 1];
int g_result[kCount + 1];
std::string g_text[kCount + 1];

void Append(std::string& out, int value) { out += std::to_string(value); }
void Append(std::string& out, char value) {
  out += 'c';
  out += std::to_string(static_cast<unsigned char>(value));
}
void Append(std::string& out, const void* value) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", value);
  out += text;
}

template <typename T>
void AppendArgument(std::string& entry, bool& first, T value) {
  if (!first) entry += ',';
  first = false;
  Append(entry, value);
}

template <typename... A>
void Record(int position, A... args) {
  std::string entry = kNames[position - 1];
  entry += '(';
  [[maybe_unused]] bool first = true;
  (AppendArgument(entry, first, args), ...);
  entry += ");";
  g_calls += entry;
}

// Unscripted results are the export's position (a value no forwarding
// operation invents), so a result tells which function answered.
int IntResult(int position) { return g_scripted[position] ? g_result[position] : position; }

template <typename R>
R Result(int position);
template <>
int Result<int>(int position) {
  return IntResult(position);
}
template <>
double Result<double>(int position) {
  return position + 0.25;
}

void CopyText(char* out, const std::string& text) {
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
}

// Exports that do more than record.
template <int Position>
struct Custom {
  static constexpr bool kHas = false;
};

// The real split: field `index` of `text` cut at `sep`; 1 when it exists.
// A scripted result replaces the split.
template <>
struct Custom<static_cast<int>(Slot::GetField2)> {
  static constexpr bool kHas = true;
  static int Call(const char* text, int index, char* out, char sep) {
    const int position = static_cast<int>(Slot::GetField2);
    if (g_scripted[position]) return g_result[position];
    if (text == nullptr || out == nullptr || index < 0) return 0;
    const char* begin = text;
    for (int i = 0; i < index; ++i) {
      begin = std::strchr(begin, sep);
      if (begin == nullptr) return 0;
      ++begin;
    }
    const char* end = std::strchr(begin, sep);
    CopyText(out, std::string(begin, end ? end : begin + std::strlen(begin)));
    return 1;
  }
};

template <>
struct Custom<static_cast<int>(Slot::GetParamIDByName)> {
  static constexpr bool kHas = true;
  static int Call(const char*, int, char* out) {
    const int position = static_cast<int>(Slot::GetParamIDByName);
    CopyText(out, g_text[position]);
    return IntResult(position);
  }
};

// Items of a device: devId * 100 + 1, + 2, ...
template <>
struct Custom<static_cast<int>(Slot::GetItemIDByDevID)> {
  static constexpr bool kHas = true;
  static int Call(int devId, int* list) {
    if (list != nullptr) {
      list[0] = devId * 100 + 1;
      list[1] = devId * 100 + 2;
    }
    return IntResult(static_cast<int>(Slot::GetItemIDByDevID));
  }
};

// Adds the span to the day field only, and notes the date it was given.
template <>
struct Custom<static_cast<int>(Slot::GetDateByTimeSpan)> {
  static constexpr bool kHas = true;
  static int Call(const PallixDate* in, int span, PallixDate* out) {
    const int position = static_cast<int>(Slot::GetDateByTimeSpan);
    if (in == nullptr || out == nullptr) return 0;
    g_calls += "in=" + std::to_string(in->year) + "/" + std::to_string(in->month) + "/" +
               std::to_string(in->day) + ";";
    if (g_scripted[position] && g_result[position] <= 0) return g_result[position];
    out->year = in->year;
    out->month = in->month;
    out->day = static_cast<unsigned char>(in->day + span);
    return 1;
  }
};

// Echoes its argument, so the caller can see the pointer come back.
template <>
struct Custom<static_cast<int>(Slot::GetLangueString)> {
  static constexpr bool kHas = true;
  static const char* Call(const char* text) { return text; }
};

template <int Position, typename R, typename... A>
R Dispatch(A... args) {
  Record(Position, args...);
  if constexpr (Custom<Position>::kHas) {
    return Custom<Position>::Call(args...);
  } else {
    return Result<R>(Position);
  }
}

}  // namespace

void PallixStubRecord(const char* entry) { g_calls += entry; }

// GetPallixStrSize comes from its own source, built once per record size.
#define STUB_DEFINE(pos, ret, name, params, args) \
  ret name params { return Dispatch<pos, ret> args; }
#define STUB_SKIP(pos, ret, name, params, args)
PALLIX_FUNCTIONS(STUB_DEFINE, STUB_SKIP)
#undef STUB_DEFINE
#undef STUB_SKIP

STUB_EXPORT const char* PallixStub_Calls(void) { return g_calls.c_str(); }

STUB_EXPORT void PallixStub_Reset(void) {
  g_calls.clear();
  for (int i = 0; i <= kCount; ++i) {
    g_scripted[i] = false;
    g_text[i].clear();
  }
}

STUB_EXPORT void PallixStub_SetResult(int position, int result) {
  if (position < 1 || position > kCount) return;
  g_scripted[position] = true;
  g_result[position] = result;
}

STUB_EXPORT void PallixStub_SetText(int position, const char* text) {
  if (position < 1 || position > kCount) return;
  g_text[position] = text != nullptr ? text : "";
}
