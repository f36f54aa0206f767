// The installer's wine prefix: where it lives, the record that decides
// whether it is used again, and the unfinished set-ups that are cleared away.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "CompilerTestSupport.h"
#include "engine/support/UWinePrefix.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

TEST(WinePrefix, OnlyAnAbsoluteCacheFolderIsTakenFromXdgCacheHome) {
  ScopedEnv env;
  env.Set("HOME", "/home/jane.doe");
  const struct {
    const char* cache;  // nullptr: not set
    std::string prefix;
  } cases[] = {
      {nullptr, "/home/jane.doe/.cache/veypatcher/wine"},
      {"", "/home/jane.doe/.cache/veypatcher/wine"},
      // Relative to wherever the installer was started: never used.
      {"cache", "/home/jane.doe/.cache/veypatcher/wine"},
      {"./cache", "/home/jane.doe/.cache/veypatcher/wine"},
      {"~/cache", "/home/jane.doe/.cache/veypatcher/wine"},
      {"/var/cache/jane", "/var/cache/jane/veypatcher/wine"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cache ? c.cache : "(unset)");
    if (c.cache)
      env.Set("XDG_CACHE_HOME", c.cache);
    else
      env.Unset("XDG_CACHE_HOME");
    EXPECT_EQ(WinePrefixFolder(), c.prefix);
  }
}

// A compiler that ran outside the sandbox may have changed the registry
// without changing its size; the record sees it.
TEST(WinePrefix, AnEditThatKeepsTheSizeDoesNotMatchTheRecord) {
  TempDir dir;
  const std::string prefix = (dir / "wine").string();
  dir.Write("wine/userdef.reg", "[Software\\\\Wine] \"a\"=\"1\"\n");
  dir.Write("wine/drive_c/windows/win.ini", "[windows]\n");
  WriteWinePrefixRecord(prefix, "wine-9.0", true);
  ASSERT_TRUE(WinePrefixMatchesRecord(prefix, "wine-9.0", true));
  dir.Write("wine/userdef.reg", "[Software\\\\Wine] \"a\"=\"2\"\n");
  EXPECT_FALSE(WinePrefixMatchesRecord(prefix, "wine-9.0", true));
  EXPECT_FALSE(WinePrefixMatchesRecord(prefix, "wine-9.0", false));
}

// Another installer may be setting a prefix up beside this one right now:
// only a set-up left long ago by a killed run is removed.
TEST(WinePrefix, AnotherInstallersYoungSetUpIsLeftAlone) {
  TempDir dir;
  const std::string prefix = (dir / "wine").string();
  dir.Write("wine.new-young/system.reg", "being written");
  dir.Write("wine.new-old/system.reg", "left by a killed run");
  dir.Write("other.new-old/kept", "not a set-up of this prefix");
  const auto twoHoursAgo = fs::file_time_type::clock::now() - std::chrono::hours(2);
  for (const char* folder : {"wine.new-old", "other.new-old"}) fs::last_write_time(dir / folder, twoHoursAgo);
  fs::last_write_time(dir / "wine.new-young", fs::file_time_type::clock::now() - std::chrono::minutes(50));
  RemoveStaleWinePrefixSetUps(prefix);
  EXPECT_EQ(dir.Read("wine.new-young/system.reg"), "being written");
  EXPECT_FALSE(fs::exists(dir / "wine.new-old"));
  EXPECT_TRUE(fs::exists(dir / "other.new-old/kept"));
}

}  // namespace
}  // namespace vey::test
