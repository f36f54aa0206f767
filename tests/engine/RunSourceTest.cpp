// The digest of a mod's shipped files, which leaves out what the installer
// writes into the mod folder, and the source record read as untrusted input.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/support/URunSource.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

TEST(ModDigest, ShippedFilesCountTheInstallersOwnDoNot) {
  struct Case {
    const char* path;
    bool counts;
  };
  const Case cases[] = {
      {"veypatchdata/changes.ini", true},
      {"veypatchdata/new.2da", true},
      {"readme.txt", true},
      {"veypatchdata/ns1/debug.txt", true},
      {"backup/spells.2da", false},
      {"installlog.rtf", false},
      {"installlog.txt", false},
      {"veypatchdata/erfpatch_temp/a.utc", false},
      {"veypatchdata/nsspatch_temp/a.nss", false},
      {"veypatchdata/debug/a.nss", false},
      {"veypatchdata/ns1/erfpatch_temp/queued/a.utc", false},
      {"veypatchdata/ns1/debug/a.nss", false},
      {"veypatchdata/spells.2da.vey-12-3.tmp", false},
      // Only where the installer writes them.
      {"veypatchdata/backup/spells.2da", true},
      {"docs/debug/a.txt", true},
      {"veypatchdata/ns1/deeper/debug/a.txt", true},
      {"installlog.rtf.txt", true},
      // In any letter case: the folders are found so by the installer.
      {"Backup/spells.2da", false},
      {"InstallLog.RTF", false},
      {"VEYPatchData/ns1/Debug/a.nss", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TempDir dir;
    dir.Write("mod/veypatchdata/changes.ini", "[Settings]\n");
    dir.Write("mod/veypatchdata/ns1/changes.ini", "[Settings]\n");
    const std::string before = ModDigest(dir / "mod");
    ASSERT_EQ(before.size(), 64u);
    dir.Write(std::string("mod/") + c.path, "written");
    EXPECT_EQ(ModDigest(dir / "mod") != before, c.counts);
  }
}

TEST(ModDigest, NamesAndLinksCountAndLinksAreNotFollowed) {
  TempDir dir;
  dir.Write("mod/veypatchdata/a.txt", "same");
  dir.Write("outside.txt", "one");
  fs::create_symlink(dir / "outside.txt", dir / "mod/veypatchdata/link.txt");
  const std::string first = ModDigest(dir / "mod");
  dir.Write("outside.txt", "two");
  EXPECT_EQ(ModDigest(dir / "mod"), first);
  fs::remove(dir / "mod/veypatchdata/link.txt");
  fs::create_symlink(dir / "elsewhere.txt", dir / "mod/veypatchdata/link.txt");
  EXPECT_NE(ModDigest(dir / "mod"), first);
  fs::remove(dir / "mod/veypatchdata/link.txt");
  const std::string without = ModDigest(dir / "mod");
  fs::rename(dir / "mod/veypatchdata/a.txt", dir / "mod/veypatchdata/b.txt");
  EXPECT_NE(ModDigest(dir / "mod"), without);
  EXPECT_EQ(ModDigest(dir / "missing"), "");
}

// Taken on a thread while the run goes on: the digest of what was read,
// with a note when a file's size moved after it was read.
TEST(ModDigest, TakenAlongsideTheRunNotesSizesThatMoved) {
  TempDir dir;
  dir.Write("mod/veypatchdata/changes.ini", "[Settings]\n");
  dir.Write("mod/veypatchdata/a.2da", "first");
  const std::string before = ModDigest(dir / "mod");
  {
    TModDigestTask task(dir / "mod");
    // The installer's own writes beside the mod move nothing.
    dir.Write("mod/backup/a.2da", "kept");
    dir.Write("mod/installlog.rtf", "log");
    const TModDigestTask::Result r = task.Take();
    EXPECT_EQ(r.digest, before);
    EXPECT_EQ(r.note, "");
  }
  TModDigestTask task(dir / "mod");
  // Once read, a file of the mod grows.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  dir.Write("mod/veypatchdata/a.2da", "first and more");
  const TModDigestTask::Result r = task.Take();
  if (r.digest == before) {
    EXPECT_EQ(r.note, "sizes moved during the run: veypatchdata/a.2da");
  } else {
    // Read after the change (a very slow machine): the digest is of that.
    EXPECT_EQ(r.digest, ModDigest(dir / "mod"));
    EXPECT_EQ(r.note, "");
  }
  EXPECT_EQ(TModDigestTask(dir / "missing").Take().digest, "");
}

TEST(SourceRecord, RoundTripAndRefusals) {
  TRunSource s;
  s.modFolder = "/home/jane doe/mods/Fix%\tpack";
  s.iniName = "alt.ini";
  s.archive = "/home/jane doe/downloads/fix.7z";
  s.archiveSha256 = std::string(64, 'a');
  s.in = "Fix pack";
  s.installationType = "Namespace1";
  s.compiler = "/usr/local/bin/nsscomp";
  s.noSandbox = true;
  s.picks = {"dialog.tlk=/tmp/x=y.tlk", "a.2da=/tmp/a.2da"};
  s.backupDir = "/mnt/backups";
  s.digest = std::string(64, 'b');
  s.digestNote = "sizes moved during the run: veypatchdata/a b.2da";
  std::string problem;
  EXPECT_EQ(ParseSource(SourceText(s), problem), s) << problem;
  TRunSource bare;
  bare.modFolder = "/m";
  EXPECT_EQ(ParseSource(SourceText(bare), problem), bare);
  // Written only when there is one, so that older programs read the record.
  EXPECT_EQ(SourceText(bare).find("digest-note"), std::string::npos);

  struct Case {
    const char* text;
    const char* problem;
  };
  const Case cases[] = {
      {"", "source.txt line 0: empty"},
      {"veypatcher-source 2\nmod=/m\n", "source.txt line 1: not a source record this version reads"},
      {"veypatcher-source 1\nmod=relative/m\n", "source.txt line 2: the mod folder is not an absolute path"},
      {"veypatcher-source 1\nini=a.ini\n", "source.txt line 2: the mod folder is not an absolute path"},
      {"veypatcher-source 1\nmod=/m\ncompiler=sh\n", "source.txt line 3: a path that is not absolute"},
      {"veypatcher-source 1\nmod=/m\nshell=/bin/sh\n", "source.txt line 3: unknown key"},
      {"veypatcher-source 1\nmod=/m\nno-sandbox=yes\n", "source.txt line 3: no-sandbox is neither 0 nor 1"},
      {"veypatcher-source 1\nmod=/m%4\n", "source.txt line 2: bad escape"},
      {"veypatcher-source 1\nmod\n", "source.txt line 2: no value"},
      {"veypatcher-source 1\nmod=/m\npick=nothing\n", "source.txt line 3: bad pick"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    problem.clear();
    EXPECT_FALSE(ParseSource(c.text, problem));
    EXPECT_EQ(problem, c.problem);
  }
}

}  // namespace
}  // namespace vey::test
