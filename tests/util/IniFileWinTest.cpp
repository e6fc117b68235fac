// Windows' twin of IniFileTest.ARewrittenFileKeepsItsOwnerAndMode: besides
// its contents, what a Windows settings file has of its own is its
// attributes.
#include <gtest/gtest.h>
#include <windows.h>

#include "TempDir.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"

TEST(IniFileOnWindows, ARewrittenFileKeepsItsAttributes) {
  TempDir dir;
  const std::string ini = dir.file("BrennaCenter.ini");
  WriteFileBytes(ini, "[other]\nx=1\n");
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(SetFileAttributesA(ini.c_str(), kHiddenSystem));
  CIniFile file;
  EXPECT_TRUE(file.WriteInt(Gbk("端口号"), "Port", 10005, ini));
  EXPECT_EQ(GetFileAttributesA(ini.c_str()) & kHiddenSystem, kHiddenSystem);
  EXPECT_EQ(file.GetInt(Gbk("端口号"), "Port", 0, ini), 10005);
  EXPECT_EQ(ReadFileBytes(ini), "[other]\nx=1\n\n[" + Gbk("端口号") + "]\nPort=10005\n");
}
