// JournalCheck: whether the files the installer wrote are still as it left
// them, by their content, and the marks a forced uninstall leaves on the
// later runs whose changes it took back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RunJournal.h"

namespace vey::platform {

// What the installer last left at one path.
struct ExpectedFile {
  std::string path;  // relative to the game folder
  std::string run;   // the run that last wrote it
  bool exists = false;
  std::uint64_t size = 0;
  std::string sha256;
  std::uint64_t inode = 0;  // 0: unknown (a forced uninstall put it back)
};

// A file that is no longer as the installer left it.
struct FileDrift {
  std::string path;
  std::string state;  // "changed" (edited in place), "replaced" (another file stands there), "removed"
  std::string run;
};

// Record values with the record's own separators ('%', tab, line breaks)
// written as "%XX", and back (the run journal's own escaping).
std::string EscapeRecordText(std::string_view text);
// Nothing when an escape is broken.
std::optional<std::string> UnescapeRecordText(std::string_view text);

// The last write of every file over these runs (oldest first); runs undone
// as a whole are left out, files a forced uninstall took back count as it
// left them.
std::vector<ExpectedFile> LastWrites(const std::vector<RunRecord>& runs);
// The files whose content differs from what is expected, in the order given.
// Contents are hashed on `threads` threads; sizes and kinds are compared first.
std::vector<FileDrift> FindDrifts(const std::filesystem::path& gameFolder, const std::vector<ExpectedFile>& files,
                                  unsigned threads = 2);

// Marks these files of run `id` as taken back; its old versions of them are
// dropped, so that undoing the run later cannot bring back the earlier run's
// changes.
void MarkPartlyUndone(const std::filesystem::path& gameFolder, const std::string& id,
                      const std::vector<UndoneFile>& files);
// The marks of a run, a later mark of a file replacing an earlier one; lines
// that do not hold together are left out and named in damage.
std::vector<UndoneFile> ReadUndoneMarks(const JournalFolder& runFolder, std::vector<std::string>& damage);
std::vector<UndoneFile> ReadUndoneMarks(const std::filesystem::path& runFolder, std::vector<std::string>& damage);
std::vector<UndoneFile> ReadUndoneMarks(const std::filesystem::path& runFolder);

}  // namespace vey::platform
