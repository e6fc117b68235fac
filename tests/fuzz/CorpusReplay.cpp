// Replays a fuzz target's committed corpus as ordinary tests: every file of
// the corpus directory is one case fed to the target's entry point. A target
// reports a finding by aborting, which fails the case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(BRENNA_FUZZ_CORPUS, ec))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusReplay : public ::testing::TestWithParam<fs::path> {};

// Suites are named after the target (BRENNA_FUZZ_SUITE), so the cases of
// the five replays stay apart in ctest.
TEST(BRENNA_FUZZ_SUITE, CorpusHoldsSeeds) {
  EXPECT_FALSE(CorpusFiles().empty()) << BRENNA_FUZZ_CORPUS;
}

TEST_P(CorpusReplay, InputPasses) {
  std::ifstream in(GetParam(), std::ios::binary);
  ASSERT_TRUE(in) << GetParam();
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An exactly sized heap copy, as libFuzzer hands inputs over.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  EXPECT_EQ(LLVMFuzzerTestOneInput(input.data(), input.size()), 0);
}

std::string CaseName(const ::testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(BRENNA_FUZZ_SUITE, CorpusReplay, ::testing::ValuesIn(CorpusFiles()),
                         CaseName);

}  // namespace
