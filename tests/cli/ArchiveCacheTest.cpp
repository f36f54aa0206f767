// Mod archives on the command line: damage is named, a signal stops the
// unpack and leaves nothing, and `cache list|clean` keeps what the game
// folders still need.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {
namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string IniCopying(const std::string& file) {
  return "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nf=override\n[f]\nFile0=" + file + "\n";
}

// A tar of the given files (name, content), written with libarchive.
fs::path WriteTar(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& files) {
  struct archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  EXPECT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const auto& [name, content] : files) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(content.size()));
    archive_write_header(a, entry);
    if (!content.empty()) archive_write_data(a, content.data(), content.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
  return path;
}

class ArchiveCache : public ::testing::Test {
 protected:
  ArchiveCache() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("game/override/keep.txt", "keep");
  }
  // An archive of an installer mod that copies NAME.txt into override.
  fs::path ModTar(const std::string& name) {
    return WriteTar(dir / (name + ".tar"), {{"veypatchdata/changes.ini", IniCopying(name + ".txt")},
                                            {"veypatchdata/" + name + ".txt", name}});
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = (dir / "game").string();
    return RunCli(args, {"XDG_CACHE_HOME=" + (dir / "cache").string()});
  }
  fs::path Mods() const { return dir / "cache/veypatcher/mods"; }
  // What the cache holds besides its records: copies and unpacks under way.
  std::vector<std::string> Held() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(Mods(), ec)) {
      const std::string name = item.path().filename().string();
      if (name != ".meta" && name != ".sums") names.push_back(name);
    }
    return names;
  }
  // Every copy and record of the cache made two hours older.
  void AgeCache() const {
    const auto then = fs::file_time_type::clock::now() - std::chrono::hours(2);
    std::error_code ec;
    for (const fs::path folder : {Mods(), Mods() / ".meta"})
      for (const auto& item : fs::directory_iterator(folder, ec)) fs::last_write_time(item.path(), then, ec);
  }
  TempDir dir;
};

TEST_F(ArchiveCache, DamagedArchivesAreCalledDamaged) {
  struct Case {
    const char* file;
    std::string bytes;
    std::string said;
  };
  const std::vector<Case> cases = {
      {"noise.zip", std::string(3000, '\x17'), "\" is damaged or is no archive that can be read (zip, 7z, rar, tar"},
      {"cut.zip", std::string("PK\x03\x04\x14\x00\x00\x00", 8), "\" is damaged or is no archive that can be read"},
      {"empty.7z", "", "\" is damaged or is no archive that can be read (zip, 7z, rar, tar and compressed tars can): "
                       "the file is empty. Download it again."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path archive = dir.Write(c.file, c.bytes);
    const CliResult r = Run({"install", "--mod", archive.string(), "--game", "GAME", "--yes"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_TRUE(Contains(r.err, "The archive \"" + archive.string() + c.said)) << r.err;
    EXPECT_FALSE(Contains(r.err, "not a folder")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "game/.veypatcher"));
  }
}

// Ctrl-C, SIGTERM and SIGHUP while an archive unpacks: exit 3, nothing
// installed, nothing left in the cache; a kill leaves its unpack behind,
// and the next start removes it.
TEST_F(ArchiveCache, SignalsStopTheUnpackAndLeaveNothing) {
  std::vector<std::pair<std::string, std::string>> files = {{"veypatchdata/changes.ini", IniCopying("a.txt")},
                                                            {"veypatchdata/a.txt", "a"}};
  for (int i = 0; i < 30000; ++i) files.emplace_back("veypatchdata/many/f" + std::to_string(i), "x");
  const fs::path archive = WriteTar(dir / "slow.tar", files);
  const auto unpacking = [&] {
    for (const std::string& name : Held())
      if (name.starts_with(".unpacking-")) return true;
    return false;
  };
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(signal);
    const CliResult r = RunCliKilledWhen({"install", "--mod", archive.string(), "--game", (dir / "game").string(), "--yes"},
                                         {"XDG_CACHE_HOME=" + (dir / "cache").string()}, signal, unpacking);
    EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
    EXPECT_FALSE(fs::exists(dir / "game/.veypatcher"));
    if (signal == SIGKILL) {
      EXPECT_TRUE(unpacking());
      const CliResult next = Run({"install", "--mod", ModTar("b").string(), "--game", "GAME", "--yes"});
      EXPECT_EQ(next.exitCode, 0) << next.err;
      EXPECT_FALSE(unpacking());
      continue;
    }
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(Contains(r.err, "Unpacking the archive \"" + archive.string() +
                                    "\" was interrupted; what was unpacked is removed and nothing was installed."))
        << r.err;
    EXPECT_TRUE(Held().empty()) << Held().front();
  }
  // A list's check unpacks its archives the same way.
  dir.Write("list.toml", "[[mod]]\nname = \"Slow\"\nsource = \"slow.tar\"\n");
  const auto held = Held();
  const CliResult r = RunCliKilledWhen(
      {"modlist", "install", (dir / "list.toml").string(), "--game", (dir / "game").string(), "--yes"},
      {"XDG_CACHE_HOME=" + (dir / "cache").string()}, SIGINT, unpacking);
  EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, "Interrupted while the list's archives were unpacked; nothing was installed.")) << r.out;
  EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
  EXPECT_EQ(Held(), held);
}

TEST_F(ArchiveCache, CleanRemovesWhatNoServedGameFolderNames) {
  // A name beyond ASCII is shown as it is (file-system bytes, not code-page text).
  const fs::path installed = ModTar("a"), checked = ModTar("c \xC3\xBC");
  ASSERT_EQ(Run({"install", "--mod", installed.string(), "--game", "GAME", "--yes"}).exitCode, 0);
  ASSERT_EQ(Run({"summary", "--mod", checked.string()}).exitCode, 0);
  ASSERT_EQ(Held().size(), 2u);

  // Both were used a moment ago: a run may be about to start from either.
  CliResult fresh = Run({"cache", "clean"});
  EXPECT_EQ(fresh.exitCode, 0) << fresh.err;
  EXPECT_TRUE(Contains(fresh.out, "Kept \"c \xC3\xBC.tar\"")) << fresh.out;
  EXPECT_EQ(Held().size(), 2u);

  AgeCache();
  CliResult list = Run({"cache", "list"});
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_TRUE(Contains(list.out, "\"a.tar\" [")) << list.out;
  EXPECT_TRUE(Contains(list.out, "installed in 1 game folder(s)\n      " + (dir / "game").string())) << list.out;
  EXPECT_TRUE(Contains(list.out, "\"c \xC3\xBC.tar\" [")) << list.out;
  EXPECT_TRUE(Contains(list.out, "never installed")) << list.out;
  EXPECT_TRUE(Contains(list.out, "2 unpacked archive(s)")) << list.out;

  CliResult dry = Run({"cache", "clean", "--dry-run"});
  EXPECT_TRUE(Contains(dry.out, "Would remove \"c \xC3\xBC.tar\"")) << dry.out;
  EXPECT_TRUE(Contains(dry.out, "Kept \"a.tar\"")) << dry.out;
  EXPECT_TRUE(Contains(dry.out, "installed in " + (dir / "game").string())) << dry.out;
  EXPECT_EQ(Held().size(), 2u);

  CliResult clean = Run({"cache", "clean"});
  EXPECT_TRUE(Contains(clean.out, "Removed \"c \xC3\xBC.tar\"")) << clean.out;
  EXPECT_TRUE(Contains(clean.out, "(1 unpacked archive(s)); 1 kept.")) << clean.out;
  EXPECT_EQ(Held().size(), 1u);
  EXPECT_EQ(dir.Read("game/override/a.txt"), "a");

  // Once uninstalled, nothing names the copy any more.
  ASSERT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 0);
  AgeCache();
  CliResult after = Run({"cache", "clean"});
  EXPECT_TRUE(Contains(after.out, "Removed \"a.tar\"")) << after.out;
  EXPECT_TRUE(Held().empty());
  EXPECT_EQ(dir.Read("game/override/keep.txt"), "keep");
}

}  // namespace
}  // namespace vey::test
