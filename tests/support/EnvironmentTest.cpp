// The harness promise: tests never see the real home or runtime directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(TestEnvironment, HomeIsPrivateToTheBuildTree) {
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_NE(std::string(home).find("test-home"), std::string::npos);
  // The monitor's journal goes under the state directory.
  const char* state = std::getenv("XDG_STATE_HOME");
  ASSERT_NE(state, nullptr);
  EXPECT_NE(std::string(state).find("test-home"), std::string::npos);
}

TEST(TestEnvironment, RuntimeDirectoryIsPrivate) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  ASSERT_NE(dir, nullptr);
  EXPECT_NE(std::string(dir).find("test-runtime"), std::string::npos);
}
