// Windows implementation of SystemText.h: this system's paths and texts are
// GBK, code page 936, whatever the PC's own ANSI code page (they go to
// Windows through the "W" calls); the command line is read as UTF-16, since
// the run-time's argv holds only what the ANSI code page can.
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/SystemText.h"

namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring Wide(UINT codePage, DWORD flags, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

std::string Narrow(UINT codePage, const std::wstring& wide, bool* lossy) {
  if (wide.empty()) return std::string();
  BOOL defaulted = FALSE;
  // CP_UTF8 takes no default-character flag.
  BOOL* used = codePage == CP_UTF8 ? nullptr : &defaulted;
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, used);
  if (n <= 0) {
    if (lossy != nullptr) *lossy = true;
    return std::string();
  }
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr,
                      used);
  if (lossy != nullptr) *lossy = defaulted != FALSE;
  return text;
}

}  // namespace

std::string Utf8FromSystem(const std::string& text) {
  return Narrow(CP_UTF8, Wide(kGbkCodePage, 0, text), nullptr);
}

bool SystemFromUtf8(const std::string& utf8, std::string* text) {
  const std::wstring wide = Wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
  if (wide.empty() != utf8.empty()) return false;
  bool lossy = false;
  *text = Narrow(kGbkCodePage, wide, &lossy);
  return !lossy;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    std::vector<std::string> fallback;
    for (int i = 1; i < argc; ++i) fallback.push_back(Utf8FromSystem(argv[i]));
    return fallback;
  }
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(CP_UTF8, wide[i], nullptr));
  LocalFree(wide);
  return args;
}

Utf8Output::Utf8Output() {
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  DWORD mode = 0;
  const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
                       GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
  if (!console) return;
  const UINT previous = GetConsoleOutputCP();
  if (previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) m_previous = previous;
}

Utf8Output::~Utf8Output() {
  if (m_previous != 0) SetConsoleOutputCP(m_previous);
}
