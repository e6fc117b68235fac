// TempDir - a fresh directory under the build tree's temp area, removed with
// the object. Tests create every file they touch inside one.
#ifndef BRENNA_TESTS_TEMPDIR_H
#define BRENNA_TESTS_TEMPDIR_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class TempDir {
 public:
  TempDir() {
    // A fresh name: create_directory fails on one that exists.
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path p =
          std::filesystem::temp_directory_path() / ("brenna-test-" + std::to_string(rd()));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) {
        m_path = p;
        return;
      }
    }
    std::abort();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::string file(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

#endif  // BRENNA_TESTS_TEMPDIR_H
