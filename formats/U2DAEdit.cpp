// U2DAEdit: reading, editing and writing binary 2DA tables.
#include "formats/U2DAEdit.h"

#include <algorithm>
#include <cstring>

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"

namespace vey {
namespace {

constexpr std::string_view kSignature = "2DA V2.b";
constexpr std::string_view kTextSignature = "2DA V2.0";
// The column-label block, its NUL included, must end before this many bytes.
constexpr std::size_t kLabelBlockLimit = 4095;
constexpr std::uint32_t kMaxOffset = 0xFFFF;

constexpr const char* kMsgTextFormat =
    "Specified file was a 2DA file but not in binary format. That format is unhandled at this "
    "time. Unable to load.";
constexpr const char* kMsgNotBinary = "Specified file is not a valid binary 2DA file. Unable to load.";
constexpr const char* kMsgMalformed = "Malformatted data encountered while reading 2DA! Unable to continue!";
constexpr const char* kMsgTooManyRows =
    "Sanity check failed, number of 2DA rows reported as unrealistically large! Load aborted.";
constexpr const char* kMsgPastEnd =
    "Attempted to read past end of file while reading 2DA cell entry. Aborting...";
constexpr const char* kMsgCellOverflow = "Buffer overflow while reading 2DA cell entry. This is very bad.";
constexpr const char* kMsgUnwritable =
    "A 2DA label or cell text is longer than 4095 bytes, or a label holds a tab (or a column "
    "label a NUL), which the file format cannot store. Unable to save.";
constexpr const char* kMsgStringDataOverflow =
    "The cell texts of the 2DA table need more than the 65535 bytes of string data that its "
    "16-bit offsets can address. Unable to save.";

[[noreturn]] void Fail(std::int32_t code, const char* message) { throw EDead(message, code); }

bool ValidIndex(std::int32_t index, std::size_t count) {
  return index >= 0 && static_cast<std::size_t>(index) < count;
}

}  // namespace

void T2DAHandler::LabelIndex::Build(const std::vector<std::string>& labels) const {
  map_.clear();
  map_.reserve(labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i)
    map_[AsciiLowerCopy(labels[i])].push_back(static_cast<std::int32_t>(i));
  built_ = true;
}

std::int32_t T2DAHandler::LabelIndex::Find(const std::vector<std::string>& labels,
                                           std::string_view label) const {
  if (!built_) Build(labels);
  auto it = map_.find(AsciiLowerCopy(label));
  if (it == map_.end() || it->second.empty()) return -1;
  return it->second.front();
}

void T2DAHandler::LabelIndex::Added(std::int32_t index, const std::string& label) {
  if (!built_) return;
  map_[AsciiLowerCopy(label)].push_back(index);  // the largest index so far: order holds
}

void T2DAHandler::LabelIndex::Changed(std::int32_t index, const std::string& oldLabel,
                                      const std::string& newLabel) {
  if (!built_) return;
  std::string oldKey = AsciiLowerCopy(oldLabel);
  std::string newKey = AsciiLowerCopy(newLabel);
  if (oldKey == newKey) return;
  if (auto it = map_.find(oldKey); it != map_.end()) {
    auto& v = it->second;
    v.erase(std::remove(v.begin(), v.end(), index), v.end());
    if (v.empty()) map_.erase(it);
  }
  auto& v = map_[newKey];
  v.insert(std::lower_bound(v.begin(), v.end(), index), index);
}

void T2DAHandler::LoadFromFile(const std::filesystem::path& path) {
  std::vector<std::uint8_t> data = ReadWholeFile(path);
  LoadFromBytes(data, path.string());
}

void T2DAHandler::LoadFromBytes(std::span<const std::uint8_t> data, const std::string& fileName) {
  // Check the signature before clearing anything: a refused file must leave
  // the previous table loaded.
  std::size_t sigLen = std::min<std::size_t>(data.size(), kSignature.size());
  const void* nul = sigLen ? std::memchr(data.data(), 0, sigLen) : nullptr;
  if (nul) sigLen = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data.data());
  std::string_view signature(reinterpret_cast<const char*>(data.data()), sigLen);
  if (signature == kTextSignature) Fail(1, kMsgTextFormat);
  if (signature != kSignature) Fail(2, kMsgNotBinary);

  fileName_ = fileName;
  ClearTable();
  try {
    ReadTable(data);
  } catch (const EDead&) {
    ClearTable();
    throw;
  } catch (const ReadPastEnd&) {
    ClearTable();
    Fail(3, kMsgMalformed);
  }
  loaded_ = true;
}

void T2DAHandler::ClearTable() {
  ++revision_;
  columnLabels_.clear();
  rowLabels_.clear();
  cells_.clear();
  textIds_.clear();
  texts_.clear();
  Intern(kEmptyCell);  // id 0
  columnIndex_.Reset();
  rowIndex_.Reset();
  loaded_ = false;
  dataSize_[0] = dataSize_[1] = 0;
  keptRows_ = -1;
  keptCells_.clear();
}

std::uint32_t T2DAHandler::Intern(std::string_view text) {
  auto it = textIds_.find(text);
  if (it != textIds_.end()) return it->second;
  auto id = static_cast<std::uint32_t>(texts_.size());
  texts_.emplace_back(text);
  textIds_.emplace(texts_.back(), id);
  return id;
}

void T2DAHandler::ReadTable(std::span<const std::uint8_t> data) {
  ByteReader r(data);
  r.Seek(kSignature.size());
  r.Skip(1);  // the line break; any byte will do

  // Column labels: each ends with a tab, the block with a NUL. Text after the
  // last tab forms no column.
  {
    std::size_t count = 0;
    std::string label;
    for (;;) {
      if (count >= kLabelBlockLimit) Fail(3, kMsgMalformed);
      std::uint8_t b = r.U8();
      ++count;
      if (b == 0) break;
      if (b == '\t') {
        columnLabels_.push_back(std::move(label));
        label.clear();
      } else {
        label.push_back(static_cast<char>(b));
      }
    }
    if (count >= kLabelBlockLimit) Fail(3, kMsgMalformed);
  }

  std::int32_t rowCount = r.I32();
  if (rowCount > kMaxRows) Fail(4, kMsgTooManyRows);
  std::size_t rows = rowCount > 0 ? static_cast<std::size_t>(rowCount) : 0;
  // Every row label takes at least its tab.
  if (rows > r.Remaining()) Fail(3, kMsgMalformed);
  rowLabels_.reserve(rows);
  // Labels are built in place from the bytes: ten thousand short labels
  // make a temporary string per label show.
  const char* text = reinterpret_cast<const char*>(data.data());
  std::size_t at = r.Pos();
  for (std::size_t i = 0; i < rows; ++i) {
    const void* tab = std::memchr(text + at, '\t', std::min(data.size() - at, kMaxText + 1));
    if (!tab) Fail(3, kMsgMalformed);  // longer than a label may be, or the file ended
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(tab) - (text + at));
    rowLabels_.emplace_back(text + at, len);
    at += len + 1;
  }
  r.Seek(at);

  std::size_t columns = columnLabels_.size();
  if (rows == 0 || columns == 0) return;

  std::size_t cellCount = rows * columns;
  // The offset table must lie in the file before anything is sized by it.
  if (cellCount > (r.Remaining() / 2) || cellCount * 2 + 2 > r.Remaining()) Fail(3, kMsgMalformed);
  auto offsetTable = r.Bytes(cellCount * 2);
  dataSize_[0] = r.U8();
  dataSize_[1] = r.U8();
  std::size_t stringStart = r.Pos();

  // Pooled files point many cells at one text: decode each offset once.
  const std::size_t stringBytes = data.size() - stringStart;
  constexpr std::uint32_t kUndecoded = UINT32_MAX;
  std::vector<std::uint32_t> decoded(std::min<std::size_t>(kMaxOffset, stringBytes) + 1, kUndecoded);
  cells_.resize(cellCount);
  for (std::size_t i = 0; i < cellCount; ++i) {
    std::uint16_t offset = LoadU16(offsetTable.data() + 2 * i);
    if (offset > stringBytes) Fail(5, kMsgPastEnd);
    std::uint32_t& slot = decoded[offset];
    if (slot == kUndecoded) {
      std::size_t at = stringStart + offset;
      std::size_t avail = data.size() - at;
      std::size_t scan = std::min(avail, kMaxText + 2);
      const auto* start = data.data() + at;
      const void* end = std::memchr(start, 0, scan);
      std::string_view text;
      if (end) {
        std::size_t len = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - start);
        if (len > kMaxText) Fail(6, kMsgCellOverflow);
        text = std::string_view(reinterpret_cast<const char*>(start), len);
      } else if (scan > kMaxText + 1) {
        Fail(6, kMsgCellOverflow);
      }
      // A text cut off by the end of the file leaves the cell empty.
      slot = text.empty() ? 0 : Intern(text);
    }
    cells_[i] = slot;
  }
}

void T2DAHandler::SaveToFile(const std::filesystem::path& path) const {
  std::vector<std::uint8_t> bytes = SaveToBytes();
  WriteFileAtomic(path, bytes);
}

// Row labels are checked as SaveToBytes copies them, cell texts as the
// layout writes them.
void T2DAHandler::CheckWritable() const {
  for (const auto& s : columnLabels_)
    if (s.size() > kMaxText || s.find('\t') != std::string::npos || s.find('\0') != std::string::npos)
      Fail(3, kMsgUnwritable);
}

namespace {

void PutOffset(std::vector<std::uint8_t>& out, std::size_t tableAt, std::size_t cell, std::uint32_t offset) {
  out[tableAt + 2 * cell] = static_cast<std::uint8_t>(offset);
  out[tableAt + 2 * cell + 1] = static_cast<std::uint8_t>(offset >> 8);
}

void AppendText(std::vector<std::uint8_t>& out, std::string_view value) {
  if (value.size() > T2DAHandler::kMaxText) Fail(3, kMsgUnwritable);
  if (value != T2DAHandler::kEmptyCell) out.insert(out.end(), value.begin(), value.end());
  out.push_back(0);
}

}  // namespace

namespace {

// Cells share a text with the first equal cell that lies in an earlier or the
// same row and in an earlier or the same column; equal texts outside that
// window are written again. Each copy written for a text lies further left
// than all before it (a cell right of an earlier copy would have shared it),
// so per text the copy a cell shares is a step function of the column alone:
// a row of one offset per column, filled in as copies are written. A lookup
// is then two loads and no search, which keeps the per-cell work free of
// unpredictable branches.
class WindowRows {
 public:
  // Place's answers besides an offset.
  static constexpr std::uint32_t kOverflow = 0x10000;  // the string data is full
  static constexpr std::uint32_t kTooWide = 0x10001;   // the rows would pass their budget

  WindowRows(std::size_t texts, std::size_t columns, std::size_t cells)
      : columns_(columns),
        budget_(std::max<std::size_t>(4 * cells, std::size_t{1} << 20)),
        rowOf_(texts, 0),
        slots_(columns, kNoCopy) {}

  // The offset of the copy a cell of text id in column c shares is
  // Slots()[RowOf()[id] + c], or kNoCopy.
  const std::uint16_t* Slots() const { return slots_.data(); }
  const std::uint32_t* RowOf() const { return rowOf_.data(); }

  // For a cell whose lookup found no copy: either the copy at 65535, or a new
  // copy of text appended to out.
  std::uint32_t Place(std::uint32_t id, std::size_t column, std::string_view text,
                                        std::vector<std::uint8_t>& out, std::size_t stringsAt) {
    if (id == lastId_ && column >= lastColumn_) return kMaxOffset;
    if (out.size() - stringsAt > kMaxOffset) return kOverflow;
    std::uint32_t base = rowOf_[id];
    if (base == 0) {
      if (slots_.size() + columns_ > budget_) return kTooWide;
      base = static_cast<std::uint32_t>(slots_.size());
      rowOf_[id] = base;
      slots_.resize(slots_.size() + columns_, kNoCopy);
    }
    auto offset = static_cast<std::uint32_t>(out.size() - stringsAt);
    AppendText(out, text);
    if (offset == kMaxOffset) {
      lastId_ = id;
      lastColumn_ = column;
    } else {
      // This copy serves its own column and those right of it up to the
      // columns an earlier copy already serves.
      for (std::size_t k = column; k < columns_ && slots_[base + k] == kNoCopy; ++k)
        slots_[base + k] = static_cast<std::uint16_t>(offset);
    }
    return offset;
  }

  // 16-bit slots halve the rows' cache footprint. A copy at offset 65535
  // cannot be told from an empty slot; it is the last copy that fits, so it
  // is remembered on its own.
  static constexpr std::uint16_t kNoCopy = 0xFFFF;

 private:
  std::size_t columns_;
  // Rows exist only for texts written so far, but a wide table of distinct
  // texts would still make them large: past this many slots the search over
  // each text's copies takes over.
  std::size_t budget_;
  // Texts not written yet all point at the first row, which stays empty.
  std::vector<std::uint32_t> rowOf_;
  std::vector<std::uint16_t> slots_;
  std::uint32_t lastId_ = UINT32_MAX;  // the text at offset 65535, if any
  std::size_t lastColumn_ = 0;
};

}  // namespace

namespace {

// Writes the offsets of cells i, i + 1, ... as long as each finds a copy to
// share; returns the index of the first that does not (or count). Kept apart
// from the writing of copies so that the loop has its registers to itself.
[[gnu::noinline]] std::size_t ShareCopies(const std::uint32_t* cells, std::size_t i, std::size_t count,
                                          std::size_t columns, const std::uint32_t* rowOf,
                                          const std::uint16_t* slots, std::uint8_t* table) {
  std::size_t c = i % columns;
  for (; i < count; ++i) {
    const std::uint16_t offset = slots[rowOf[cells[i]] + c];
    if (offset == WindowRows::kNoCopy) break;
    table[2 * i] = static_cast<std::uint8_t>(offset);
    table[2 * i + 1] = static_cast<std::uint8_t>(offset >> 8);
    if (++c == columns) c = 0;
  }
  return i;
}

}  // namespace

bool T2DAHandler::LayOutPooledInWindow(std::vector<std::uint8_t>& out, std::size_t tableAt,
                                       std::size_t stringsAt) const {
  const std::size_t columns = columnLabels_.size();
  const std::size_t count = cells_.size();
  WindowRows window(texts_.size(), columns, count);
  for (std::size_t i = 0;; ++i) {
    i = ShareCopies(cells_.data(), i, count, columns, window.RowOf(), window.Slots(), out.data() + tableAt);
    if (i == count) return true;
    const std::uint32_t id = cells_[i];
    const std::uint32_t offset = window.Place(id, i % columns, texts_[id], out, stringsAt);
    if (offset == WindowRows::kOverflow) return false;
    if (offset == WindowRows::kTooWide) return LayOutPooledBySearch(out, tableAt, stringsAt);
    PutOffset(out, tableAt, i, offset);
  }
}

// The same layout for tables too wide for a row per text: for each text the
// copies written so far, in row order and so ever further left; the first
// of them within reach of the current column is the match.
bool T2DAHandler::LayOutPooledBySearch(std::vector<std::uint8_t>& out, std::size_t tableAt,
                                       std::size_t stringsAt) const {
  struct Written {
    std::uint32_t column;
    std::uint32_t offset;
  };
  constexpr std::uint32_t kNone = UINT32_MAX;
  out.resize(stringsAt);
  const std::size_t rows = rowLabels_.size();
  const std::size_t columns = columnLabels_.size();
  // Most texts are written once: that copy is kept apart from the rest.
  std::vector<Written> first(texts_.size(), Written{kNone, 0});
  std::vector<std::vector<Written>> later(texts_.size());

  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < columns; ++c) {
      const std::size_t i = r * columns + c;
      const std::uint32_t id = cells_[i];
      Written& head = first[id];
      if (head.column <= c) {
        PutOffset(out, tableAt, i, head.offset);
        continue;
      }
      if (head.column != kNone) {
        auto& rest = later[id];
        auto match = std::find_if(rest.begin(), rest.end(), [c](const Written& w) { return w.column <= c; });
        if (match != rest.end()) {
          PutOffset(out, tableAt, i, match->offset);
          continue;
        }
      }
      if (out.size() - stringsAt > kMaxOffset) return false;
      auto offset = static_cast<std::uint32_t>(out.size() - stringsAt);
      AppendText(out, texts_[id]);
      if (head.column == kNone)
        head = {static_cast<std::uint32_t>(c), offset};
      else
        later[id].push_back({static_cast<std::uint32_t>(c), offset});
      PutOffset(out, tableAt, i, offset);
    }
  }
  return true;
}

// The fallback when the window leaves too much text: one copy of each text.
bool T2DAHandler::LayOutPooledEverywhere(std::vector<std::uint8_t>& out, std::size_t tableAt,
                                         std::size_t stringsAt) const {
  out.resize(stringsAt);
  constexpr std::uint32_t kUnwritten = UINT32_MAX;
  std::vector<std::uint32_t> written(texts_.size(), kUnwritten);
  // An empty text and "****" are stored alike.
  auto emptyText = textIds_.find(std::string_view());
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    std::uint32_t id = cells_[i];
    if (emptyText != textIds_.end() && id == emptyText->second) id = 0;
    if (written[id] == kUnwritten) {
      if (out.size() - stringsAt > kMaxOffset) return false;
      written[id] = static_cast<std::uint32_t>(out.size() - stringsAt);
      AppendText(out, texts_[id]);
    }
    PutOffset(out, tableAt, i, written[id]);
  }
  return true;
}

std::vector<std::uint8_t> T2DAHandler::SaveToBytes() const {
  if (!loaded_) Fail(27, "No 2da file has been loaded that can be saved.");
  if (columnLabels_.empty() || rowLabels_.empty())
    Fail(28, "The open 2da file is empty. There is no point in saving it.");
  CheckWritable();

  std::size_t labelBytes = 0;
  for (const auto& s : columnLabels_) labelBytes += s.size() + 1;
  const std::size_t columnBytes = labelBytes;
  for (const auto& s : rowLabels_) labelBytes += s.size() + 1;
  ByteWriter w(kSignature.size() + 6 + labelBytes + 2 * cells_.size() + 2 + kMaxOffset + 1);
  w.Text(kSignature);
  w.U8(0x0A);
  for (const auto& s : columnLabels_) {
    w.Text(s);
    w.U8('\t');
  }
  w.U8(0);
  w.I32(static_cast<std::int32_t>(rowLabels_.size()));
  std::vector<std::uint8_t> out = w.Take();
  const std::size_t labelsAt = out.size();
  const std::size_t tableAt = labelsAt + labelBytes - columnBytes;
  out.resize(tableAt + 2 * cells_.size() + 2);  // within the capacity reserved above
  // Thousands of short row labels: checking and copying them byte by byte in
  // one pass beats a search and a copy call for each.
  std::uint8_t* p = out.data() + labelsAt;
  for (const auto& s : rowLabels_) {
    if (s.size() > kMaxText) Fail(3, kMsgUnwritable);
    for (char ch : s) {
      if (ch == '\t') Fail(3, kMsgUnwritable);
      *p++ = static_cast<std::uint8_t>(ch);
    }
    *p++ = '\t';
  }
  // The data-size field goes back as it was read; it is not recomputed.
  const std::size_t stringsAt = out.size();
  out[stringsAt - 2] = dataSize_[0];
  out[stringsAt - 1] = dataSize_[1];
  if (!LayOutPooledInWindow(out, tableAt, stringsAt) && !LayOutPooledEverywhere(out, tableAt, stringsAt))
    Fail(kCodeStringDataOverflow, kMsgStringDataOverflow);
  return out;
}

void T2DAHandler::RequireLoaded(std::int32_t code, const char* message) const {
  if (!loaded_) Fail(code, message);
}

std::int32_t T2DAHandler::AddRow() {
  RequireLoaded(31, "No 2da file has been loaded. Unable to look up column labels.");
  ++revision_;
  auto index = static_cast<std::int32_t>(rowLabels_.size());
  rowLabels_.push_back(IntToStr(index));
  cells_.insert(cells_.end(), columnLabels_.size(), 0);
  rowIndex_.Added(index, rowLabels_.back());
  return index;
}

std::int32_t T2DAHandler::AddColumn() {
  RequireLoaded(29, "No 2da file has been loaded. Unable to look up column labels.");
  ++revision_;
  const std::size_t oldColumns = columnLabels_.size();
  const std::size_t rows = rowLabels_.size();
  std::vector<std::uint32_t> grown;
  grown.reserve(rows * (oldColumns + 1));
  for (std::size_t r = 0; r < rows; ++r) {
    auto row = cells_.begin() + static_cast<std::ptrdiff_t>(r * oldColumns);
    grown.insert(grown.end(), row, row + static_cast<std::ptrdiff_t>(oldColumns));
    grown.push_back(0);
  }
  cells_ = std::move(grown);
  auto index = static_cast<std::int32_t>(oldColumns);
  columnLabels_.push_back("Column" + IntToStr(index + 1));
  columnIndex_.Added(index, columnLabels_.back());
  return index;
}

std::int32_t T2DAHandler::CopyRow(std::int32_t source, const std::string& newLabel) {
  RequireLoaded(30, "No 2da file has been loaded. Unable to look up column labels.");
  if (!ValidIndex(source, rowLabels_.size())) return -1;
  ++revision_;
  std::int32_t index = AddRow();
  if (!newLabel.empty()) SetRowLabel(index, newLabel);
  const std::size_t columns = columnLabels_.size();
  std::copy_n(cells_.begin() + static_cast<std::ptrdiff_t>(source * columns), columns,
              cells_.begin() + static_cast<std::ptrdiff_t>(index * columns));
  return index;
}

std::int32_t T2DAHandler::ColumnIndexOf(std::string_view label) const {
  RequireLoaded(7, "No 2da file has been loaded. Unable to look up column labels.");
  std::int32_t index = columnIndex_.Find(columnLabels_, label);
  if (index < 0)
    throw EDead("Unable to find a column matching the label " + std::string(label) + " in " + PathText(fileName_) + "!", 8);
  return index;
}

std::int32_t T2DAHandler::RowIndexOf(std::string_view label) const {
  RequireLoaded(9, "No 2da file has been loaded. Unable to look up column labels.");
  std::int32_t index = rowIndex_.Find(rowLabels_, label);
  if (index < 0) throw EDead("Unable to find a row matching the label " + std::string(label) + "!", 10);
  return index;
}

std::int32_t T2DAHandler::RowCount() const {
  RequireLoaded(11, "No 2da file has been loaded. Unable to look up row count.");
  return static_cast<std::int32_t>(rowLabels_.size());
}

std::int32_t T2DAHandler::ColumnCount() const {
  RequireLoaded(12, "No 2da file has been loaded. Unable to look up column count.");
  return static_cast<std::int32_t>(columnLabels_.size());
}

const std::string& T2DAHandler::GetColumnLabel(std::int32_t column) const {
  RequireLoaded(13, "No 2da file has been loaded. Unable to look up column label.");
  if (!ValidIndex(column, columnLabels_.size()))
    Fail(14, "Invalid column index specified, unable to look up column label.");
  return columnLabels_[static_cast<std::size_t>(column)];
}

const std::string& T2DAHandler::GetRowLabel(std::int32_t row) const {
  RequireLoaded(15, "No 2da file has been loaded. Unable to look up row label.");
  if (!ValidIndex(row, rowLabels_.size())) Fail(16, "Invalid row index specified, unable to look up row label.");
  return rowLabels_[static_cast<std::size_t>(row)];
}

const std::string& T2DAHandler::GetCell(std::int32_t row, std::int32_t column) const {
  RequireLoaded(17, "No 2da file has been loaded. Unable to look up cell value.");
  if (!ValidIndex(row, rowLabels_.size())) Fail(18, "Invalid row index specified, unable to look up cell value.");
  if (!ValidIndex(column, columnLabels_.size()))
    Fail(19, "Invalid column index specified, unable to look up cell value.");
  return texts_[cells_[static_cast<std::size_t>(row) * columnLabels_.size() + static_cast<std::size_t>(column)]];
}

void T2DAHandler::SetColumnLabel(std::int32_t column, const std::string& text) {
  RequireLoaded(20, "No 2da file has been loaded. Unable to set column label.");
  if (!ValidIndex(column, columnLabels_.size()))
    Fail(21, "Invalid column index specified, unable to set column label.");
  ++revision_;
  auto& label = columnLabels_[static_cast<std::size_t>(column)];
  columnIndex_.Changed(column, label, text);
  label = text;
}

void T2DAHandler::SetRowLabel(std::int32_t row, const std::string& text) {
  RequireLoaded(22, "No 2da file has been loaded. Unable to set row label.");
  if (!ValidIndex(row, rowLabels_.size())) Fail(23, "Invalid row index specified, unable to set row label.");
  ++revision_;
  auto& label = rowLabels_[static_cast<std::size_t>(row)];
  rowIndex_.Changed(row, label, text);
  label = text;
}

void T2DAHandler::SetCell(std::int32_t row, std::int32_t column, const std::string& text) {
  RequireLoaded(24, "No 2da file has been loaded. Unable to set cell value.");
  if (!ValidIndex(row, rowLabels_.size())) Fail(25, "Invalid row index specified, unable to set cell value.");
  if (!ValidIndex(column, columnLabels_.size()))
    Fail(26, "Invalid column index specified, unable to set cell value.");
  ++revision_;
  std::uint32_t& cell = CellAt(row, column);
  if (keptRows_ >= 0 && row < keptRows_ && column < keptColumns_)
    keptCells_.emplace(static_cast<std::size_t>(row) * static_cast<std::size_t>(keptColumns_) +
                           static_cast<std::size_t>(column),
                       cell);
  cell = Intern(text);
}

void T2DAHandler::KeepChanges() {
  RequireLoaded(24, "No 2da file has been loaded. Unable to set cell value.");
  keptRows_ = static_cast<std::int32_t>(rowLabels_.size());
  keptColumns_ = static_cast<std::int32_t>(columnLabels_.size());
  keptCells_.clear();
}

std::vector<std::pair<std::int32_t, std::int32_t>> T2DAHandler::ChangedCells() const {
  std::vector<std::pair<std::int32_t, std::int32_t>> changed;
  if (keptRows_ < 0) return changed;
  const auto rows = static_cast<std::int32_t>(rowLabels_.size());
  const auto columns = static_cast<std::int32_t>(columnLabels_.size());
  // Equal texts share an id, so ids compare as the texts would.
  auto empty = [this](std::uint32_t id) { return texts_[id].empty() || texts_[id] == kEmptyCell; };
  auto at = [&](std::int32_t r, std::int32_t c) {
    return cells_[static_cast<std::size_t>(r) * columnLabels_.size() + static_cast<std::size_t>(c)];
  };
  auto kept = keptCells_.begin();
  for (std::int32_t r = 0; r < rows; ++r) {
    if (r >= keptRows_) {
      for (std::int32_t c = 0; c < columns; ++c)
        if (!empty(at(r, c))) changed.emplace_back(r, c);
      continue;
    }
    const std::size_t rowEnd = static_cast<std::size_t>(r + 1) * static_cast<std::size_t>(keptColumns_);
    for (; kept != keptCells_.end() && kept->first < rowEnd; ++kept) {
      const auto c = static_cast<std::int32_t>(kept->first % static_cast<std::size_t>(keptColumns_));
      if (at(r, c) != kept->second) changed.emplace_back(r, c);
    }
    for (std::int32_t c = keptColumns_; c < columns; ++c)
      if (!empty(at(r, c))) changed.emplace_back(r, c);
  }
  return changed;
}

}  // namespace vey
