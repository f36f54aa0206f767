// URunReport: the run's changes, recorded from the file system's change hook
// and from the lists.
#include "engine/support/URunReport.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/Sha256.h"
#include "formats/U2DAEdit.h"

namespace vey {
namespace {

std::string Normal(const std::filesystem::path& path) {
  std::string s = std::filesystem::absolute(path).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// The run's own bookkeeping in the game folder is not a change to the game.
constexpr std::string_view kOwnFolder = ".veypatcher/";

}  // namespace

std::string TRunReport::ChangedFile::What() const {
  if (!before.exists) return "created";
  if (!after.exists) return "removed";
  const bool same = before.size == after.size &&
                    (before.sha256.empty() ? false : before.sha256 == after.sha256);
  return same ? "rewritten" : "modified";
}

TRunReport::TRunReport(platform::GameFileSystem& files, bool digests)
    : files_(files), digests_(digests) {
  files_.AddObserver(this);
}

TRunReport::~TRunReport() { Detach(); }

void TRunReport::Detach() {
  if (observing_) files_.RemoveObserver(this);
  observing_ = false;
}

void TRunReport::SetGameFolder(const std::string& folder) { game_ = Normal(folder) + "/"; }

std::string TRunReport::Relative(const std::filesystem::path& path) const {
  if (game_.empty()) return {};
  const std::string full = Normal(path);
  if (full.size() <= game_.size() || full.compare(0, game_.size(), game_) != 0) return {};
  std::string relative = full.substr(game_.size());
  if (relative.compare(0, kOwnFolder.size(), kOwnFolder) == 0) return {};
  return relative;
}

TRunReport::FileState TRunReport::StateOf(const std::filesystem::path& path) const {
  FileState state;
  if (!files_.IsFile(path)) return state;
  const std::filesystem::path host = files_.HostPath(path);
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return state;
  state.exists = true;
  state.size = static_cast<std::uint64_t>(st.st_size);
  if (digests_) state.sha256 = Sha256OfFile(host);
  return state;
}

void TRunReport::Note(const std::filesystem::path& path) {
  std::string relative = Relative(path);
  if (relative.empty() || before_.contains(relative)) return;
  // The first change decides what "before" was.
  before_.emplace(std::move(relative), StateOf(path));
}

void TRunReport::BeforeChange(const platform::FileChange& change) {
  switch (change.kind) {
    case platform::FileChange::kWrite:
    case platform::FileChange::kRemove:
      Note(change.path);
      break;
    case platform::FileChange::kRename:
      Note(change.path);
      Note(change.to);
      break;
    case platform::FileChange::kMakeFolder:
    case platform::FileChange::kRemoveFolder:
      break;
  }
}

void TRunReport::ResourceStored(const std::string& archivePath, std::string_view resource,
                                bool replaced) {
  std::string archive = Relative(archivePath);
  if (archive.empty()) archive = archivePath;
  // A resource stored twice in one run is one change; whether it was there
  // before is known from the first time.
  for (const StoredResource& r : resources_)
    if (r.archive == archive && r.resource == resource) return;
  resources_.push_back({std::move(archive), std::string(resource), replaced});
}

void TRunReport::TableGrown(const std::string& tablePath,
                            std::vector<std::pair<std::int32_t, std::string>> rows,
                            std::vector<std::string> columns) {
  if (rows.empty() && columns.empty()) return;
  std::string table = Relative(tablePath);
  if (table.empty()) table = tablePath;
  for (GrownTable& t : tables_) {
    if (t.table != table) continue;
    t.rows.insert(t.rows.end(), rows.begin(), rows.end());
    t.columns.insert(t.columns.end(), columns.begin(), columns.end());
    return;
  }
  tables_.push_back({std::move(table), std::move(rows), std::move(columns)});
}

void TRunReport::TableGrown(const std::string& tablePath, const T2DAHandler& table,
                            std::int32_t rowsBefore, std::int32_t columnsBefore) {
  std::vector<std::pair<std::int32_t, std::string>> rows;
  for (std::int32_t r = rowsBefore; r < table.RowCount(); ++r) rows.emplace_back(r, table.GetRowLabel(r));
  std::vector<std::string> columns;
  for (std::int32_t c = columnsBefore; c < table.ColumnCount(); ++c) columns.push_back(table.GetColumnLabel(c));
  TableGrown(tablePath, std::move(rows), std::move(columns));
}

void TRunReport::EntryAppended(std::string_view table, std::int32_t source, std::int32_t strRef) {
  entries_.push_back({std::string(table), source, strRef});
}

void TRunReport::FileInstalled(const std::string& path) {
  std::string file = Relative(path);
  if (file.empty()) return;
  places_.push_back({TWritePlace::Kind::File, std::move(file), {}, {}});
}

void TRunReport::ResourceInstalled(const std::string& archivePath, std::string_view resource) {
  std::string archive = Relative(archivePath);
  if (archive.empty()) return;
  places_.push_back({TWritePlace::Kind::Resource, std::move(archive), std::string(resource), {}});
}

void TRunReport::CellChanged(const std::string& tablePath, std::string_view rowLabel, std::string_view column) {
  std::string table = Relative(tablePath);
  if (table.empty()) return;
  places_.push_back({TWritePlace::Kind::Cell, std::move(table), std::string(rowLabel), std::string(column)});
}

void TRunReport::CellsChanged(const std::string& tablePath, const T2DAHandler& table) {
  const std::string file = Relative(tablePath);
  if (file.empty()) return;
  for (const auto& [r, c] : table.ChangedCells())
    places_.push_back({TWritePlace::Kind::Cell, file, table.GetRowLabel(r), table.GetColumnLabel(c)});
}

void TRunReport::FieldChanged(const std::string& documentPath, std::string_view resource,
                              std::string_view fieldPath) {
  std::string file = Relative(documentPath);
  if (file.empty()) return;
  if (!resource.empty()) {
    file += '/';
    file += resource;
  }
  places_.push_back({TWritePlace::Kind::Field, std::move(file), std::string(fieldPath), {}});
}

void TRunReport::EntryReplaced(std::string_view table, std::int32_t strRef) {
  places_.push_back({TWritePlace::Kind::Entry, std::string(table), std::to_string(strRef), {}});
}

void TRunReport::EntryReplaced(ReplacedEntry entry) {
  EntryReplaced(entry.table, static_cast<std::int32_t>(entry.strRef));
  replaced_.push_back(std::move(entry));
}

std::vector<TRunReport::ChangedFile> TRunReport::Files() const {
  std::vector<ChangedFile> result;
  for (const auto& [relative, before] : before_) {
    ChangedFile f{relative, before, StateOf(std::filesystem::path(game_) / relative)};
    if (f.before.exists || f.after.exists) result.push_back(std::move(f));
  }
  return result;
}

}  // namespace vey
