// Helpers for the binding's tests: a temporary system directory holding
// stub libraries under the variant file names, and access to the journal
// of the stub the binding loaded.
#ifndef BRENNA_TESTS_PALLIXTESTSUPPORT_H
#define BRENNA_TESTS_PALLIXTESTSUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/PallixBinding.h"
#include "platform/PallixTable.h"

// Full path of a built stub ("pallixstub_complete", ...).
std::string StubBuildPath(const std::string& stub);
// True when the file at `path` is mapped in this process.
bool IsLoaded(const std::string& path);
// A pointer as the stub's journal writes it.
std::string Ptr(const void* p);

// Every forwarding operation, callable with all-zero arguments.
struct Forwarder {
  int position;
  const char* name;
  // Calls it; true when it gave its type's not-loaded result.
  bool (*callReportsNotLoaded)();
};
const std::vector<Forwarder>& Forwarders();

// A fresh directory, removed with everything in it on destruction.
class StubDirectory {
 public:
  StubDirectory();
  ~StubDirectory();
  StubDirectory(const StubDirectory&) = delete;
  StubDirectory& operator=(const StubDirectory&) = delete;

  const std::string& path() const { return m_path; }
  // Copies the stub in as `fileName`; returns the copy's full path.
  std::string Install(const std::string& stub, const std::string& fileName) const;

 private:
  std::string m_path;
};

// A reference to a loaded stub and its control functions.
class StubControl {
 public:
  explicit StubControl(const std::string& path);
  ~StubControl();
  StubControl(const StubControl&) = delete;
  StubControl& operator=(const StubControl&) = delete;

  bool ok() const { return m_handle != nullptr; }
  std::string Calls() const;
  void Reset() const;
  void SetResult(PallixSlot slot, int result) const;
  void SetText(PallixSlot slot, const char* text) const;

 private:
  void* m_handle = nullptr;
};

// Points the binding at a private system directory; unloads afterwards.
class PallixTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs the stub under the variant's file name and loads it. When the
  // library stays loaded, Stub() reaches it.
  int Load(const std::string& stub, int variant = 1);
  const StubControl& Stub() const;

  StubDirectory m_dir;

 private:
  std::unique_ptr<StubControl> m_stub;
};

#endif  // BRENNA_TESTS_PALLIXTESTSUPPORT_H
