// POSIX implementation of SystemText.h: the system takes bytes, and the
// programs here speak UTF-8, so text passes unchanged.
#include "platform/SystemText.h"

std::string Utf8FromSystem(const std::string& text) { return text; }

bool SystemFromUtf8(const std::string& utf8, std::string* text) {
  *text = utf8;
  return true;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

Utf8Output::Utf8Output() = default;
Utf8Output::~Utf8Output() = default;
