// UValidatorCheck: the state one validation shares between its list checks:
// the instruction file's layout with name lookups, the findings, the data
// folder, and what the run would have defined by each point in its order
// (StrRef tokens, 2DAMEMORY slots).
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/UQK_IniFile.h"
#include "common/VeyException.h"
#include "engine/validate/UValidator.h"

namespace vey::validate {

using Section = TQK_IniSection;
using Entry = TQK_IniEntry;

class Check {
 public:
  Check(const platform::GameFileSystem& fs, const TValidateInput& input, TQK_IniLayout layout);

  // Sections and keys, matched as the installer matches them (ASCII case ignored).
  const Section* Find(std::string_view name) const;
  const Entry* Find(const Section& section, std::string_view key) const;
  // The value the installer reads (defaultValue when the key is absent).
  std::string Value(const Section* section, std::string_view key, std::string_view defaultValue = "") const;
  bool Bool(const Section* section, std::string_view key, bool defaultValue) const;
  // The section a list entry names; reported (as severity) when there is none.
  const Section* Named(std::string_view name, const Section& by, const Entry& entry,
                       TSeverity severity = TSeverity::Error);

  void Report(TSeverity severity, const Section* section, const Entry* entry, std::string message);
  void Error(const Section* section, const Entry* entry, std::string message) {
    Report(TSeverity::Error, section, entry, std::move(message));
  }
  void Warning(const Section* section, const Entry* entry, std::string message) {
    Report(TSeverity::Warning, section, entry, std::move(message));
  }
  // Once per (section, what) pair: a section several entries name is
  // checked for its own keys only once.
  bool FirstVisit(const Section& section, std::string_view what);

  // Files of the mod. Names are Windows-relative, matched without regard to case.
  std::filesystem::path DataFile(std::string_view name) const;
  bool DataFileExists(std::string_view name) const;
  // Reports a value that would lead out of folderWord's folder; true when it stays inside.
  bool StaysInside(const Section* section, const Entry* entry, std::string_view value, std::string_view folderWord);
  // The data-folder name behind a listed file: "!SourceFile" of its section
  // when set (reported when missing from the data folder), else the name.
  std::string SourceOf(std::string_view listed);
  // Reports "!SourceFile" and "!SaveAs" values of a listed file's section
  // that leave the data folder or name a missing file.
  void CheckFileSection(std::string_view listed);
  // "!OverrideType" of a file put into an archive: ignore, warn or rename.
  void CheckOverrideType(const Section& section);

  // Tokens as the run would know them at this point of its fixed order.
  void DefineStrRef(std::int32_t token) { strRefs_.insert(token); }
  bool HasStrRefs() const { return !strRefs_.empty(); }
  // A value that the installer passes through token substitution: StrRef
  // tokens must be defined, 2DAMEMORY tokens stored earlier, and a word in
  // another letter case is reported as it would stay text.
  void CheckValue(const Section& section, const Entry& entry, std::string_view value, bool strRefs = true);
  // A key that may be a 2DAMEMORY store: true when it is one (the slot is
  // then stored from here on); a misspelt one is reported.
  bool StoreKey(const Section& section, const Entry& entry);
  // Text beginning with the word 2DAMEMORY exactly as the installer reads
  // it, or with the same letters in another case (then no token at all).
  static bool IsMemoryWord(std::string_view text);
  static bool IsMisspeltMemoryWord(std::string_view text);
  // A 2DAMEMORY token read here: its slot must have been stored before.
  void CheckMemoryRead(const Section& section, const Entry& entry, std::string_view token);

  const platform::GameFileSystem& fs;
  const TValidateInput& input;
  const TQK_IniLayout layout;
  std::vector<TFinding> findings;

 private:
  std::unordered_map<std::string, std::size_t> sectionIndex_;  // ASCII lower-case name
  std::set<std::pair<const Section*, std::string>> visited_;
  std::set<std::pair<std::int32_t, std::string>> reported_;
  std::set<std::int32_t> strRefs_;
  std::vector<bool> slots_;  // slot n stored: slots_[n]
};

// The checks of each list, in the order the run takes them.
void CheckSettings(Check& c);
void CheckTLKList(Check& c);
void CheckInstallList(Check& c);
void Check2DAList(Check& c);
void CheckGFFList(Check& c);
void CheckHACKList(Check& c);
void CheckCompileList(Check& c);
void CheckSSFList(Check& c);

// Shared word tests.
bool IsDigits(std::string_view text);
bool ContainsNoCase(std::string_view text, std::string_view word);
// Same letters, other case.
bool OtherCase(std::string_view written, std::string_view exact);
std::string Quote(std::string_view text);

}  // namespace vey::validate
