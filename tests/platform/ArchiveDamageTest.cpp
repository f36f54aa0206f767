// Mod archives that are damaged, hostile or oversized are refused with a
// message naming the archive and the entry; names come through in the
// encoding each format carries; the cache trusts only what its unpacks wrote.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/Sha256.h"
#include "platform/ModArchive.h"
#include "platform/ModCache.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {
namespace fs = std::filesystem;
using test::TempDir;

struct Item {
  std::string name;
  std::string content{};
  mode_t type = AE_IFREG;
  std::string link{};      // symbolic link target
  std::string hardlink{};  // hard link target
};

// An archive written by libarchive in a UTF-8 locale, so that names beyond
// ASCII are stored the way the format carries them.
fs::path WriteArchive(const fs::path& path, const std::vector<Item>& items, const char* format) {
  locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  locale_t previous = ::uselocale(utf8);
  struct archive* a = archive_write_new();
  EXPECT_EQ(archive_write_set_format_by_name(a, format), ARCHIVE_OK) << format;
  EXPECT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const Item& item : items) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, item.name.c_str());
    archive_entry_set_filetype(entry, item.type);
    archive_entry_set_perm(entry, item.type == AE_IFDIR ? 0755 : 0644);
    if (!item.link.empty()) archive_entry_set_symlink(entry, item.link.c_str());
    if (!item.hardlink.empty()) archive_entry_set_hardlink(entry, item.hardlink.c_str());
    archive_entry_set_size(entry, item.type == AE_IFREG && item.hardlink.empty() ? item.content.size() : 0);
    EXPECT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << item.name << ": " << archive_error_string(a);
    if (!item.content.empty()) archive_write_data(a, item.content.data(), item.content.size());
    archive_entry_free(entry);
  }
  EXPECT_EQ(archive_write_close(a), ARCHIVE_OK) << archive_error_string(a);
  archive_write_free(a);
  ::uselocale(previous);
  ::freelocale(utf8);
  return path;
}

// A stored zip written byte by byte, for what no tool writes on purpose: a
// name in code page 437, a wrong checksum, a lying entry count.
struct RawZipEntry {
  std::string name;  // bytes as stored
  std::string data;
  bool utf8Flag = false;
  bool badCrc = false;
};
std::string Le(std::uint64_t value, int size) {
  std::string out;
  for (int i = 0; i < size; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}
std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}
std::string RawZip(const std::vector<RawZipEntry>& entries, std::uint64_t declaredCount = 0) {
  std::string local, central;
  for (const RawZipEntry& e : entries) {
    std::uint32_t crc = Crc32(e.data);
    if (e.badCrc) crc ^= 0x1234;
    const std::uint16_t flags = e.utf8Flag ? 0x0800 : 0;
    const std::string fields = Le(crc, 4) + Le(e.data.size(), 4) + Le(e.data.size(), 4) + Le(e.name.size(), 2);
    const std::size_t offset = local.size();
    local += Le(0x04034b50, 4) + Le(20, 2) + Le(flags, 2) + Le(0, 2) + Le(0, 4) + fields + Le(0, 2) + e.name + e.data;
    central += Le(0x02014b50, 4) + Le(20, 2) + Le(20, 2) + Le(flags, 2) + Le(0, 2) + Le(0, 4) + fields + Le(0, 2) +
               Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(0, 4) + Le(offset, 4) + e.name;
  }
  const std::uint64_t count = declaredCount ? declaredCount : entries.size();
  std::string zip64;
  if (count > 0xFFFE) {
    // A count past 16 bits is given in the zip64 end record.
    const std::size_t at = local.size() + central.size();
    zip64 = Le(0x06064b50, 4) + Le(44, 8) + Le(45, 2) + Le(45, 2) + Le(0, 4) + Le(0, 4) + Le(count, 8) + Le(count, 8) +
            Le(central.size(), 8) + Le(local.size(), 8) + Le(0x07064b50, 4) + Le(0, 4) + Le(at, 8) + Le(1, 4);
  }
  const std::uint64_t short16 = count > 0xFFFE ? 0xFFFF : count;
  return local + central + zip64 + Le(0x06054b50, 4) + Le(0, 2) + Le(0, 2) + Le(short16, 2) + Le(short16, 2) +
         Le(central.size(), 4) + Le(local.size(), 4) + Le(0, 2);
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string RandomBytes(std::size_t size) {
  std::mt19937_64 random(42);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

class ArchiveDamageTest : public ::testing::Test {
 protected:
  TempDir dir_;
  fs::path cache_ = dir_ / "cache";
  // Only finished copies and the cache's own records may stay.
  void ExpectNoLeftovers() {
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(cache_, ec))
      EXPECT_FALSE(item.path().filename().string().starts_with(".unpacking")) << item.path();
  }
};

TEST_F(ArchiveDamageTest, RefusesDamagedHostileAndOversizedArchivesNamingArchiveAndEntry) {
  const std::string mod = "veypatchdata/changes.ini";
  const std::string deep = "a/b/c/d/e/f/g/h/l";
  fs::create_directories(dir_ / "src");
  const fs::path good7z = WriteArchive(dir_ / "src/good.7z", {{mod, "x"}, {"veypatchdata/big.bin", RandomBytes(200000)}},
                                       "7zip");
  std::string cut7z = Slurp(good7z);
  cut7z.resize(cut7z.size() / 2);
  std::string flipped7z = Slurp(good7z);
  flipped7z[flipped7z.size() / 3] ^= 0x55;
  struct Case {
    const char* what;
    std::function<fs::path(const fs::path&)> make;
    std::int32_t code;
    std::string said;  // the message holds it
  };
  const std::vector<Case> cases = {
      {"zip entry with a wrong checksum",
       [&](const fs::path& p) { return dir_.Write(p.filename().string(), RawZip({{mod, "x"}, {"veypatchdata/a.txt", "abc", false, true}})); },
       kArchiveDamaged, "is damaged at the entry \"veypatchdata/a.txt\": ZIP bad CRC"},
      {"7z cut in half", [&](const fs::path& p) { return dir_.Write(p.filename().string(), cut7z); },
       kArchiveUnreadable, "is damaged or is no archive that can be read"},
      {"7z with a byte changed", [&](const fs::path& p) { return dir_.Write(p.filename().string(), flipped7z); },
       kArchiveDamaged, "is damaged at the entry"},
      {"no archive at all", [&](const fs::path& p) { return dir_.Write(p.filename().string(), RandomBytes(3000)); },
       kArchiveUnreadable, "is damaged or is no archive that can be read"},
      {"zip declaring more entries than allowed",
       [&](const fs::path& p) { return dir_.Write(p.filename().string(), RawZip({{mod, "x"}}, 100001)); },
       kArchiveTooLarge, "holds more than 100000 entries"},
      {"hard link to a deep link that climbs out from the root",
       [&](const fs::path& p) {
         return WriteArchive(p, {{mod, "x"}, {deep, "", AE_IFLNK, "../../../../../../../../etc"}, {"etc", "", AE_IFREG, "", deep}},
                             "pax");
       },
       kArchiveEntryRefused, "\"etc\" is refused: its target is no file extracted before it"},
      {"hard link to a folder",
       [&](const fs::path& p) {
         return WriteArchive(p, {{mod, "x"}, {"veypatchdata/sub", "", AE_IFDIR}, {"h", "", AE_IFREG, "", "veypatchdata/sub"}},
                             "pax");
       },
       kArchiveEntryRefused, "\"h\" is refused: its target is no file extracted before it"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path archive = c.make(dir_ / ("case" + std::to_string(n++) + ".bin"));
    try {
      ExtractModArchive(archive, cache_);
      ADD_FAILURE() << "not refused";
    } catch (const EModArchive& e) {
      EXPECT_EQ(e.Code(), c.code) << e.what();
      const std::string text = e.what();
      EXPECT_NE(text.find(c.said), std::string::npos) << text;
      if (c.code != kArchiveEntryRefused)
        EXPECT_NE(text.find(archive.string()), std::string::npos) << text;
    }
    ExpectNoLeftovers();
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(cache_, ec))
      EXPECT_TRUE(item.path().filename().string().starts_with(".")) << "a copy was kept: " << item.path();
  }
  // The count is checked on the entries read too, not only on what a zip
  // declares: a tar one entry past a limit of three.
  const fs::path four = WriteArchive(dir_ / "four.tar", {{mod, "x"}, {"a"}, {"b"}, {"c"}}, "pax");
  ExtractLimits three;
  three.entries = 3;
  EXPECT_THROW(ExtractModArchive(four, cache_, three), EModArchive);
  three.entries = 4;
  EXPECT_NO_THROW(ExtractModArchive(four, cache_, three));
}

TEST_F(ArchiveDamageTest, NamesAreReadInTheEncodingOfTheirFormat) {
  const std::string cafe = "caf\xC3\xA9 \xC3\xBC.txt";  // "café ü.txt" in UTF-8
  struct Case {
    const char* what;
    std::function<fs::path()> make;
    std::string expected;  // the file's name in the cache, UTF-8
  };
  const std::vector<Case> cases = {
      {"zip marked UTF-8", [&] { return dir_.Write("flag.zip", RawZip({{"veypatchdata/" + cafe, "1", true}})); }, cafe},
      {"zip unmarked, UTF-8 bytes", [&] { return dir_.Write("bytes.zip", RawZip({{"veypatchdata/" + cafe, "1"}})); },
       cafe},
      // 0x82 is 'é' and 0x81 'ü' in code page 437, and no UTF-8.
      {"zip unmarked, code page 437",
       [&] { return dir_.Write("dos.zip", RawZip({{"veypatchdata/caf\x82 \x81.txt", "1"}})); }, cafe},
      {"zip written by libarchive", [&] { return WriteArchive(dir_ / "la.zip", {{"veypatchdata/" + cafe, "1"}}, "zip"); },
       cafe},
      {"7z (UTF-16 names)", [&] { return WriteArchive(dir_ / "u.7z", {{"veypatchdata/" + cafe, "1"}}, "7zip"); }, cafe},
      {"pax tar", [&] { return WriteArchive(dir_ / "u.tar", {{"veypatchdata/" + cafe, "1"}}, "pax"); }, cafe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ExtractedMod copy = ExtractModArchive(c.make(), cache_);
    EXPECT_EQ(Slurp(copy.folder / "veypatchdata" / c.expected), "1");
  }
}

// Digests of formats whose reader jumps about (a 7z reads its index at the
// end first) over more than one read block.
TEST_F(ArchiveDamageTest, DigestOfASevenZipOfSeveralReadBlocksIsTheFileDigest) {
  const std::string noise = RandomBytes(3u << 20);
  const fs::path archive = WriteArchive(dir_ / "noise.7z", {{"veypatchdata/changes.ini", "x"}, {"veypatchdata/noise.bin", noise}},
                                        "7zip");
  ASSERT_GT(fs::file_size(archive), 3u << 20);
  const ExtractedMod copy = ExtractModArchive(archive, cache_);
  EXPECT_EQ(copy.sha256, Sha256OfFile(archive));
  EXPECT_TRUE(Slurp(copy.folder / "veypatchdata/noise.bin") == noise);
}

TEST_F(ArchiveDamageTest, AnInterruptedUnpackLeavesNothing) {
  const fs::path archive = WriteArchive(dir_ / "m.tar", {{"veypatchdata/changes.ini", "x"}}, "pax");
  std::atomic<bool> cancel{true};
  try {
    ExtractModArchive(archive, cache_, {}, &cancel);
    ADD_FAILURE() << "not interrupted";
  } catch (const EModArchive& e) {
    EXPECT_EQ(e.Code(), kArchiveInterrupted);
    EXPECT_NE(std::string(e.what()).find("was interrupted; what was unpacked is removed"), std::string::npos);
  }
  ExpectNoLeftovers();
  EXPECT_FALSE(fs::exists(cache_ / Sha256OfFile(archive)));
}

// What stands in the cache under an archive's digest is used only when it is
// a folder holding everything the manifest of its unpack lists.
TEST_F(ArchiveDamageTest, CacheCopiesAreTrustedOnlyWithAMatchingManifest) {
  const fs::path archive =
      WriteArchive(dir_ / "m.tar", {{"veypatchdata/changes.ini", "real"}, {"veypatchdata/a.txt", "aaa"}}, "pax");
  const std::string sha = Sha256OfFile(archive);
  const fs::path copy = cache_ / sha;
  dir_.Write("outside/veypatchdata/changes.ini", "planted");
  struct Case {
    const char* what;
    std::function<void()> plant;
  };
  const std::vector<Case> cases = {
      {"a planted folder without manifest",
       [&] {
         fs::create_directories(copy / "veypatchdata");
         std::ofstream(copy / "veypatchdata/changes.ini") << "planted";
       }},
      {"a link to a folder elsewhere", [&] { fs::create_directory_symlink(dir_ / "outside", copy); }},
      {"a file", [&] { std::ofstream(copy) << "x"; }},
      {"a copy whose file changed size", [&] {
         ExtractModArchive(archive, cache_);
         std::ofstream(copy / "veypatchdata/a.txt") << "changed";
       }},
      {"a copy missing a file", [&] {
         ExtractModArchive(archive, cache_);
         fs::remove(copy / "veypatchdata/a.txt");
       }},
      {"the records folder a link out", [&] { fs::create_directory_symlink(dir_ / "outside", cache_ / ".meta"); }},
      {"the remembered digests a link out", [&] { fs::create_directory_symlink(dir_ / "outside", cache_ / ".sums"); }},
      {"a manifest that is a FIFO", [&] {
         ExtractModArchive(archive, cache_);
         fs::remove(cache_ / ".meta" / (sha + ".manifest"));
         ASSERT_EQ(::mkfifo((cache_ / ".meta" / (sha + ".manifest")).c_str(), 0644), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(cache_);
    fs::create_directories(cache_);
    c.plant();
    const ExtractedMod mod = ExtractModArchive(archive, cache_);
    EXPECT_FALSE(fs::is_symlink(copy));
    EXPECT_EQ(Slurp(copy / "veypatchdata/changes.ini"), "real");
    EXPECT_EQ(Slurp(copy / "veypatchdata/a.txt"), "aaa");
    EXPECT_EQ(Slurp(dir_ / "outside/veypatchdata/changes.ini"), "planted");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "outside"), fs::directory_iterator()), 1);
    EXPECT_TRUE(ModCache(cache_).Usable(sha));
    ExpectNoLeftovers();
  }
  // A sound copy is reused, with what the installer added beside the mod
  // (its backups and log) kept; so is an earlier version's copy without a
  // manifest whose content is the archive's.
  fs::remove_all(cache_);
  ExtractModArchive(archive, cache_);
  dir_.Write("cache/" + sha + "/backup/x.2da", "backup");
  EXPECT_TRUE(ExtractModArchive(archive, cache_).reused);
  fs::remove(cache_ / ".meta" / (sha + ".manifest"));
  fs::remove_all(cache_ / ".sums");
  EXPECT_TRUE(ExtractModArchive(archive, cache_).reused);
  EXPECT_EQ(Slurp(copy / "backup/x.2da"), "backup");
  EXPECT_TRUE(ModCache(cache_).Usable(sha));
}

TEST_F(ArchiveDamageTest, LeftoversOfUnpacksWhoseProcessIsGoneAreRemoved) {
  const fs::path archive = WriteArchive(dir_ / "m.tar", {{"veypatchdata/changes.ini", "x"}}, "pax");
  fs::create_directories(cache_);
  // A process that has ended: its id is free or taken by one started later.
  dir_.Write("cache/.unpacking-999999999-1-deadbeef/veypatchdata/big.bin", "half");
  dir_.Write("cache/.unpacking-1-1-0000cafe/a", "pid 1 started at another time");
  fs::create_directory_symlink(dir_ / "outside", cache_ / ".unpacking-2-2-link");
  fs::create_directories(dir_ / "outside");
  dir_.Write("outside/keep.txt", "keep");
  // An unpack under way in this process, its lock held.
  const ModCache cache(cache_);
  std::optional<UnpackFolder> running;
  running.emplace(cache);
  dir_.Write("cache/" + running->Name() + "/part.bin", "part");
  // And one whose lock is held though its name, of an earlier version, says
  // nothing of its owner, and it is old enough to be taken for a leftover.
  fs::create_directories(cache_ / ".unpacking-old");
  fs::last_write_time(cache_ / ".unpacking-old", fs::file_time_type::clock::now() - std::chrono::hours(2));
  const int held = ::open((cache_ / ".unpacking-old").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  ExtractModArchive(archive, cache_);
  EXPECT_FALSE(fs::exists(cache_ / ".unpacking-999999999-1-deadbeef"));
  EXPECT_FALSE(fs::exists(cache_ / ".unpacking-1-1-0000cafe"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(cache_ / ".unpacking-2-2-link")));
  EXPECT_EQ(Slurp(dir_ / "outside/keep.txt"), "keep");
  EXPECT_EQ(Slurp(running->Path() / "part.bin"), "part");
  EXPECT_TRUE(fs::exists(cache_ / ".unpacking-old"));
  ::close(held);
  ExtractModArchive(archive, cache_);
  EXPECT_FALSE(fs::exists(cache_ / ".unpacking-old"));
  const fs::path runningPath = running->Path();
  running.reset();
  EXPECT_FALSE(fs::exists(runningPath));
}

}  // namespace
}  // namespace vey::platform
