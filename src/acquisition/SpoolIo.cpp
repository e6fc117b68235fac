#include "acquisition/SpoolIo.h"

#include <cstdio>

#include "platform/FileOps.h"
#include "platform/PallixBinding.h"

namespace {

// Closes a FILE on every path out.
class File {
 public:
  explicit File(std::FILE* f) : m_f(f) {}
  File(const std::string& path, const char* mode) : m_f(std::fopen(path.c_str(), mode)) {}
  ~File() {
    if (m_f != nullptr) std::fclose(m_f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  std::FILE* get() const { return m_f; }
  // Closes now and tells whether everything written reached the file.
  bool Close() {
    std::FILE* f = m_f;
    m_f = nullptr;
    return f != nullptr && std::fclose(f) == 0;
  }

 private:
  std::FILE* m_f;
};

}  // namespace

bool SpoolIo::WriteAt(const std::string& path, long offset, const void* data, size_t count,
                      long* length) {
  // "r+b" keeps the content; only a missing file is created (and so empty).
  std::FILE* raw = std::fopen(path.c_str(), "r+b");
  if (raw == nullptr) raw = std::fopen(path.c_str(), "w+b");
  File f(raw);
  if (f.get() == nullptr) return false;
  if (std::fseek(f.get(), offset, SEEK_SET) != 0) return false;
  if (count > 0 && std::fwrite(data, 1, count, f.get()) != count) return false;
  if (std::fflush(f.get()) != 0 || std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  long end = std::ftell(f.get());
  if (end < 0 || !f.Close()) return false;
  *length = end;
  return true;
}

SpoolIo::ReadResult SpoolIo::ReadAll(const std::string& path, void* buf, size_t max, size_t* n) {
  File f(path, "rb");
  if (f.get() == nullptr) return ReadResult::kMissing;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return ReadResult::kFailed;
  long size = std::ftell(f.get());
  if (size < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return ReadResult::kFailed;
  if (static_cast<unsigned long>(size) > max) return ReadResult::kTooLarge;
  size_t got = std::fread(buf, 1, static_cast<size_t>(size), f.get());
  if (got != static_cast<size_t>(size)) return ReadResult::kFailed;
  *n = got;
  return ReadResult::kOk;
}

bool SpoolIo::WriteAll(const std::string& path, const void* data, size_t n) {
  File f(path, "wb");
  if (f.get() == nullptr) return false;
  if (n > 0 && std::fwrite(data, 1, n, f.get()) != n) return false;
  return f.Close();
}

bool SpoolIo::Rename(const std::string& from, const std::string& to) {
  return MoveFileOver(from, to);
}

bool SpoolIo::Remove(const std::string& path) { return std::remove(path.c_str()) == 0; }

int SpoolIo::UnCompress(const std::string& path, const std::string& dir) {
  return UnCompressFile(path.c_str(), dir.c_str());
}
