// UTokenMemory: the StrRef token table and the 2DAMEMORY slots, through which
// one instruction hands a value (a string number, a row, a cell, a field path)
// to later ones.
#include <charconv>

#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {
namespace {

constexpr std::string_view kMemoryWord = "2DAMEMORY";

// Digits that do not fit yield nullopt: such a number names no table entry.
std::optional<std::int64_t> DigitsValue(std::string_view digits) {
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

bool HasStrRefWord(std::string_view text) {
  return text.size() >= 6 && EqualsNoCase(text.substr(0, 6), "strref");
}

}  // namespace

void TVEYPatcher::LoadStrRefTable() {
  StrRefTable.clear();
  LogMessage("Loading StrRef token table...", LogKind::Debug);
  for (const std::string& key : IniFile().ReadSection("TLKList")) {
    std::string value = IniFile().ReadString("TLKList", key, "");
    if (key.empty() || value.empty()) continue;
    if (!HasStrRefWord(key) || !IsDigits(std::string_view(key).substr(6)) || !IsDigits(value))
      continue;
    auto token = DigitsValue(std::string_view(key).substr(6));
    auto index = DigitsValue(value);
    if (!token || !index || *token > INT32_MAX || *index > INT32_MAX) continue;
    StrRefTable.push_back({static_cast<std::int32_t>(*token), static_cast<std::int32_t>(*index)});
  }
  if (!StrRefTable.empty())
    LogMessage(FormatMsg("%s StrRef tokens found and indexed.", {IntToStr(StrRefTable.size())}),
               LogKind::Debug);
}

bool TVEYPatcher::IsStrRefToken(std::string_view text) const {
  return text.size() >= 7 && HasStrRefWord(text) && IsDigits(text.substr(6));
}

std::int32_t TVEYPatcher::ResolveStrRefToken(std::string_view text) {
  if (HasStrRefWord(text) && IsDigits(text.substr(6)) && !StrRefTable.empty()) {
    if (auto number = DigitsValue(text.substr(6))) {
      for (const TStrRefEntry& entry : StrRefTable)
        if (entry.Token == *number) return entry.Value;
    }
  }
  LogMessage(FormatMsg("Encountered StrRef token \"%s\" in modifier list that was not present in "
                       "the TLKList! Value set to StrRef #0.",
                       {text}),
             LogKind::Warning);
  return 0;
}

bool TVEYPatcher::StoreMemoryToken(std::string_view token, std::string_view source,
                                   std::string_view fieldPath, std::int32_t index,
                                   std::int32_t kind) {
  if (token.substr(0, kMemoryWord.size()) != kMemoryWord) return false;
  std::string_view slotText = token.substr(kMemoryWord.size());
  std::size_t slot = 0;
  auto number = IsDigits(slotText) ? DigitsValue(slotText) : std::nullopt;
  if (number && *number == 0) {
    LogMessage("Invalid 2DAMEMORY token found! Token indexes start at 1 and go up...",
               LogKind::Error);
    return false;
  }
  if (number && *number <= kMaxMemorySlots) {
    if (Memory.size() < static_cast<std::size_t>(*number)) Memory.resize(*number);
    slot = static_cast<std::size_t>(*number) - 1;
  } else {
    // A slot number beyond any real need would make the memory grow without
    // bound; it is taken like any other unusable slot text.
    if (Memory.empty()) Memory.resize(1);
    LogMessage(FormatMsg("Invalid memory token %s encountered, using first memory slot instead.",
                         {token}),
               LogKind::Warning);
  }

  auto store2da = [&](std::string value) {
    LogMessage(FormatMsg("Found a %s token! Storing value \"%s\" from 2da to memory...",
                         {token, value}),
               LogKind::Debug);
    Memory[slot] = std::move(value);
  };

  if (kind == 1 || kind == 2 || kind == 4) {
    const std::int32_t rows = TableFile.RowCount();
    const bool rowValid = index >= 0 && index < rows;
    if (source == "RowIndex") {
      store2da(IntToStr(index));
    } else if (source == "RowLabel") {
      if (rowValid)
        store2da(TableFile.GetRowLabel(index));
      else
        LogMessage(FormatMsg("Error looking up row label for row index %s", {IntToStr(index)}),
                   LogKind::Warning);
    } else {
      std::int32_t column = -1;
      try {
        column = TableFile.ColumnIndexOf(source);
      } catch (const EDead& e) {
        if (e.Code() != 8) throw;
      }
      if (column >= 0 && rowValid)
        store2da(TableFile.GetCell(index, column));
      else
        LogMessage(FormatMsg("Invalid column label \"%s\" passed to %s key!", {source, token}),
                   LogKind::Warning);
    }
  } else if (kind == 8) {
    const bool columnValid = index >= 0 && index < TableFile.ColumnCount();
    if (source == "ColumnLabel") {
      if (columnValid)
        store2da(TableFile.GetColumnLabel(index));
      else
        LogMessage(FormatMsg("Error looking up column label for column index %s", {IntToStr(index)}),
                   LogKind::Warning);
    } else {
      std::int64_t row = -1;
      const char first = source.empty() ? '\0' : AsciiLower(source[0]);
      std::string_view rest = source.empty() ? source : source.substr(1);
      if (first == 'i' && IsDigits(rest)) {
        row = DigitsValue(rest).value_or(-1);
      } else if (first == 'l' && !rest.empty()) {
        try {
          row = TableFile.RowIndexOf(rest);
        } catch (const EDead& e) {
          if (e.Code() != 10) throw;
          LogMessage(FormatMsg("Invalid row label \"%s\" passed to %s key!", {source, token}),
                     LogKind::Warning);
          return true;
        }
      }
      if (row >= 0 && row < TableFile.RowCount() && columnValid)
        store2da(TableFile.GetCell(static_cast<std::int32_t>(row), index));
      else
        LogMessage(FormatMsg("Invalid column label passed to %s key!", {token}), LogKind::Warning);
    }
  } else if (kind == 16) {
    if (EqualsNoCase(source, "listindex")) {
      Memory[slot] = IntToStr(index);
      LogMessage(FormatMsg("Found a %s token! Storing ListIndex \"%s\" from GFF to memory...",
                           {token, Memory[slot]}),
                 LogKind::Debug);
    } else if (EqualsNoCase(source, "!fieldpath")) {
      Memory[slot] = std::string(fieldPath);
      LogMessage(FormatMsg("Found a %s token! Storing Field Path \"%s\" from GFF to memory...",
                           {token, Memory[slot]}),
                 LogKind::Debug);
    }
  }
  return true;
}

std::string TVEYPatcher::ResolveMemoryToken(std::string_view value) {
  if (value.substr(0, kMemoryWord.size()) != kMemoryWord) return std::string(value);
  std::string_view slotText = value.substr(kMemoryWord.size());
  const std::string unusable = FormatMsg(
      "Invalid memory token %s encountered, unable to insert a proper value into cell or field!",
      {value});
  const std::string firstSlot =
      FormatMsg("Invalid memory token %s encountered, assuming first memory slot.", {value});
  std::size_t slot = 0;
  if (Memory.empty()) {
    LogMessage(unusable, LogKind::Error);
    return std::string(value);
  }
  if (IsDigits(slotText)) {
    // Digits too many to count name no existing slot either.
    auto number = DigitsValue(slotText);
    if (!number || static_cast<std::uint64_t>(*number) > Memory.size()) {
      LogMessage(firstSlot, LogKind::Warning);
    } else if (*number > 0) {
      slot = static_cast<std::size_t>(*number) - 1;
    }
  } else {
    LogMessage(firstSlot, LogKind::Warning);
  }
  LogMessage(FormatMsg("Found a %s value, substituting with value \"%s\" in memory...",
                       {value, Memory[slot]}),
             LogKind::Debug);
  return Memory[slot];
}

std::string TVEYPatcher::SubstituteTokens(std::string_view value) {
  if (IsStrRefToken(value)) return IntToStr(ResolveStrRefToken(value));
  return ResolveMemoryToken(value);
}

}  // namespace vey
