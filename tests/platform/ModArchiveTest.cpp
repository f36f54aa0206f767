// Mod archives: each kind unpacked into the cache, hostile entries refused.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/Sha256.h"
#include "platform/ArchiveNames.h"
#include "platform/ModArchive.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {
namespace fs = std::filesystem;
using test::TempDir;

bool HaveBsdtar() { return std::system("command -v bsdtar >/dev/null 2>&1") == 0; }

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// The archive made from folder's content by Debian's own tool.
fs::path Bsdtar(const fs::path& folder, const fs::path& archive, const std::string& flags) {
  const std::string command = "cd " + Quoted(folder) + " && bsdtar " + flags + " -cf " + Quoted(archive) + " .";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return archive;
}

// Hostile entries no packing tool makes on purpose, written straight with
// libarchive's writer.
struct Entry {
  std::string name;
  mode_t type = AE_IFREG;
  std::string content{};
  std::string link{};      // symbolic link target
  std::string hardlink{};  // hard link target
};

fs::path WriteTar(const fs::path& archive, const std::vector<Entry>& entries) {
  struct archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  EXPECT_EQ(archive_write_open_filename(a, archive.c_str()), ARCHIVE_OK);
  for (const Entry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_filetype(entry, e.type);
    archive_entry_set_perm(entry, 0644);
    if (!e.link.empty()) archive_entry_set_symlink(entry, e.link.c_str());
    if (!e.hardlink.empty()) archive_entry_set_hardlink(entry, e.hardlink.c_str());
    archive_entry_set_size(entry, e.type == AE_IFREG && e.hardlink.empty() ? e.content.size() : 0);
    EXPECT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << e.name;
    if (!e.content.empty()) archive_write_data(a, e.content.data(), e.content.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
  return archive;
}

// A RAR 5 archive of stored (uncompressed) files, written from the format's
// public description: no packing tool on Debian writes RAR.
class Rar5Writer {
 public:
  void File(const std::string& name, const std::string& content) {
    std::string fields;
    Vint(fields, 2);       // header type: file
    Vint(fields, 0x0002);  // header flags: a data area follows
    Vint(fields, content.size());
    Vint(fields, 0x0004);  // file flags: data CRC32 present
    Vint(fields, content.size());
    Vint(fields, 0x81A4);  // attributes: a regular file, rw-r--r--
    U32(fields, Crc32(content));
    Vint(fields, 0);  // compression: version 0, method 0 (store)
    Vint(fields, 1);  // host: Unix
    Vint(fields, name.size());
    fields += name;
    files_ += Block(fields) + content;
  }
  std::string Bytes() const {
    const std::string mainHeader{1, 0, 0};  // type main archive, no header flags, no archive flags
    const std::string endHeader{5, 0, 0};   // type end of archive, no flags, last volume
    return std::string("Rar!\x1A\x07\x01\x00", 8) + Block(mainHeader) + files_ + Block(endHeader);
  }

 private:
  static void Vint(std::string& out, std::uint64_t value) {
    do {
      std::uint8_t byte = value & 0x7F;
      value >>= 7;
      if (value) byte |= 0x80;
      out += static_cast<char>(byte);
    } while (value);
  }
  static void U32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  static std::uint32_t Crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
      crc ^= c;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
  }
  // CRC32, the header size, the fields; the CRC covers the size and the fields.
  static std::string Block(const std::string& fields) {
    std::string sized;
    Vint(sized, fields.size());
    sized += fields;
    std::string block;
    U32(block, Crc32(sized));
    return block + sized;
  }
  std::string files_;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ModArchiveTest : public ::testing::Test {
 protected:
  TempDir dir_;
  fs::path cache_ = dir_ / "cache";
  // Nothing but finished copies and remembered digests may stay in the cache.
  void ExpectNoLeftovers() {
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(cache_, ec))
      EXPECT_FALSE(item.path().filename().string().starts_with(".unpacking")) << item.path();
  }
};

TEST_F(ModArchiveTest, EveryKindUnpacksToTheSameFilesUnderItsDigest) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  dir_.Write("src/My Mod/veypatchdata/changes.ini", "[Settings]\r\nFileExists=1\r\n");
  dir_.Write("src/My Mod/veypatchdata/sub/a.2da", std::string(100000, 'x'));
  dir_.Write("src/readme.txt", "hello");
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"m.zip", "--format zip"}, {"m.7z", "--format 7zip"}, {"m.tar", ""}, {"m.tar.xz", "-J"},
      {"m.tgz", "-z"},           {"m.tar.bz2", "-j"},      {"m.tar.zst", "--zstd"}};
  for (const auto& [name, flags] : kinds) {
    SCOPED_TRACE(name);
    if (name.ends_with(".zst") && std::system("command -v zstd >/dev/null 2>&1") != 0) continue;
    const fs::path archive = Bsdtar(dir_ / "src", dir_ / name, flags);
    ASSERT_TRUE(LooksLikeArchive(archive));
    const ExtractedMod copy = ExtractModArchive(archive, cache_);
    EXPECT_EQ(copy.sha256, Sha256OfFile(archive));
    EXPECT_EQ(copy.folder, cache_ / copy.sha256);
    EXPECT_FALSE(copy.reused);
    EXPECT_EQ(Slurp(copy.folder / "My Mod/veypatchdata/sub/a.2da"), std::string(100000, 'x'));
    EXPECT_EQ(ChooseModFolder(copy.folder, std::nullopt), copy.folder / "My Mod");
    // The second time the copy is found without unpacking again.
    const ExtractedMod again = ExtractModArchive(archive, cache_);
    EXPECT_TRUE(again.reused);
    EXPECT_EQ(again.folder, copy.folder);
    EXPECT_EQ(ArchiveSha256(archive, cache_), copy.sha256);
  }
  ExpectNoLeftovers();
  EXPECT_FALSE(LooksLikeArchive(dir_ / "src"));
  EXPECT_FALSE(LooksLikeArchive(dir_ / "src/readme.txt"));
}

TEST_F(ModArchiveTest, StoredRar5Unpacks) {
  Rar5Writer rar;
  rar.File("Mod/veypatchdata/changes.ini", "[Settings]\r\n");
  rar.File("Mod/veypatchdata/a.txt", std::string(5000, 'r'));
  const fs::path archive = dir_.Write("m.rar", rar.Bytes());
  ASSERT_TRUE(LooksLikeArchive(archive));
  const ExtractedMod copy = ExtractModArchive(archive, cache_);
  EXPECT_EQ(Slurp(copy.folder / "Mod/veypatchdata/a.txt"), std::string(5000, 'r'));
  EXPECT_EQ(ChooseModFolder(copy.folder, std::nullopt), copy.folder / "Mod");
}

TEST_F(ModArchiveTest, RefusesHostileEntriesNamingThemAndLeavesNothing) {
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    std::string named;  // the text the message must hold
  };
  const std::vector<Case> cases = {
      {"absolute", {{"/etc/evil"}}, "\"/etc/evil\" is refused: its name is absolute"},
      {"backslash absolute", {{"\\evil"}}, "its name is absolute"},
      {"dot dot", {{"mod/../../evil"}}, "\"mod/../../evil\" is refused: its name climbs out"},
      {"drive letter", {{"C:evil.txt"}}, "drive letter"},
      {"control character", {{"mod/a\x01.txt"}}, "\"mod/a\\x01.txt\" is refused: its name holds a control"},
      {"link outside", {{"mod/l", AE_IFLNK, "", "../../etc"}}, "\"mod/l\" is refused: a link to \"../../etc\""},
      {"absolute link", {{"l", AE_IFLNK, "", "/etc/passwd"}}, "a link to \"/etc/passwd\", outside"},
      {"link after a name", {{"a/l", AE_IFLNK, "", "x/../../y"}}, "outside the archive"},
      {"hard link outside", {{"h", AE_IFREG, "", "", "../outside"}}, "a hard link to \"../outside\""},
      {"hard link to nothing", {{"h", AE_IFREG, "", "", "missing"}}, "its target is no file"},
      {"write through a link", {{"d", AE_IFLNK, "", "."}, {"d/x.txt", AE_IFREG, "x"}}, "through a link"},
      {"folder named like a file", {{"mod/f", AE_IFREG, "x"}, {"mod/f/x.txt", AE_IFREG, "x"}},
       "\"mod/f/x.txt\" is refused: a folder on the way is a file or a link"},
      {"character device", {{"dev", AE_IFCHR}}, "\"dev\" is refused: a device file"},
      {"block device", {{"dev", AE_IFBLK}}, "a device file"},
      {"fifo", {{"pipe", AE_IFIFO}}, "a special file"},
      {"letter case", {{"Override/a.tga", AE_IFREG, "1"}, {"override/b.tga", AE_IFREG, "2"}},
       "\"Override\" and \"override/b.tga\", names that differ only in letter case; the whole archive is refused"},
      {"letter case of files", {{"a.TGA", AE_IFREG, "1"}, {"a.tga", AE_IFREG, "2"}}, "differ only in letter case"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Entry> entries = {{"veypatchdata/changes.ini", AE_IFREG, "x"}};
    entries.insert(entries.end(), c.entries.begin(), c.entries.end());
    const fs::path archive = WriteTar(dir_ / "bad.tar", entries);
    try {
      ExtractModArchive(archive, cache_);
      ADD_FAILURE() << "not refused";
    } catch (const EModArchive& e) {
      EXPECT_EQ(e.Code(), kArchiveEntryRefused);
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
    ExpectNoLeftovers();
    EXPECT_FALSE(fs::exists(dir_ / "outside"));
  }
  // Links that stay inside are kept as they are; of a name given twice the
  // later entry wins, as when unpacking by hand.
  const fs::path fine = WriteTar(dir_ / "fine.tar", {{"veypatchdata/a.txt", AE_IFREG, "first"},
                                                     {"veypatchdata/a.txt", AE_IFREG, "a"},
                                                     {"veypatchdata/h", AE_IFREG, "earlier"},
                                                     {"veypatchdata/sub/l", AE_IFLNK, "", "../a.txt"},
                                                     {"veypatchdata/h", AE_IFREG, "", "", "veypatchdata/a.txt"}});
  const ExtractedMod copy = ExtractModArchive(fine, cache_);
  EXPECT_EQ(Slurp(copy.folder / "veypatchdata/sub/l"), "a");
  EXPECT_EQ(Slurp(copy.folder / "veypatchdata/h"), "a");
}

// Files are written on a second thread while the next entries are read: a
// file larger than what may wait in between arrives whole and in order, and
// of two refused entries the earlier one is named even when the reading
// meets the later one before the writing meets the earlier.
TEST_F(ModArchiveTest, WritingBesideReadingKeepsContentAndTheFirstFailure) {
  std::string large(40u << 20, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 7 + i / 65536) % 251);
  const fs::path whole = WriteTar(dir_ / "large.tar", {{"veypatchdata/changes.ini", AE_IFREG, "x"},
                                                        {"veypatchdata/large.bin", AE_IFREG, large},
                                                        {"veypatchdata/after.txt", AE_IFREG, "after"}});
  const ExtractedMod copy = ExtractModArchive(whole, cache_);
  EXPECT_TRUE(Slurp(copy.folder / "veypatchdata/large.bin") == large);
  EXPECT_EQ(Slurp(copy.folder / "veypatchdata/after.txt"), "after");

  const std::vector<Entry> entries = {{"mod/f", AE_IFREG, "x"}, {"mod/f/x.txt", AE_IFREG, "x"}, {"mod/../../evil"}};
  try {
    ExtractModArchive(WriteTar(dir_ / "two.tar", entries), cache_);
    ADD_FAILURE() << "not refused";
  } catch (const EModArchive& e) {
    EXPECT_NE(std::string(e.what()).find("\"mod/f/x.txt\" is refused"), std::string::npos) << e.what();
  }
  ExpectNoLeftovers();
}

// Sparse entries come back at their full size with their holes as zeros,
// whether the hole lies between data or at the end; an executable entry
// stays executable.
TEST_F(ModArchiveTest, SparseEntriesKeepTheirSizeAndModesTheirExecuteBit) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  dir_.Write("src/veypatchdata/changes.ini", "x");
  std::string tail(300000, '\0'), middle(300000, '\0');
  tail.replace(0, 4, "head");
  middle.replace(0, 4, "head");
  middle.replace(middle.size() - 4, 4, "tail");
  for (const auto& [name, content] : {std::pair{"tail.bin", &tail}, std::pair{"middle.bin", &middle}}) {
    const fs::path file = dir_ / "src/veypatchdata" / name;
    std::ofstream out(file, std::ios::binary);
    out.write("head", 4);
    if (content == &middle) {
      out.seekp(static_cast<std::streamoff>(middle.size() - 4));
      out.write("tail", 4);
    }
    out.close();
    fs::resize_file(file, content->size());
  }
  dir_.Write("src/veypatchdata/run.sh", "#!/bin/sh\n");
  fs::permissions(dir_ / "src/veypatchdata/run.sh", fs::perms::owner_exec, fs::perm_options::add);
  const fs::path archive = Bsdtar(dir_ / "src", dir_ / "sparse.tar", "--format pax");
  if (fs::file_size(archive) > 100000) GTEST_SKIP() << "the temporary folder keeps no holes";
  const ExtractedMod copy = ExtractModArchive(archive, cache_);
  EXPECT_TRUE(Slurp(copy.folder / "veypatchdata/tail.bin") == tail);
  EXPECT_TRUE(Slurp(copy.folder / "veypatchdata/middle.bin") == middle);
  const auto executable = [&](const char* name) {
    return (fs::status(copy.folder / "veypatchdata" / name).permissions() & fs::perms::owner_exec) != fs::perms::none;
  };
  EXPECT_TRUE(executable("run.sh"));
  EXPECT_FALSE(executable("changes.ini"));
  // Holes count toward the size limits: a small archive of large holes is
  // no way past them.
  fs::remove_all(cache_);
  try {
    ExtractModArchive(archive, cache_, {1000, 2});
    ADD_FAILURE() << "not stopped";
  } catch (const EModArchive& e) {
    EXPECT_EQ(e.Code(), kArchiveTooLarge);
  }
  ExpectNoLeftovers();
}

TEST_F(ModArchiveTest, StopsPastBothSizeLimitsAndRemovesWhatWasWritten) {
  const std::string big(300000, '\0');  // packs into a few hundred bytes in a tar.xz
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  dir_.Write("src/veypatchdata/one.bin", big);
  dir_.Write("src/veypatchdata/two.bin", big);
  const fs::path archive = Bsdtar(dir_ / "src", dir_ / "bomb.tar.xz", "-J");
  const std::uint64_t size = fs::file_size(archive);
  struct Limit {
    std::uint64_t absolute, ratio;
    bool refused;
  };
  // Past the absolute limit but within the ratio, past the ratio but within
  // the absolute limit: both pass; past both: refused.
  for (const Limit& l : {Limit{1000, 100000, false}, Limit{1000000, 2, false}, Limit{1000, 2, true},
                         Limit{600000, 600000 / size, false}}) {
    SCOPED_TRACE(std::to_string(l.absolute) + " " + std::to_string(l.ratio));
    fs::remove_all(cache_);
    if (l.refused) {
      try {
        ExtractModArchive(archive, cache_, {l.absolute, l.ratio});
        ADD_FAILURE() << "not stopped";
      } catch (const EModArchive& e) {
        EXPECT_EQ(e.Code(), kArchiveTooLarge);
        EXPECT_NE(std::string(e.what()).find("extraction stopped"), std::string::npos) << e.what();
      }
      ExpectNoLeftovers();
    } else {
      EXPECT_NO_THROW(ExtractModArchive(archive, cache_, {l.absolute, l.ratio}));
    }
  }
}

TEST_F(ModArchiveTest, FindsModFoldersUpToThreeDeepAndChoosesByIn) {
  for (const char* folder : {"veypatchdata", "a/VeyPatchData", "a/b/c/veypatchdata", "a/b/c/d/veypatchdata"})
    fs::create_directories(dir_ / "root" / folder);
  const fs::path root = dir_ / "root";
  EXPECT_EQ(FindModFolders(root), (std::vector<std::string>{"", "a", "a/b/c"}));
  try {
    ChooseModFolder(root, std::nullopt);
    ADD_FAILURE() << "several not reported";
  } catch (const EModArchive& e) {
    EXPECT_EQ(e.Code(), kArchiveSeveralMods);
    EXPECT_NE(std::string(e.what()).find("\n  .\n  a\n  a/b/c"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ChooseModFolder(root, "A\\B\\C\\"), root / "a/b/c");
  EXPECT_EQ(ChooseModFolder(root, "."), root);
  EXPECT_THROW(ChooseModFolder(root, "a/b"), EModArchive);
  fs::create_directories(dir_ / "none/x");
  EXPECT_THROW(ChooseModFolder(dir_ / "none", std::nullopt), EModArchive);
}

TEST(ArchiveNames, LinkTargetsAndNames) {
  struct Link {
    std::vector<std::string> at;
    const char* target;
    bool inside;
  };
  for (const Link& l : {Link{{"a", "b", "l"}, "../../x", true}, Link{{"a", "b", "l"}, "../../../x", false},
                        Link{{"l"}, ".", true}, Link{{"a", "l"}, "x/../y", false}, Link{{"l"}, "", false},
                        Link{{"a", "l"}, "c:/x", false}, Link{{"a", "l"}, "\\x", false}})
    EXPECT_EQ(LinkStaysInside(l.at, l.target), l.inside) << l.target;
  EXPECT_EQ(SplitEntryName("./a\\b//c/"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_FALSE(SplitEntryName("a/\x7F"));
  EXPECT_FALSE(SplitEntryName("unit\x1F"));
  EXPECT_TRUE(SplitEntryName("a b~"));
  EXPECT_EQ(PrintableName("unit\x1F\x20\x7F"), "unit\\x1F \\x7F");
  EXPECT_FALSE(LinkStaysInside({"l"}, "x\x1F"));
  EXPECT_FALSE(SplitEntryName(""));
  EXPECT_TRUE(SplitEntryName("a..b/c.."));
}

}  // namespace
}  // namespace vey::platform
