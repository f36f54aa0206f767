// UValidatorCheck: lookups, findings, data-folder files and the token
// bookkeeping shared by the list checks.
#include "common/UQK_Common.h"
#include "engine/validate/UValidatorCheck.h"

#include <charconv>

#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"

namespace vey::validate {

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  return AsciiLowerCopy(text).find(AsciiLowerCopy(word)) != std::string::npos;
}

bool OtherCase(std::string_view written, std::string_view exact) {
  return written != exact && EqualsNoCase(written, exact);
}

std::string Quote(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

Check::Check(const platform::GameFileSystem& fileSystem, const TValidateInput& in, TQK_IniLayout fileLayout)
    : fs(fileSystem), input(in), layout(std::move(fileLayout)) {
  for (std::size_t i = 0; i < layout.sections.size(); ++i)
    sectionIndex_.emplace(AsciiLowerCopy(layout.sections[i].name), i);
}

const Section* Check::Find(std::string_view name) const {
  auto it = sectionIndex_.find(AsciiLowerCopy(name));
  if (it == sectionIndex_.end()) return nullptr;
  const Section& s = layout.sections[it->second];
  // A header without entries counts as missing, as the installer sees it.
  return s.entries.empty() ? nullptr : &s;
}

const Entry* Check::Find(const Section& section, std::string_view key) const {
  for (const Entry& e : section.entries)
    if (EqualsNoCase(e.key, key)) return &e;
  return nullptr;
}

std::string Check::Value(const Section* section, std::string_view key, std::string_view defaultValue) const {
  const Entry* e = section ? Find(*section, key) : nullptr;
  if (!e || !e->hasValue) return std::string(defaultValue);
  return e->value;
}

bool Check::Bool(const Section* section, std::string_view key, bool defaultValue) const {
  std::string text = Value(section, key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
  auto n = ParseInt32(text);
  return n ? *n != 0 : defaultValue;
}

const Section* Check::Named(std::string_view name, const Section& by, const Entry& entry, TSeverity severity) {
  const Section* s = Find(name);
  if (!s)
    Report(severity, &by, &entry,
           FormatMsg("The section [%s] named here does not exist (or has no keys); this entry does nothing.",
                     {name}));
  return s;
}

void Check::Report(TSeverity severity, const Section* section, const Entry* entry, std::string message) {
  TFinding f;
  f.severity = severity;
  f.file = input.iniName;
  if (section) {
    f.section = section->name;
    f.line = section->line;
  }
  if (entry) {
    f.key = entry->key;
    f.line = entry->line;
  }
  f.message = std::move(message);
  // A section several entries name is checked each time (its stores count
  // each time), but what it holds is told once.
  if (!reported_.emplace(f.line, f.message).second) return;
  findings.push_back(std::move(f));
}

bool Check::FirstVisit(const Section& section, std::string_view what) {
  return visited_.emplace(&section, std::string(what)).second;
}

std::filesystem::path Check::DataFile(std::string_view name) const {
  try {
    return fs.Resolve(input.dataPath, name);
  } catch (const Exception&) {
    return {};
  }
}

bool Check::DataFileExists(std::string_view name) const {
  if (name.empty() || !platform::GameFileSystem::IsContained(name)) return false;
  const auto path = DataFile(name);
  return !path.empty() && fs.IsFile(path);
}

bool Check::StaysInside(const Section* section, const Entry* entry, std::string_view value,
                        std::string_view folderWord) {
  if (platform::GameFileSystem::IsContained(value)) return true;
  Error(section, entry,
        FormatMsg("%s would lead outside the %s folder; the installer refuses it.", {Quote(value), folderWord}));
  return false;
}

std::string Check::SourceOf(std::string_view listed) {
  const Section* s = Find(listed);
  const Entry* e = s ? Find(*s, "!SourceFile") : nullptr;
  if (!e || e->value.empty()) return std::string(listed);
  return e->value;
}

void Check::CheckFileSection(std::string_view listed) {
  const Section* s = Find(listed);
  if (!s || !FirstVisit(*s, "file")) return;
  if (const Entry* e = Find(*s, "!SourceFile"); e && !e->value.empty()) {
    if (StaysInside(s, e, e->value, "data") && !DataFileExists(e->value))
      Error(s, e, FormatMsg("The file %s is not in the data folder; %s cannot be installed.",
                            {Quote(e->value), Quote(listed)}));
  }
  if (const Entry* e = Find(*s, "!SaveAs"); e && !e->value.empty()) StaysInside(s, e, e->value, "game");
}

void Check::CheckOverrideType(const Section& section) {
  const Entry* e = Find(section, "!OverrideType");
  if (!e || e->value.empty()) return;
  if (!EqualsNoCase(e->value, "ignore") && !EqualsNoCase(e->value, "warn") && !EqualsNoCase(e->value, "rename"))
    Warning(&section, e, FormatMsg("%s is not one of ignore, warn or rename; it acts as ignore.", {Quote(e->value)}));
}

bool Check::IsMemoryWord(std::string_view text) { return text.starts_with("2DAMEMORY"); }

bool Check::IsMisspeltMemoryWord(std::string_view text) {
  return text.size() >= 9 && !IsMemoryWord(text) && EqualsNoCase(text.substr(0, 9), "2DAMEMORY");
}

void Check::CheckMemoryRead(const Section& section, const Entry& entry, std::string_view token) {
  std::string_view slotText = token.substr(9);
  if (!IsDigits(slotText)) {
    Error(&section, &entry,
          FormatMsg("%s names no memory slot (a number must follow 2DAMEMORY); the first slot is used instead.",
                    {Quote(token)}));
    return;
  }
  std::uint64_t n = 0;
  std::from_chars(slotText.data(), slotText.data() + slotText.size(), n);
  if (n == 0) n = 1;  // slot 0 reads the first slot
  if (n >= slots_.size() || !slots_[n])
    Error(&section, &entry,
          FormatMsg("%s is read here, but no step before this one in the installer's order stores it.",
                    {Quote(token)}));
}

void Check::CheckValue(const Section& section, const Entry& entry, std::string_view value, bool strRefs) {
  if (strRefs && value.size() >= 7 && EqualsNoCase(value.substr(0, 6), "strref") && IsDigits(value.substr(6))) {
    std::int32_t token = -1;
    auto r = std::from_chars(value.data() + 6, value.data() + value.size(), token);
    if (r.ec != std::errc() || !strRefs_.contains(token))
      Error(&section, &entry,
            FormatMsg("The StrRef token %s is not defined in the TLKList; it is written as 0.", {Quote(value)}));
    return;
  }
  if (IsMemoryWord(value)) {
    CheckMemoryRead(section, entry, value);
  } else if (IsMisspeltMemoryWord(value)) {
    Error(&section, &entry,
          FormatMsg("%s is not a token: only \"2DAMEMORY\" in capitals is one, so the text is used as it stands.",
                    {Quote(value)}));
  }
}

bool Check::StoreKey(const Section& section, const Entry& entry) {
  if (IsMisspeltMemoryWord(entry.key)) {
    Error(&section, &entry,
          FormatMsg("The key %s stores nothing: only \"2DAMEMORY\" in capitals makes a memory key.",
                    {Quote(entry.key)}));
    return false;
  }
  if (!IsMemoryWord(entry.key)) return false;
  std::string_view slotText = std::string_view(entry.key).substr(9);
  std::uint64_t n = 1;  // a malformed slot stores into the first one
  if (IsDigits(slotText)) {
    n = 0;
    auto r = std::from_chars(slotText.data(), slotText.data() + slotText.size(), n);
    if (n == 0 && r.ec == std::errc()) {
      Error(&section, &entry, "Memory slots are numbered from 1; 2DAMEMORY0 stores nothing.");
      return true;
    }
  }
  // Slot numbers beyond any need are refused like malformed ones.
  if (!IsDigits(slotText) || n > static_cast<std::uint64_t>(kMaxMemorySlots) || n == 0) {
    n = 1;
    Warning(&section, &entry,
            FormatMsg("%s names no memory slot; the first slot is used instead.", {Quote(entry.key)}));
  }
  if (slots_.size() <= n) slots_.resize(n + 1, false);
  slots_[n] = true;
  return true;
}

}  // namespace vey::validate
