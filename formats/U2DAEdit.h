// U2DAEdit: T2DAHandler, one binary "2DA V2.b" table in memory (labels, cells,
// lookups, growth by rows and columns, the pooled writer) and its failure EDead.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/VeyException.h"

namespace vey {

VEY_DECLARE_FAILURE(EDead);

class T2DAHandler {
 public:
  // The text an empty cell holds in memory; it is stored as an empty text.
  static constexpr std::string_view kEmptyCell = "****";
  // Longest label or cell text the reader accepts (and so the writer emits).
  static constexpr std::size_t kMaxText = 4095;
  // Larger row counts are taken for a damaged file.
  static constexpr std::int32_t kMaxRows = 9999;
  // Codes beyond the classic ones: the string data would not fit 16-bit offsets.
  static constexpr std::int32_t kCodeStringDataOverflow = 32;
  // The text form could not be read (its message names the line).
  static constexpr std::int32_t kCodeMalformedText = 33;

  T2DAHandler() { ClearTable(); }
  // Moves keep the interned texts in place; copies would not.
  T2DAHandler(const T2DAHandler&) = delete;
  T2DAHandler& operator=(const T2DAHandler&) = delete;
  T2DAHandler(T2DAHandler&&) = default;
  T2DAHandler& operator=(T2DAHandler&&) = default;

  // Replaces the table with the file's; fileName is kept for messages. A file
  // refused for its signature leaves the earlier table loaded.
  void LoadFromFile(const std::filesystem::path& path);
  void LoadFromBytes(std::span<const std::uint8_t> data, const std::string& fileName = {});
  // The table in binary form; SaveToFile replaces the target in one rename,
  // so a failed save leaves the old file as it was.
  void SaveToFile(const std::filesystem::path& path) const;
  std::vector<std::uint8_t> SaveToBytes() const;
  // The text form ("2DA V2.0") into the same table, for tools that show or
  // compare tables; installation keeps refusing it. Whitespace separates
  // cells, double quotes hold a cell with blanks, missing cells are "****".
  // Defined in U2DAText.cpp.
  void LoadFromTextBytes(std::span<const std::uint8_t> data, const std::string& fileName = {});
  static bool IsTextForm(std::span<const std::uint8_t> data);

  bool Loaded() const { return loaded_; }
  // Advances with every load and every change, so that a caller keeping its
  // own index over the table can tell when to rebuild it.
  std::uint64_t Revision() const { return revision_; }
  const std::string& FileName() const { return fileName_; }

  std::int32_t AddRow();
  std::int32_t AddColumn();
  // -1 (and no change) when source is not a row of the table.
  std::int32_t CopyRow(std::int32_t source, const std::string& newLabel);

  // First match, ignoring ASCII letter case; EDead 8 / 10 when none matches.
  std::int32_t ColumnIndexOf(std::string_view label) const;
  std::int32_t RowIndexOf(std::string_view label) const;

  std::int32_t RowCount() const;
  std::int32_t ColumnCount() const;
  const std::string& GetColumnLabel(std::int32_t column) const;
  const std::string& GetRowLabel(std::int32_t row) const;
  const std::string& GetCell(std::int32_t row, std::int32_t column) const;
  void SetColumnLabel(std::int32_t column, const std::string& text);
  void SetRowLabel(std::int32_t row, const std::string& text);
  void SetCell(std::int32_t row, std::int32_t column, const std::string& text);

  // Starts noting the cells SetCell changes, from the table as it is now;
  // the next load stops it.
  void KeepChanges();
  // Since KeepChanges: the cells whose text differs from the one they had
  // then, and the cells of rows and columns added since that are not empty
  // ("****" or nothing); as (row, column) in row, then column order.
  std::vector<std::pair<std::int32_t, std::int32_t>> ChangedCells() const;

 private:
  // Lower-cased label -> indexes holding it, ascending; built on the first
  // lookup and kept in step with every label change after that.
  class LabelIndex {
   public:
    void Reset() {
      built_ = false;
      map_.clear();
    }
    std::int32_t Find(const std::vector<std::string>& labels, std::string_view label) const;
    void Added(std::int32_t index, const std::string& label);
    void Changed(std::int32_t index, const std::string& oldLabel, const std::string& newLabel);

   private:
    void Build(const std::vector<std::string>& labels) const;
    mutable bool built_ = false;
    mutable std::unordered_map<std::string, std::vector<std::int32_t>> map_;
  };

  void RequireLoaded(std::int32_t code, const char* message) const;
  void ClearTable();
  // The id of text in the pool of cell texts, added when new.
  std::uint32_t Intern(std::string_view text);
  std::uint32_t& CellAt(std::int32_t row, std::int32_t column) {
    return cells_[static_cast<std::size_t>(row) * columnLabels_.size() + static_cast<std::size_t>(column)];
  }
  void ReadTable(std::span<const std::uint8_t> data);
  void CheckWritable() const;
  // Appends the cell texts to out, whose string data begins at stringsAt, and
  // fills the offset table at tableAt. False when an offset would pass 65535.
  bool LayOutPooledInWindow(std::vector<std::uint8_t>& out, std::size_t tableAt, std::size_t stringsAt) const;
  bool LayOutPooledBySearch(std::vector<std::uint8_t>& out, std::size_t tableAt, std::size_t stringsAt) const;
  bool LayOutPooledEverywhere(std::vector<std::uint8_t>& out, std::size_t tableAt, std::size_t stringsAt) const;

  std::vector<std::string> columnLabels_;
  std::vector<std::string> rowLabels_;
  // Cells hold ids of interned texts: equal texts have equal ids, so the
  // writer pools by id and a load decodes each stored text once. Texts no
  // cell uses any more stay in the pool until the next load.
  std::vector<std::uint32_t> cells_;  // row-major, rowLabels_.size() x columnLabels_.size()
  std::deque<std::string> texts_;     // a deque: the views in textIds_ stay valid
  std::unordered_map<std::string_view, std::uint32_t> textIds_;
  LabelIndex columnIndex_;
  LabelIndex rowIndex_;
  bool loaded_ = false;
  std::uint64_t revision_ = 0;
  // While changes are kept: the counts then, and the first text id of every
  // cell set since (within those counts) by row * kept columns + column.
  std::int32_t keptRows_ = -1, keptColumns_ = 0;
  std::map<std::size_t, std::uint32_t> keptCells_;
  std::string fileName_;
  std::uint8_t dataSize_[2] = {0, 0};
};

}  // namespace vey
