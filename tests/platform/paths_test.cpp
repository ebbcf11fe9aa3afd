#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/testsupport.h"

namespace qb {
namespace {

TEST(Paths, AppDataDirFollowsXdgThenHome) {
  {
    test::ScopedEnv xdg("XDG_DATA_HOME", "/data/x/");
    EXPECT_EQ(AppDataDir(), "/data/x");
  }
  test::ScopedEnv xdg("XDG_DATA_HOME", "");
  test::ScopedEnv home("HOME", "/home/u");
  EXPECT_EQ(AppDataDir(), "/home/u/.local/share");
}

TEST(Paths, ResolveNoCasePrefersExactName) {
  test::TempDir dir;
  test::WriteFile(dir / "Folders.dbx", "a");
  EXPECT_EQ(ResolveNoCase(dir.Path(), "folders.dbx"), dir / "Folders.dbx");
  test::WriteFile(dir / "folders.dbx", "b");
  EXPECT_EQ(ResolveNoCase(dir.Path(), "folders.dbx"), dir / "folders.dbx");
  EXPECT_EQ(ResolveNoCase(dir.Path(), "INBOX.DBX"), dir / "INBOX.DBX");  // none: plain join
}

TEST(Paths, ForceDirectoriesAndAtomicWrite) {
  test::TempDir dir;
  std::string deep = dir / "a/b/c";
  ASSERT_TRUE(ForceDirectories(deep));
  WriteFileAtomically(deep + "/f.txt", "one");
  WriteFileAtomically(deep + "/f.txt", "two");
  EXPECT_EQ(test::ReadFile(deep + "/f.txt"), "two");
  EXPECT_EQ(test::ListTree(dir.Path()), std::vector<std::string>{"a/b/c/f.txt"});
}

TEST(Paths, FailedAtomicWriteKeepsOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores directory permissions";
  test::TempDir dir;
  WriteFileAtomically(dir / "f.txt", "old");
  ::chmod(dir.Path().c_str(), 0555);
  EXPECT_THROW(WriteFileAtomically(dir / "f.txt", "new"), std::runtime_error);
  ::chmod(dir.Path().c_str(), 0755);
  EXPECT_EQ(test::ReadFile(dir / "f.txt"), "old");
}

TEST(Paths, ExpandEnvironmentStrings) {
  test::ScopedEnv v("QB_TEST_VAR", "/home/me");
  EXPECT_EQ(ExpandEnvironmentStrings("%QB_TEST_VAR%\\Identities"), "/home/me\\Identities");
  EXPECT_EQ(ExpandEnvironmentStrings("%QB_NOT_SET_XYZ%/x"), "%QB_NOT_SET_XYZ%/x");
  EXPECT_EQ(ExpandEnvironmentStrings("100%"), "100%");
}

}  // namespace
}  // namespace qb
