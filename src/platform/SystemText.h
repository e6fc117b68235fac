// SystemText - text in the system's own encoding where it meets UTF-8:
// file names handed to SQLite (which takes UTF-8 names), and a program's
// command line and console (brenna-history reads and prints UTF-8).
//
// POSIX passes bytes to the system as they are, so nothing is converted
// (SystemText.cpp). On Windows the system's encoding is GBK (code page 936,
// whatever the PC's own), as every path and text of this system there; its
// command line is UTF-16 and its console shows its own code page
// (SystemTextWin.cpp).
#ifndef BRENNA_PLATFORM_SYSTEMTEXT_H
#define BRENNA_PLATFORM_SYSTEMTEXT_H

#include <string>
#include <vector>

// A path or message in the system's encoding as UTF-8 (bytes it cannot
// convert become U+FFFD).
std::string Utf8FromSystem(const std::string& text);
// UTF-8 as the system's encoding; false when it holds a character that
// encoding cannot hold (or is no UTF-8).
bool SystemFromUtf8(const std::string& utf8, std::string* text);

// The program's arguments after its name, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// While it lives, standard output and error take the program's UTF-8 bytes
// exactly as written (on Windows: no carriage return added before each line
// break), and a console they write to shows UTF-8; the console's own code
// page is given back afterwards.
class Utf8Output {
 public:
  Utf8Output();
  ~Utf8Output();
  Utf8Output(const Utf8Output&) = delete;
  Utf8Output& operator=(const Utf8Output&) = delete;

 private:
  unsigned m_previous = 0;  // 0: left as it was
};

#endif  // BRENNA_PLATFORM_SYSTEMTEXT_H
