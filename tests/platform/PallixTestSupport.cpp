#include "PallixTestSupport.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "PallixStub.h"

namespace fs = std::filesystem;

std::string StubBuildPath(const std::string& stub) {
  return std::string(PALLIX_STUB_DIR) + "/" + stub + ".so";
}

bool IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

std::string Ptr(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

StubDirectory::StubDirectory() {
  static std::atomic<int> serial{0};
  const char* home = std::getenv("HOME");
  const fs::path base = home != nullptr ? fs::path(home) : fs::temp_directory_path();
  m_path =
      (base / ("pallix-" + std::to_string(getpid()) + "-" + std::to_string(++serial))).string();
  fs::remove_all(m_path);
  fs::create_directories(m_path);
}

StubDirectory::~StubDirectory() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::string StubDirectory::Install(const std::string& stub, const std::string& fileName) const {
  const std::string target = m_path + "/" + fileName;
  // A new file, never a rewrite: the old one may still be mapped.
  fs::remove(target);
  fs::copy_file(StubBuildPath(stub), target);
  return target;
}

StubControl::StubControl(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {}

StubControl::~StubControl() {
  if (m_handle != nullptr) dlclose(m_handle);
}

namespace {
template <typename Fn>
Fn Control(void* handle, const char* name) {
  void* symbol = handle != nullptr ? dlsym(handle, name) : nullptr;
  if (symbol == nullptr) throw std::runtime_error(std::string("stub lacks ") + name);
  return reinterpret_cast<Fn>(symbol);
}
}  // namespace

std::string StubControl::Calls() const {
  return Control<PallixStubCallsFn>(m_handle, "PallixStub_Calls")();
}

void StubControl::Reset() const { Control<PallixStubResetFn>(m_handle, "PallixStub_Reset")(); }

void StubControl::SetResult(PallixSlot slot, int result) const {
  Control<PallixStubSetResultFn>(m_handle, "PallixStub_SetResult")(static_cast<int>(slot), result);
}

void StubControl::SetText(PallixSlot slot, const char* text) const {
  Control<PallixStubSetTextFn>(m_handle, "PallixStub_SetText")(static_cast<int>(slot), text);
}

void PallixTest::SetUp() { SetPallixSystemDirectory(m_dir.path()); }

void PallixTest::TearDown() {
  m_stub.reset();
  UnloadPallix();
  SetPallixSystemDirectory("");
  SetPallixFatalReporter(nullptr);
}

int PallixTest::Load(const std::string& stub, int variant) {
  const std::string path = m_dir.Install(stub, PallixVariantFileName(variant));
  const int result = LoadPallix(variant);
  m_stub = std::make_unique<StubControl>(path);
  return result;
}

const StubControl& PallixTest::Stub() const {
  if (!m_stub || !m_stub->ok()) throw std::runtime_error("no stub loaded");
  return *m_stub;
}

namespace {

bool IsNotLoaded(int result) { return result == PALLIX_NOT_LOADED; }
bool IsNotLoaded(double result) { return result == PALLIX_NOT_LOADED_REAL; }
bool IsNotLoaded(const char* result) {
  return result != nullptr && std::strcmp(result, PALLIX_NOT_LOADED_TEXT) == 0;
}

template <typename R, typename... A>
bool CallReportsNotLoaded(R (*forward)(A...)) {
  return IsNotLoaded(forward(A{}...));
}

}  // namespace

const std::vector<Forwarder>& Forwarders() {
  static const std::vector<Forwarder> all = {
#define ROW(pos, ret, name, params, args) \
  {pos, #name, [] { return CallReportsNotLoaded(static_cast<ret(*) params>(&name)); }},
#define NO_ROW(pos, ret, name, params, args)
      PALLIX_FUNCTIONS(ROW, NO_ROW)
#undef ROW
#undef NO_ROW
  };
  return all;
}
