// FuzzScratch - a private directory for the targets that go through files.
// One per process, made on first use under TMPDIR and removed at exit; the
// targets empty it after every input so the disk stays bounded however long
// a run lasts.
#ifndef BRENNA_FUZZ_FUZZSCRATCH_H
#define BRENNA_FUZZ_FUZZSCRATCH_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

class FuzzScratch {
 public:
  FuzzScratch() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "brenna-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch directory");
    m_root = pattern;
  }
  ~FuzzScratch() {
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
  }
  FuzzScratch(const FuzzScratch&) = delete;
  FuzzScratch& operator=(const FuzzScratch&) = delete;

  const std::filesystem::path& root() const { return m_root; }

  // Removes everything inside the root, keeping the root.
  void Empty() const {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(m_root, ec)) {
      std::error_code ignored;
      std::filesystem::remove_all(e.path(), ignored);
    }
  }

  // A finding: says what broke and stops the run (libFuzzer keeps the input).
  [[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::fflush(stderr);
    std::abort();
  }

  static void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Fail("cannot write an input file");
  }

  static std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path m_root;
};

#endif  // BRENNA_FUZZ_FUZZSCRATCH_H
