// UValidatorLists: the HACKList, the CompileList (with the tokens inside the
// script sources) and the SSFList.
#include <charconv>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "common/UQK_Common.h"
#include "engine/validate/UValidatorCheck.h"
#include "formats/USSFFile.h"

namespace vey::validate {
namespace {

bool IsFileLocationKey(std::string_view key) {
  return StartsWithNoCase(key, "!sourcefile") || EqualsNoCase(key, "!saveas");
}

bool IsStrRefText(std::string_view v) { return v.size() >= 7 && StartsWithNoCase(v, "strref") && IsDigits(v.substr(6)); }

// Bracketed tokens of one script source, line by line: "#2DAMEMORYn#" must
// be stored before the CompileList runs and "#StrRefn#" defined; the same
// words in another letter case are left in the source as written.
void CheckScriptTokens(Check& c, const Section& list, const Entry& by, const std::string& name) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = c.fs.ReadFile(c.DataFile(name));
  } catch (const Exception&) {
    return;
  }
  const std::string text(bytes.begin(), bytes.end());
  std::int32_t lineNo = 1;
  Entry at = by;  // findings point at the script's own line
  Section where = list;
  where.entries.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++lineNo;
      continue;
    }
    if (text[i] != '#') continue;
    const std::size_t close = text.find_first_of("#\n", i + 1);
    if (close == std::string::npos || text[close] != '#') continue;
    const std::string_view token = std::string_view(text).substr(i + 1, close - i - 1);
    const bool memory = token.size() > 9 && EqualsNoCase(token.substr(0, 9), "2DAMEMORY") && IsDigits(token.substr(9));
    const bool strRef = token.size() > 6 && EqualsNoCase(token.substr(0, 6), "StrRef") && IsDigits(token.substr(6));
    if (!memory && !strRef) continue;
    TFinding f;
    f.file = name;
    f.line = lineNo;
    if ((memory && !token.starts_with("2DAMEMORY")) || (strRef && !token.starts_with("StrRef"))) {
      f.severity = TSeverity::Error;
      f.message = FormatMsg("#%s# is left in the script as written: the token words are \"2DAMEMORY\" and "
                            "\"StrRef\" in exactly this case.",
                            {token});
      c.findings.push_back(f);
    } else {
      // Checked as a value of the instruction file, then moved to the script's line.
      const std::size_t before = c.findings.size();
      at.line = lineNo;
      c.CheckValue(where, at, token);
      for (std::size_t k = before; k < c.findings.size(); ++k) {
        c.findings[k].file = name;
        c.findings[k].section.clear();
        c.findings[k].key.clear();
      }
    }
    i = close - 1;  // the closing '#' may open the next token
  }
}

}  // namespace

void CheckHACKList(Check& c) {
  const Section* list = c.Find("HACKList");
  if (!list) return;
  for (const Entry& e : list->entries) {
    if (e.value.size() <= 4) {
      c.Warning(list, &e, "A file name of four characters or fewer is skipped.");
      continue;
    }
    if (!c.StaysInside(list, &e, e.value, "game")) continue;
    const Section* s = c.Named(e.value, *list, e);
    c.CheckFileSection(e.value);
    const std::string source = c.SourceOf(e.value);
    if (source == e.value && !c.DataFileExists(source))
      c.Error(list, &e, FormatMsg("The file %s is not in the data folder.", {Quote(source)}));
    if (!s) continue;
    for (std::size_t i = 0; i < s->entries.size(); ++i) {
      const Entry& k = s->entries[i];
      if (EqualsNoCase(k.key, "replacefile")) {
        if (i != 0 || s->entries.size() < 2)
          c.Warning(s, &k, "replacefile is honoured only as the first of several keys; here it has no effect.");
        continue;
      }
      if (IsFileLocationKey(k.key)) continue;
      if (!IsDigits(k.key)) {
        c.Error(s, &k, FormatMsg("%s is no byte offset (decimal digits only); it is skipped.", {Quote(k.key)}));
        continue;
      }
      // The installer reads offsets as 32-bit numbers too: a larger one stops it.
      if (!ParseInt32(k.key)) {
        c.Error(s, &k, FormatMsg("The offset %s does not fit in 32 bits; it ends the whole run.", {Quote(k.key)}));
        continue;
      }
      c.CheckValue(*s, k, k.value);
      if (IsStrRefText(k.value) || Check::IsMemoryWord(k.value)) continue;
      if (!IsDigits(k.value))
        c.Error(s, &k, FormatMsg("%s is no value to write (decimal digits only); it is skipped.", {Quote(k.value)}));
      else if (!ParseInt32(k.value))
        c.Error(s, &k, FormatMsg("%s does not fit in 32 bits; it ends the whole run.", {Quote(k.value)}));
    }
  }
}

void CheckCompileList(Check& c) {
  const Section* list = c.Find("CompileList");
  if (!list) return;
  const Entry* defaultKey = c.Find(*list, "!DefaultDestination");
  const std::string defaultDestination = c.Value(list, "!DefaultDestination", "override");
  if (defaultKey && !EqualsNoCase(defaultDestination, "override"))
    c.StaysInside(list, defaultKey, defaultDestination, "game");
  bool scripts = false;
  for (const Entry& e : list->entries) {
    if (EqualsNoCase(e.key, "!DefaultDestination")) continue;
    scripts = true;
    if (e.value.empty()) {
      c.Warning(list, &e, "No script is named here; the entry is skipped.");
      continue;
    }
    if (!c.StaysInside(list, &e, e.value, "data")) continue;
    c.CheckFileSection(e.value);
    if (const Section* s = c.Find(e.value); s && c.FirstVisit(*s, "script")) {
      for (const Entry& k : s->entries) {
        if (EqualsNoCase(k.key, "!Destination")) {
          if (!EqualsNoCase(k.value, "override")) c.StaysInside(s, &k, k.value, "game");
        } else if (!EqualsNoCase(k.key, "!SaveAs") && !EqualsNoCase(k.key, "!SourceFile") &&
                   !EqualsNoCase(k.key, "!OverrideType")) {
          c.Warning(s, &k, FormatMsg("A script's section reads no key %s.", {Quote(k.key)}));
        }
      }
    }
    const std::string source = c.SourceOf(e.value);
    if (!c.DataFileExists(source)) {
      if (source == e.value) c.Error(list, &e, FormatMsg("The script %s is not in the data folder.", {Quote(source)}));
      continue;
    }
    CheckScriptTokens(c, *list, e, source);
  }
  if (!scripts) return;
  // The compiler runs in the data folder and reads the game's script
  // definitions from there.
  if (!c.DataFileExists("nwscript.nss"))
    c.Warning(list, nullptr,
              "The data folder holds no nwscript.nss, which the script compiler needs; the scripts will likely fail "
              "to compile.");
  if (c.input.ownCompiler) return;
  bool compiler = false;
  try {
    compiler = c.fs.IsFile(c.fs.Child(c.input.compilerFolder, "nwnnsscomp.exe"));
  } catch (const Exception&) {
  }
  if (!compiler) {
    std::filesystem::path folder = c.input.compilerFolder;
    if (!folder.has_filename()) folder = folder.parent_path();
    c.Error(list, nullptr,
            FormatMsg("The script compiler nwnnsscomp.exe is not in %s, the mod's \"veypatchdata\" folder, where it "
                      "was looked for; no script is compiled.",
                      {Quote(PathText(folder))}));
  }
}

void CheckSSFList(Check& c) {
  const Section* list = c.Find("SSFList");
  if (!list) return;
  TSSFFile labels;
  for (const Entry& e : list->entries) {
    if (!c.StaysInside(list, &e, e.value, "game")) continue;
    const Section* s = c.Named(e.value, *list, e);
    c.CheckFileSection(e.value);
    const bool replace = StartsWithNoCase(e.key, "replace");
    const std::string source = c.SourceOf(e.value);
    if (replace && source == e.value && !c.DataFileExists(source))
      c.Error(list, &e, FormatMsg("A replacing entry takes the mod's own copy, but %s is not in the data folder.",
                                  {Quote(source)}));
    if (!s) continue;
    for (const Entry& k : s->entries) {
      if (IsFileLocationKey(k.key)) continue;
      bool label = false;
      for (const std::string& l : labels.Labels()) label = label || EqualsNoCase(l, k.key);
      if (!label) {
        c.Error(s, &k,
                FormatMsg("%s is no soundset entry label; the installer skips the whole file.", {Quote(k.key)}));
        continue;
      }
      c.CheckValue(*s, k, k.value);
      if (!IsStrRefText(k.value) && !Check::IsMemoryWord(k.value) && !k.value.empty() && !ParseInt32(k.value) &&
          k.value != "4294967295")
        c.Warning(s, &k, FormatMsg("%s is no string number; the entry is skipped.", {Quote(k.value)}));
    }
  }
}

}  // namespace vey::validate
