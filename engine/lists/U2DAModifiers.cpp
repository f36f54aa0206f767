// U2DAModifiers: the four 2DA modifiers (AddRow, ChangeRow, AddColumn,
// CopyRow), the exclusive-column test and update, and the LabelIndex lookup,
// each applied to the table loaded in TableFile.
#include <optional>

#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/support/U2DAQuery.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {
namespace {

constexpr std::string_view kInvalidColumn = "Invalid column label \"%s\" encountered! Skipping entry...";

bool IsHighForm(std::string_view value) { return StartsWithNoCase(value, "high()"); }

// "inc(" ... ")": the amount is the text up to the first ')'.
bool IsIncrementForm(std::string_view value, std::string& amount) {
  if (!StartsWithNoCase(value, "inc(") || value.back() != ')') return false;
  std::string_view rest = value.substr(4);
  amount = std::string(rest.substr(0, rest.find(')')));
  return true;
}

// A ChangeRow "RowIndex" must be an integer; anything else ends the run.
std::int32_t RowNumber(std::string_view text) {
  if (auto value = ParseInt32(text)) return *value;
  throw EConvertError(FormatMsg("'%s' is not a valid integer value", {text}));
}

struct KeyValue {
  std::string key;
  std::string value;
};

// The keys of a modifier section in file order, each with its value.
std::vector<KeyValue> SectionEntries(const TQK_Inifile& ini, std::string_view section) {
  std::vector<KeyValue> entries;
  for (std::string& key : ini.ReadSection(section)) {
    std::string value = ini.ReadString(section, key, "");
    entries.push_back({std::move(key), std::move(value)});
  }
  return entries;
}

// A cell value before the special forms and 2DAMEMORY: empty is the empty
// cell, a StrRef token its number.
std::string PrepareCellValue(TVEYPatcher& patcher, std::string_view value) {
  if (value.empty()) return std::string(T2DAHandler::kEmptyCell);
  if (patcher.IsStrRefToken(value)) return IntToStr(patcher.ResolveStrRefToken(value));
  return std::string(value);
}

// Only a missing column is a per-key problem; other table failures end the run.
std::optional<std::int32_t> ColumnOrWarn(TVEYPatcher& patcher, std::string_view key) {
  try {
    return patcher.TableFile.ColumnIndexOf(key);
  } catch (const EDead& e) {
    if (e.Code() != 8) throw;
  }
  patcher.LogMessage(FormatMsg(kInvalidColumn, {key}), LogKind::Warning);
  return std::nullopt;
}

// A column's cell of an added or changed row: "high()" becomes the column's
// next highest value (logged with the same line for both kinds of row), then
// a 2DAMEMORY token is substituted.
void SetColumnCell(TVEYPatcher& patcher, T2DAQuery& query, std::int32_t row, const std::string& key,
                   std::string_view value) {
  std::string cell = PrepareCellValue(patcher, value);
  auto column = ColumnOrWarn(patcher, key);
  if (!column) return;
  if (IsHighForm(cell)) {
    cell = query.NextHighestInColumn(*column);
    patcher.LogMessage(FormatMsg("Setting added row column %s to next HIGHEST value %s.", {key, cell}),
                       LogKind::Debug);
  }
  query.SetCell(row, *column, patcher.ResolveMemoryToken(cell));
}

}  // namespace

TVEYPatcher::ExclusiveCheck TVEYPatcher::CheckExclusiveColumn(std::string_view section,
                                                               std::string_view column) {
  bool exists = false;
  for (std::int32_t c = 0; c < TableFile.ColumnCount() && !exists; ++c)
    exists = TableFile.GetColumnLabel(c) == column;
  if (!exists) {
    LogMessage(FormatMsg("Invalid Exclusive column label \"%s\" specified, ignoring...", {column}),
               LogKind::Warning);
    return {true, -1};
  }
  // Compared as written: no token is substituted in the value tested.
  const std::string value = IniFile().ReadString(section, column, "");
  if (value.empty()) {
    LogMessage(FormatMsg("No value has been assigned to column %s for new 2DA line in modifier "
                         "\"%s\" with Exclusive checking enabled! Skipping line...",
                         {column, section}),
               LogKind::Error);
    return {false, -1};
  }
  const std::int32_t columnIndex = TableFile.ColumnIndexOf(column);
  const std::int32_t row = tableQuery_.FirstRowWithCell(columnIndex, value);
  if (row < 0) return {true, -1};
  LogMessage(FormatMsg("Matching value in column %s found for existing row %s...",
                       {column, IntToStr(row)}),
             LogKind::Debug);
  return {false, row};
}

void TVEYPatcher::UpdateExclusiveRow(std::string_view section, std::int32_t row) {
  if (row < 0) {
    LogMessage(FormatMsg("Error locating row when trying to modify existing Exclusive row in "
                         "modifier \"%s\".",
                         {section}),
               LogKind::Warning);
    return;
  }
  if (row >= TableFile.RowCount()) {
    LogMessage(FormatMsg("Too high row-number encountered when trying to modify existing "
                         "Exclusive row in modifier \"%s\".",
                         {section}),
               LogKind::Warning);
    return;
  }
  bool changed = false;
  for (const auto& [key, value] : SectionEntries(IniFile(), section)) {
    // The matched row keeps its label and the cells that would be computed
    // for a new row.
    if (EqualsNoCase(key, "RowIndex") || EqualsNoCase(key, "RowLabel") ||
        EqualsNoCase(key, "NewRowLabel") || EqualsNoCase(key, "ExclusiveColumn"))
      continue;
    if (IsHighForm(value) || StartsWithNoCase(value, "inc(")) continue;
    if (StoreMemoryToken(key, value, "", row, mkChangeRow)) continue;
    if (key.empty()) continue;
    std::string cell = PrepareCellValue(*this, value);
    auto column = ColumnOrWarn(*this, key);
    if (!column) continue;
    cell = ResolveMemoryToken(cell);
    if (TableFile.GetCell(row, *column) == cell) continue;
    tableQuery_.SetCell(row, *column, cell);
    if (!changed)
      LogMessage(FormatMsg("New Exclusive row matched line %s in 2DA file %s, modifying existing "
                           "line instead.",
                           {IntToStr(row), CurrentFile()}),
                 LogKind::Debug);
    changed = true;
  }
}

// A row whose exclusive column already holds the new value is updated in
// place instead of adding another; true when that happened.
bool TVEYPatcher::UpdatedExclusiveMatch(std::string_view section) {
  const std::string exclusive = IniFile().ReadString(section, "ExclusiveColumn", "");
  if (exclusive.empty()) return false;
  ExclusiveCheck check = CheckExclusiveColumn(section, exclusive);
  if (check.proceed) return false;
  UpdateExclusiveRow(section, check.row);
  return true;
}

void TVEYPatcher::ApplyAddRow(std::string_view section) {
  if (UpdatedExclusiveMatch(section)) return;
  std::int32_t newRow = -1;
  auto createRow = [&] {
    if (newRow >= 0) return;
    newRow = tableQuery_.AddRow();
    LogMessage(FormatMsg("Adding new row (index %s) to 2DA file %s...",
                         {IntToStr(newRow), CurrentFile()}),
               LogKind::Debug);
  };
  for (const auto& [key, value] : SectionEntries(IniFile(), section)) {
    if (key == "ExclusiveColumn") continue;
    if (EqualsNoCase(key, "RowLabel")) {
      std::string label = value;
      if (IsHighForm(label)) {
        label = tableQuery_.NextHighestRowLabel();
        LogMessage(FormatMsg("Setting row label to next HIGHEST value %s.", {label}), LogKind::Debug);
      }
      label = ResolveMemoryToken(label);
      if (label.empty()) continue;
      createRow();
      tableQuery_.SetRowLabel(newRow, label);
      continue;
    }
    if (newRow >= 0 && StoreMemoryToken(key, value, "", newRow, mkAddRow)) continue;
    createRow();
    SetColumnCell(*this, tableQuery_, newRow, key, value);
  }
}

bool TVEYPatcher::FindLabelIndexRow(std::int32_t& row, std::string_view section,
                                    std::string_view value, std::string_view key) {
  if (key != "LabelIndex" || value.empty() || row != -1) return false;
  bool hasLabelColumn = false;
  for (std::int32_t c = 0; c < TableFile.ColumnCount() && !hasLabelColumn; ++c)
    hasLabelColumn = TableFile.GetColumnLabel(c) == "label";
  if (!hasLabelColumn) {
    LogMessage(FormatMsg("%s used as index when changing line in modifier \"%s\" but 2DA file has "
                         "no label column! Skipping...",
                         {key, section}),
               LogKind::Error);
    return false;
  }
  const std::int32_t column = TableFile.ColumnIndexOf("label");
  std::int32_t found = -1;
  for (std::int32_t match : tableQuery_.RowsWithCell(column, value)) {
    if (found >= 0) {
      LogMessage("Warning, multiple rows matching Label Index found! Last found row will be used...",
                 LogKind::Warning);
      LogMessage(FormatMsg("Multiple matches for specified Label Index, previously found row %s, now "
                           "found row %s.",
                           {IntToStr(found), IntToStr(match)}),
                 LogKind::Debug);
    }
    found = match;
  }
  if (found < 0) return false;
  row = found;
  return true;
}

void TVEYPatcher::ApplyChangeRow(std::string_view section) {
  std::int32_t row = -1;
  auto announce = [&] {
    if (row >= 0 && row < TableFile.RowCount()) {
      LogMessage(FormatMsg("Modifying line (index %s) in 2DA file %s...",
                           {IntToStr(row), CurrentFile()}),
                 LogKind::Debug);
    } else {
      row = -1;
    }
  };
  for (const auto& [key, value] : SectionEntries(IniFile(), section)) {
    const bool isRowIndex = EqualsNoCase(key, "RowIndex");
    const bool isRowLabel = EqualsNoCase(key, "RowLabel");
    if (isRowIndex && row == -1 && !value.empty()) {
      row = RowNumber(ResolveMemoryToken(value));
      announce();
      continue;
    }
    if (isRowLabel && row == -1 && !value.empty()) {
      try {
        row = TableFile.RowIndexOf(ResolveMemoryToken(value));
      } catch (const EDead& e) {
        if (e.Code() != 10) throw;
      }
      announce();
      continue;
    }
    if (row == -1 && FindLabelIndexRow(row, section, value, key)) {
      announce();
      continue;
    }
    if (row == -1 && !isRowLabel && !isRowIndex) {
      LogMessage(FormatMsg("No RowIndex/RowLabel identifier for row to modify found at top of "
                           "modifier list! Unable to apply modifier \"%s\".",
                           {section}),
                 LogKind::Error);
      return;
    }
    if (row != -1 && StoreMemoryToken(key, value, "", row, mkChangeRow)) continue;
    if (row == -1 || key.empty()) continue;
    SetColumnCell(*this, tableQuery_, row, key, value);
  }
}

void TVEYPatcher::ApplyAddColumn(std::string_view section) {
  LogMessage(FormatMsg("Adding new column to 2DA file %s...", {CurrentFile()}), LogKind::Debug);
  std::int32_t column = -1;
  std::string defaultValue(T2DAHandler::kEmptyCell);
  for (const auto& [key, value] : SectionEntries(IniFile(), section)) {
    if (column < 0) {
      if (!EqualsNoCase(key, "ColumnLabel") || value.empty()) continue;
      const std::string label = ResolveMemoryToken(value);
      // Exact comparison: a label differing only in letter case is a new column.
      for (std::int32_t c = 0; c < TableFile.ColumnCount(); ++c) {
        if (TableFile.GetColumnLabel(c) == label) {
          LogMessage(FormatMsg("A column with the label \"%s\" already exists in %s, unable to add "
                               "new column!",
                               {label, CurrentFile()}),
                     LogKind::Error);
          return;
        }
      }
      column = tableQuery_.AddColumn();
      TableFile.SetColumnLabel(column, label);
      continue;
    }
    if (StoreMemoryToken(key, value, "", column, mkAddColumn)) continue;
    if (EqualsNoCase(key, "DefaultValue") && !value.empty()) {
      std::string newDefault = value;
      if (IsStrRefToken(newDefault)) newDefault = IntToStr(ResolveStrRefToken(newDefault));
      newDefault = ResolveMemoryToken(newDefault);
      for (std::int32_t row : tableQuery_.RowsWithCell(column, defaultValue))
        tableQuery_.SetCell(row, column, newDefault);
      defaultValue = std::move(newDefault);
      continue;
    }
    if (key.size() < 2) continue;
    std::string cell = value.empty() ? defaultValue : value;
    if (IsStrRefToken(cell)) cell = IntToStr(ResolveStrRefToken(cell));
    const char first = AsciiLower(key[0]);
    const std::string_view rest = std::string_view(key).substr(1);
    if (first == 'i' && IsDigits(rest)) {
      auto row = ParseInt32(rest);
      // The stored value is substituted here as for "L" keys: the token text
      // itself is never a cell a table can use.
      if (row && *row < TableFile.RowCount())
        tableQuery_.SetCell(*row, column, ResolveMemoryToken(cell));
    } else if (first == 'l') {
      std::int32_t row = -1;
      try {
        row = TableFile.RowIndexOf(rest);
      } catch (const EDead& e) {
        if (e.Code() != 10) throw;
        LogMessage(FormatMsg("Invalid row label %s encountered! Skipping entry...", {rest}),
                   LogKind::Warning);
        continue;
      }
      tableQuery_.SetCell(row, column, ResolveMemoryToken(cell));
    }
  }
}

void TVEYPatcher::ApplyCopyRow(std::string_view section) {
  if (UpdatedExclusiveMatch(section)) return;
  std::int32_t source = -1;
  std::int32_t newRow = -1;
  std::string newLabel;
  for (const auto& [key, value] : SectionEntries(IniFile(), section)) {
    if (EqualsNoCase(key, "RowIndex") && source == -1 && IsDigits(value)) {
      auto number = ParseInt32(value);
      source = number && *number < TableFile.RowCount() ? *number : -1;
      continue;
    }
    if (EqualsNoCase(key, "RowLabel") && source == -1 && !value.empty()) {
      try {
        source = TableFile.RowIndexOf(ResolveMemoryToken(value));
      } catch (const EDead& e) {
        if (e.Code() != 10) throw;
        source = -1;
      }
      continue;
    }
    if (key == "ExclusiveColumn") continue;
    // Before the copy exists a 2DAMEMORY key reads the source row.
    const std::int32_t row = newRow >= 0 ? newRow : source;
    if (row != -1 && StoreMemoryToken(key, value, "", row, mkCopyRow)) continue;
    if (EqualsNoCase(key, "NewRowLabel") && !value.empty()) {
      std::string label = value;
      if (IsHighForm(label)) {
        label = tableQuery_.NextHighestRowLabel();
        LogMessage(FormatMsg("Setting new row label to next HIGHEST value %s.", {label}),
                   LogKind::Debug);
      }
      newLabel = ResolveMemoryToken(label);
      continue;
    }
    if (row == -1 || key.empty()) continue;
    std::string cell = PrepareCellValue(*this, value);
    if (newRow < 0) {
      newRow = tableQuery_.CopyRow(source, newLabel);
      LogMessage(FormatMsg("Copying line %s to new line %s in %s.",
                           {IntToStr(source), IntToStr(newRow), CurrentFile()}),
                 LogKind::Debug);
    }
    auto column = ColumnOrWarn(*this, key);
    if (!column) continue;
    std::string amount;
    if (IsIncrementForm(cell, amount)) {
      const std::string& copied = TableFile.GetCell(newRow, *column);
      if (!IsDigits(amount)) {
        LogMessage(FormatMsg("Row value increment failed! Specified modifier \"%s\" is not a number. "
                             "Old row value not changed.",
                             {amount}),
                   LogKind::Warning);
        continue;
      }
      if (!IsDigits(copied)) {
        LogMessage("Row value increment failed! Specified row column does not contain a number. "
                   "Old row value not changed.",
                   LogKind::Warning);
        continue;
      }
      cell = AddDecimal(copied, amount);
      LogMessage(FormatMsg("Incrementing value of copied row for column %s by %s, new value is %s.",
                           {key, amount, cell}),
                 LogKind::Debug);
    } else if (IsHighForm(cell)) {
      cell = tableQuery_.NextHighestInColumn(*column);
      LogMessage(FormatMsg("Setting copied row column %s to next HIGHEST value %s.", {key, cell}),
                 LogKind::Debug);
    }
    tableQuery_.SetCell(newRow, *column, ResolveMemoryToken(cell));
  }
}

}  // namespace vey
