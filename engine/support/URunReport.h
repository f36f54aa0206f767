// URunReport: TRunReport, what one run changed, collected while it runs for a
// result that other programs read: every file of the game folder changed,
// with its size and digest before and after, and what the lists did inside
// files (resources stored in archives, rows and columns added to tables,
// entries appended to or replaced in talk tables), and the places it wrote
// that another mod may write too.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/UConflicts.h"
#include "platform/GameFileSystem.h"
#include "platform/RunJournal.h"

namespace vey {

class T2DAHandler;

class TRunReport : public platform::FileChangeObserver {
 public:
  struct FileState {
    bool exists = false;
    std::uint64_t size = 0;
    std::string sha256;  // empty unless digests were asked for
  };
  struct ChangedFile {
    std::string path;  // relative to the game folder, '/' separated
    FileState before, after;
    // "created", "modified", "removed" or "rewritten" (same bytes again).
    std::string What() const;
  };
  struct StoredResource {
    std::string archive;  // relative to the game folder
    std::string resource;
    bool replaced = false;  // the archive held it before the run
  };
  struct GrownTable {
    std::string table;  // relative to the game folder
    std::vector<std::pair<std::int32_t, std::string>> rows;  // index, label
    std::vector<std::string> columns;
  };
  struct AppendedEntry {
    std::string table;  // "dialog.tlk" or "dialogf.tlk"
    std::int32_t source = 0;  // index in the mod's talk table
    std::int32_t strRef = 0;  // the entry's number in the game's table
  };
  struct ReplacedEntry {
    std::string table;  // "dialog.tlk" or "dialogf.tlk"
    std::uint32_t strRef = 0;  // the game's entry that was replaced
    std::string file;  // the mod's talk table it was copied from
    std::uint32_t source = 0;  // the entry's index in that file
  };

  // Observes files from now until destroyed. Digests cost a read of every
  // changed file before and after; without them only sizes are kept.
  TRunReport(platform::GameFileSystem& files, bool digests);
  ~TRunReport() override;
  // Stops observing; for an owner that outlives the file system.
  void Detach();
  TRunReport(const TRunReport&) = delete;
  TRunReport& operator=(const TRunReport&) = delete;

  // Changes are recorded below this folder only; set once it is known.
  void SetGameFolder(const std::string& folder);
  const std::string& GameFolder() const { return game_; }

  void BeforeChange(const platform::FileChange& change) override;

  // Filled by the lists.
  void ResourceStored(const std::string& archivePath, std::string_view resource, bool replaced);
  void TableGrown(const std::string& tablePath, std::vector<std::pair<std::int32_t, std::string>> rows,
                  std::vector<std::string> columns);
  // The rows and columns table holds beyond the counts it had before.
  void TableGrown(const std::string& tablePath, const T2DAHandler& table, std::int32_t rowsBefore,
                  std::int32_t columnsBefore);
  void EntryAppended(std::string_view table, std::int32_t source, std::int32_t strRef);
  // Also records the entry as a place written.
  void EntryReplaced(ReplacedEntry entry);
  // A failure ended the run and its changes were undone (as far as they could be).
  void RolledBack(const platform::RollbackResult& result) { rollback_ = result; }
  const std::optional<platform::RollbackResult>& Rollback() const { return rollback_; }

  // The places the run wrote, which another mod may also write: a file
  // written whole, a resource written whole into an archive, a 2DA cell, a
  // GFF field (of a document in resource of archive when resource is not
  // empty) and a talk-table entry replaced by another.
  void FileInstalled(const std::string& path);
  void ResourceInstalled(const std::string& archivePath, std::string_view resource);
  void CellChanged(const std::string& tablePath, std::string_view rowLabel, std::string_view column);
  // The cells table noted as changed since it was loaded (see
  // T2DAHandler::ChangedCells).
  void CellsChanged(const std::string& tablePath, const T2DAHandler& table);
  void FieldChanged(const std::string& documentPath, std::string_view resource, std::string_view fieldPath);
  void EntryReplaced(std::string_view table, std::int32_t strRef);

  // After the run: the present state of every file seen changing, in path
  // order; files that exist neither before nor after are left out.
  std::vector<ChangedFile> Files() const;
  const std::vector<StoredResource>& Resources() const { return resources_; }
  const std::vector<GrownTable>& Tables() const { return tables_; }
  const std::vector<AppendedEntry>& Entries() const { return entries_; }
  const std::vector<ReplacedEntry>& Replaced() const { return replaced_; }
  const std::vector<TWritePlace>& Places() const { return places_; }

 private:
  // Relative to the game folder, or empty when path lies outside it.
  std::string Relative(const std::filesystem::path& path) const;
  FileState StateOf(const std::filesystem::path& path) const;
  void Note(const std::filesystem::path& path);

  platform::GameFileSystem& files_;
  bool observing_ = true;
  bool digests_;
  std::string game_;
  std::map<std::string, FileState> before_;  // by relative path
  std::vector<StoredResource> resources_;
  std::vector<GrownTable> tables_;
  std::vector<AppendedEntry> entries_;
  std::vector<ReplacedEntry> replaced_;
  std::optional<platform::RollbackResult> rollback_;
  std::vector<TWritePlace> places_;
};

}  // namespace vey
