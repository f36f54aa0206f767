// UValidator2DA: the 2DAList, its tables' modifier keys and the four kinds of
// modifier section, with the 2DAMEMORY stores and reads in the order the
// modifiers make them.
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "common/UQK_Common.h"
#include "engine/validate/UValidatorCheck.h"

namespace vey::validate {
namespace {

enum class Modifier { None, AddRow, ChangeRow, AddColumn, CopyRow };

constexpr std::string_view kModifierWords[] = {"AddRow", "ChangeRow", "AddColumn", "CopyRow"};

// Case-sensitive substring tests, first match wins, as the run dispatches.
Modifier ModifierOf(std::string_view key) {
  for (std::size_t i = 0; i < std::size(kModifierWords); ++i)
    if (key.find(kModifierWords[i]) != std::string_view::npos) return static_cast<Modifier>(i + 1);
  return Modifier::None;
}

// A value standing for "one more than the largest number" is never a token.
bool IsHigh(std::string_view value) { return value.size() >= 6 && EqualsNoCase(value.substr(0, 6), "high()"); }

// What a 2DAMEMORY key of a row modifier stores: the row's index or label,
// or the cell of a column (which only the table can tell).
void CheckRowStoreSource(Check& c, const Section& s, const Entry& e) {
  for (std::string_view word : {"RowIndex", "RowLabel"}) {
    if (OtherCase(e.value, word)) {
      c.Error(&s, &e,
              FormatMsg("%s is read as a column label: only %s written in exactly this case stores the row's %s.",
                        {Quote(e.value), Quote(word), word == "RowIndex" ? "index" : "label"}));
      return;
    }
  }
  if (e.value.empty()) c.Warning(&s, &e, "Nothing is named to store; the memory slot is left as it was.");
}

void CheckExclusive(Check& c, const Section& s) {
  const Entry* excl = c.Find(s, "ExclusiveColumn");
  if (!excl || excl->value.empty()) return;
  const Entry* cell = c.Find(s, excl->value);
  if (!cell || cell->value.empty())
    c.Error(&s, excl,
            FormatMsg("The exclusive column %s is given no value in this section; the row is never added.",
                      {Quote(excl->value)}));
}

// A key written "exclusivecolumn" still drives the exclusive test, but the
// key loop takes it for a column label.
bool ReportExclusiveCase(Check& c, const Section& s, const Entry& e) {
  if (!OtherCase(e.key, "ExclusiveColumn")) return false;
  c.Error(&s, &e,
          FormatMsg("Written %s, the key still starts the exclusive test but is also taken as a column label; "
                    "write \"ExclusiveColumn\".",
                    {Quote(e.key)}));
  return true;
}

void CheckCell(Check& c, const Section& s, const Entry& e) {
  if (!IsHigh(e.value)) c.CheckValue(s, e, e.value);
}

void CheckAddRow(Check& c, const Section& s) {
  CheckExclusive(c, s);
  bool rowMade = false;
  for (const Entry& e : s.entries) {
    if (e.key == "ExclusiveColumn") continue;
    if (ReportExclusiveCase(c, s, e)) {
      rowMade = true;
      continue;
    }
    if (Check::IsMemoryWord(e.key) && !rowMade) {
      c.Warning(&s, &e,
                "This memory key comes before every column, so it is taken as a column label and stores nothing; "
                "put memory keys at the end of the section.");
      rowMade = true;
      continue;
    }
    if (c.StoreKey(s, e)) {
      CheckRowStoreSource(c, s, e);
      continue;
    }
    rowMade = true;
    if (EqualsNoCase(e.key, "RowLabel")) {
      if (!IsHigh(e.value)) c.CheckValue(s, e, e.value, false);
    } else {
      CheckCell(c, s, e);
    }
  }
}

void CheckChangeRow(Check& c, const Section& s) {
  const Entry& first = s.entries.front();
  if (OtherCase(first.key, "LabelIndex")) {
    c.Error(&s, &first,
            FormatMsg("Written %s, the key does not find a row: only \"LabelIndex\" in exactly this case does. "
                      "The modifier is not applied.",
                      {Quote(first.key)}));
    return;
  }
  if (!EqualsNoCase(first.key, "RowIndex") && !EqualsNoCase(first.key, "RowLabel") && first.key != "LabelIndex") {
    c.Error(&s, &first,
            "The first key must be RowIndex, RowLabel or LabelIndex, naming the row to change; the modifier is "
            "not applied.");
    return;
  }
  if (EqualsNoCase(first.key, "RowIndex") && !first.value.empty()) {
    if (Check::IsMemoryWord(first.value))
      c.CheckValue(s, first, first.value, false);
    else if (!ParseInt32(first.value))
      c.Error(&s, &first, FormatMsg("%s is not a row number; it ends the whole run.", {Quote(first.value)}));
  } else if (EqualsNoCase(first.key, "RowLabel")) {
    c.CheckValue(s, first, first.value, false);
  }
  for (std::size_t i = 1; i < s.entries.size(); ++i) {
    const Entry& e = s.entries[i];
    if (c.StoreKey(s, e)) {
      CheckRowStoreSource(c, s, e);
      continue;
    }
    CheckCell(c, s, e);
  }
}

void CheckAddColumn(Check& c, const Section& s) {
  bool made = false;
  for (const Entry& e : s.entries) {
    if (!made) {
      if (EqualsNoCase(e.key, "ColumnLabel") && !e.value.empty()) {
        c.CheckValue(s, e, e.value, false);
        made = true;
      } else {
        c.Warning(&s, &e, "This key comes before ColumnLabel and is ignored.");
      }
      continue;
    }
    if (c.StoreKey(s, e)) {
      if (OtherCase(e.value, "ColumnLabel")) {
        c.Error(&s, &e,
                FormatMsg("%s stores nothing: only \"ColumnLabel\" in exactly this case stores the column's label.",
                          {Quote(e.value)}));
      } else if (e.value != "ColumnLabel" &&
                 !(e.value.size() > 1 && (e.value[0] == 'I' || e.value[0] == 'i') && IsDigits(e.value.substr(1))) &&
                 !(e.value.size() > 1 && (e.value[0] == 'L' || e.value[0] == 'l'))) {
        c.Warning(&s, &e,
                  FormatMsg("%s names no cell of the new column (I and a row number, or L and a row label); "
                            "nothing is stored.",
                            {Quote(e.value)}));
      }
      continue;
    }
    const char first = e.key[0];
    if (EqualsNoCase(e.key, "DefaultValue")) {
      c.CheckValue(s, e, e.value);
    } else if ((first == 'I' || first == 'i') && IsDigits(e.key.substr(1))) {
      if (Check::IsMemoryWord(e.value))
        c.Warning(&s, &e,
                  "A row given by number (I key) receives a 2DAMEMORY token as text; give the row by label (L key) "
                  "to have the token replaced.");
      else
        c.CheckValue(s, e, e.value);
    } else if ((first == 'L' || first == 'l') && e.key.size() > 1) {
      c.CheckValue(s, e, e.value);
    } else if (EqualsNoCase(e.key, "ColumnLabel")) {
      c.Warning(&s, &e, "A second ColumnLabel has no effect.");
    } else {
      c.Warning(&s, &e,
                FormatMsg("An AddColumn section reads no key %s (I and a row number, L and a row label, "
                          "DefaultValue or a 2DAMEMORY key); it has no effect.",
                          {Quote(e.key)}));
    }
  }
  if (!made) c.Error(&s, nullptr, "No ColumnLabel with a value: no column is added.");
}

void CheckCopyRow(Check& c, const Section& s) {
  CheckExclusive(c, s);
  bool source = false, copied = false;
  for (const Entry& e : s.entries) {
    if (!source && EqualsNoCase(e.key, "RowIndex")) {
      if (IsDigits(e.value))
        source = true;
      else
        c.Error(&s, &e,
                FormatMsg("The row to copy must be given as a plain number; %s has no effect.", {Quote(e.value)}));
      continue;
    }
    if (!source && EqualsNoCase(e.key, "RowLabel") && !e.value.empty()) {
      c.CheckValue(s, e, e.value, false);
      source = true;
      continue;
    }
    if (e.key == "ExclusiveColumn") continue;
    const bool misspeltExclusive = ReportExclusiveCase(c, s, e);
    if (source && !misspeltExclusive && c.StoreKey(s, e)) {
      CheckRowStoreSource(c, s, e);
      continue;
    }
    if (!misspeltExclusive && EqualsNoCase(e.key, "NewRowLabel") && !e.value.empty()) {
      if (copied) c.Warning(&s, &e, "NewRowLabel after the first column key has no effect; put it before them.");
      if (!IsHigh(e.value)) c.CheckValue(s, e, e.value, false);
      continue;
    }
    if (!source) {
      c.Warning(&s, &e, "This key comes before RowIndex or RowLabel and has no effect.");
      continue;
    }
    copied = true;
    CheckCell(c, s, e);
  }
  if (!source) c.Error(&s, nullptr, "No RowIndex or RowLabel names the row to copy; nothing is copied.");
}

}  // namespace

void Check2DAList(Check& c) {
  const Section* list = c.Find("2DAList");
  if (!list) return;
  for (const Entry& t : list->entries) {
    if (t.value.empty()) {
      c.Warning(list, &t, "No 2DA file is named here; the entry is skipped.");
      continue;
    }
    if (!c.StaysInside(list, &t, t.value, "game")) continue;
    c.CheckFileSection(t.value);
    const Section* table = c.Named(t.value, *list, t);
    if (!table) continue;
    for (const Entry& m : table->entries) {
      if (m.value.empty()) continue;  // skipped silently, as the run does
      const Modifier kind = ModifierOf(m.key);
      if (kind == Modifier::None) {
        bool misspelt = false;
        for (std::string_view word : kModifierWords) {
          if (ContainsNoCase(m.key, word)) {
            c.Error(table, &m,
                    FormatMsg("%s is not a modifier: only %s written in exactly this case is one. The installer "
                              "skips it with a warning.",
                              {Quote(m.key), Quote(word)}));
            misspelt = true;
            break;
          }
        }
        if (misspelt) continue;
        if (StartsWithNoCase(m.key, "!SourceFile") || EqualsNoCase(m.key, "!SaveAs"))
          c.Warning(table, &m,
                    "This key is read to find the table, but the 2DA step also takes it for a modifier and warns "
                    "that it is invalid.");
        else
          c.Error(table, &m,
                  FormatMsg("%s names no modifier (AddRow, ChangeRow, AddColumn or CopyRow); it is skipped.",
                            {Quote(m.key)}));
        continue;
      }
      const Section* s = c.Named(m.value, *table, m);
      if (!s) continue;
      switch (kind) {
        case Modifier::AddRow: CheckAddRow(c, *s); break;
        case Modifier::ChangeRow: CheckChangeRow(c, *s); break;
        case Modifier::AddColumn: CheckAddColumn(c, *s); break;
        case Modifier::CopyRow: CheckCopyRow(c, *s); break;
        case Modifier::None: break;
      }
    }
  }
}

}  // namespace vey::validate
