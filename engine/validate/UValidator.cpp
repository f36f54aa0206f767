// UValidator: one validation of an instruction file: its encoding, then the
// lists in the order a run takes them, so that a token is known exactly
// where the run would know it. Settings, TLKList and InstallList are here.
#include "engine/validate/UValidator.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "common/Counted.h"
#include "common/StrFormat.h"
#include "common/TextEncoding.h"
#include "common/Win1252.h"
#include "common/UQK_Common.h"
#include "engine/support/UListKeys.h"
#include "engine/validate/UValidatorCheck.h"
#include "formats/UTLKFile.h"

namespace vey {
namespace validate {
namespace {

enum class SettingType { Bool, Int, Text };

struct SettingKey {
  std::string_view name;
  SettingType type;
};

constexpr SettingKey kSettings[] = {
    {"FileExists", SettingType::Bool},         {"InstallerMode", SettingType::Bool},
    {"ConfirmMessage", SettingType::Text},     {"WindowCaption", SettingType::Text},
    {"LogLevel", SettingType::Int},            {"PlaintextLog", SettingType::Bool},
    {"BackupFiles", SettingType::Bool},        {"LookupGameFolder", SettingType::Bool},
    {"LookupGameNumber", SettingType::Int},    {"Required", SettingType::Text},
    {"RequiredMsg", SettingType::Text},        {"ScriptCompilerFlags", SettingType::Text},
    {"SaveProcessedScripts", SettingType::Bool},
};

bool ReadsAsNumber(std::string text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  return ParseInt32(text).has_value();
}

}  // namespace

void CheckSettings(Check& c) {
  const Section* s = c.Find("Settings");
  if (!s) {
    c.Error(nullptr, nullptr, "There is no [Settings] section with FileExists=1; the installer will not start.");
    return;
  }
  for (const Entry& e : s->entries) {
    const SettingKey* known = nullptr;
    for (const SettingKey& k : kSettings)
      if (EqualsNoCase(e.key, k.name)) known = &k;
    if (!known) {
      c.Warning(s, &e, FormatMsg("The installer reads no setting %s.", {Quote(e.key)}));
      continue;
    }
    if (known->type != SettingType::Text && !e.value.empty() && !ReadsAsNumber(e.value))
      c.Warning(s, &e,
                FormatMsg("%s is not a number; the setting keeps its default. Write 1 or 0 for yes or no.",
                          {Quote(e.value)}));
  }
  if (!c.Bool(s, "FileExists", false))
    c.Error(s, c.Find(*s, "FileExists"), "FileExists is not set to 1; the installer will not start.");
}

// A "Replace" key: its talk table and the section mapping game entries to
// entries of that table. The game's count is not known here.
void CheckReplacement(Check& c, const Section& list, const Entry& e) {
  if (e.value.empty()) {
    c.Warning(&list, &e, "No talk table is named here; nothing is replaced.");
    return;
  }
  if (!c.StaysInside(&list, &e, e.value, "data")) return;
  const Section* map = c.Named(e.value, list, e, TSeverity::Warning);
  std::optional<std::uint32_t> count;
  if (!c.DataFileExists(e.value)) {
    c.Warning(&list, &e, FormatMsg("%s is not in the data folder; its entries are not replaced.", {Quote(e.value)}));
  } else {
    try {
      count = TTLKFileHandler(c.DataFile(e.value)).Count();
    } catch (const Exception& x) {
      c.Error(&list, &e, FormatMsg("%s cannot be read as a talk table: %s", {Quote(e.value), x.what()}));
    }
  }
  if (!map || !c.FirstVisit(*map, "replace")) return;
  for (const Entry& m : map->entries) {
    const auto to = ParseInt32(m.key), from = ParseInt32(m.value);
    if (!IsDigits(m.key) || !IsDigits(m.value) || !to || !from) {
      c.Warning(map, &m, "A replacement maps a game entry number to an entry number of the talk table; this one "
                         "is skipped.");
    } else if (count && static_cast<std::uint32_t>(*from) >= *count) {
      c.Warning(map, &m,
                FormatMsg("%s has %s (numbered from 0); entry %s does not exist and game entry %s is not "
                          "replaced.",
                          {Quote(e.value), Counted(*count, "entry", "entries"), m.value, m.key}));
    }
  }
}

void CheckTLKList(Check& c) {
  const Section* s = c.Find("TLKList");
  if (!s) return;
  std::vector<const Entry*> tokens;
  for (const Entry& e : s->entries) {
    if (EqualsNoCase(e.key, "!SourceFile") || EqualsNoCase(e.key, "!SourceFileF")) continue;
    if (IsReplaceKey(e.key)) {
      CheckReplacement(c, *s, e);
      continue;
    }
    const bool tokenKey = e.key.size() > 6 && EqualsNoCase(e.key.substr(0, 6), "strref");
    if (!tokenKey || !IsDigits(e.key.substr(6))) {
      c.Warning(s, &e,
                FormatMsg("%s is neither a StrRef token (StrRef and a number), Replace and a number, nor !SourceFile; it is skipped.",
                          {Quote(e.key)}));
      continue;
    }
    auto token = ParseInt32(e.key.substr(6));
    if (e.value.empty() || !IsDigits(e.value) || !ParseInt32(e.value) || !token) {
      c.Error(s, &e,
              FormatMsg("%s must be given the number of an entry of the mod's talk table; the token stays undefined.",
                        {Quote(e.key)}));
      continue;
    }
    c.DefineStrRef(*token);
    tokens.push_back(&e);
  }
  if (tokens.empty()) return;

  const Entry* sourceKey = c.Find(*s, "!SourceFile");
  const std::string source = c.Value(s, "!SourceFile", "append.tlk");
  if (!c.StaysInside(s, sourceKey, source, "data")) return;
  if (!c.DataFileExists(source)) {
    c.Error(s, sourceKey,
            FormatMsg("The mod's talk table %s is not in the data folder; no string is appended and every "
                      "StrRef token stands for its own index.",
                      {Quote(source)}));
  } else {
    try {
      TTLKFileHandler table(c.DataFile(source));
      for (const Entry* e : tokens) {
        auto index = ParseInt32(e->value);
        if (index && *index >= 0 && static_cast<std::uint32_t>(*index) >= table.Count())
          c.Error(s, e,
                  FormatMsg("%s has %s (numbered from 0); entry %s does not exist.",
                            {Quote(source), Counted(table.Count(), "entry", "entries"), e->value}));
      }
    } catch (const Exception& e) {
      c.Error(s, sourceKey, FormatMsg("%s cannot be read as a talk table: %s", {Quote(source), e.what()}));
    }
  }
  if (const Entry* f = c.Find(*s, "!SourceFileF"); f && !f->value.empty())
    if (c.StaysInside(s, f, f->value, "data") && !c.DataFileExists(f->value))
      c.Warning(s, f, FormatMsg("%s is not in the data folder; dialogf.tlk is left alone.", {Quote(f->value)}));
}

void CheckInstallList(Check& c) {
  const Section* list = c.Find("InstallList");
  if (!list) return;
  if (!c.Bool(c.Find("Settings"), "InstallerMode", false))
    c.Warning(list, nullptr, "InstallerMode is not set to 1, so the InstallList is never carried out.");
  std::unordered_set<std::string> patched;
  for (std::string_view other : {"2DAList", "GFFList", "HACKList", "CompileList", "SSFList"})
    if (const Section* o = c.Find(other))
      for (const Entry& e : o->entries) patched.insert(AsciiLowerCopy(e.value));
  for (const Entry& folder : list->entries) {
    const std::string& d = folder.value;
    if (d.empty()) {
      c.Error(list, &folder, "No destination is given; this folder's files are not installed.");
      continue;
    }
    if (!c.StaysInside(list, &folder, d, "game")) continue;
    const Section* files = c.Named(folder.key, *list, folder);
    if (!files || !c.FirstVisit(*files, "install")) continue;
    for (const Entry& f : files->entries) {
      if (EqualsNoCase(f.key, "!OverrideType")) continue;
      if (f.value.empty()) {
        c.Warning(files, &f, "No file is named here; the entry is skipped.");
        continue;
      }
      if (!c.StaysInside(files, &f, f.value, "data")) continue;
      c.CheckFileSection(f.value);
      const std::string source = c.SourceOf(f.value);
      if (source == f.value && !c.DataFileExists(source))
        c.Error(files, &f, FormatMsg("The file %s is not in the data folder.", {Quote(source)}));
      const Section* own = c.Find(f.value);
      if (!own) continue;
      c.CheckOverrideType(*own);
      // A section that another list names too holds that list's keys as well.
      if (!patched.contains(AsciiLowerCopy(own->name)) && c.FirstVisit(*own, "installed"))
        for (const Entry& k : own->entries)
          if (!EqualsNoCase(k.key, "!SourceFile") && !EqualsNoCase(k.key, "!SaveAs") &&
              !EqualsNoCase(k.key, "!OverrideType"))
            c.Warning(own, &k, FormatMsg("The section of an installed file reads no key %s.", {Quote(k.key)}));
    }
  }
}

}  // namespace validate

std::vector<TFinding> ValidateInstructions(const platform::GameFileSystem& fs, const TValidateInput& input) {
  using validate::Check;
  std::vector<TFinding> findings;
  auto whole = [&](TSeverity severity, std::string message) {
    findings.push_back({severity, input.iniName, "", "", 0, std::move(message)});
  };
  std::filesystem::path iniPath;
  try {
    iniPath = fs.Resolve(input.dataPath, input.iniName);
  } catch (const Exception&) {
  }
  if (iniPath.empty() || !fs.IsFile(iniPath)) {
    whole(TSeverity::Error, "The instruction file is missing from the data folder.");
    return findings;
  }
  std::string bytes;
  try {
    auto raw = fs.ReadFile(iniPath);
    bytes.assign(raw.begin(), raw.end());
  } catch (const Exception& e) {
    whole(TSeverity::Error, FormatMsg("The instruction file cannot be read: %s", {e.what()}));
    return findings;
  }
  const TTextEncoding encoding = DetectTextEncoding(bytes);
  if (encoding == TTextEncoding::Utf16) {
    whole(TSeverity::Error, Utf16FileMessage(input.iniName));
    return findings;
  }
  if (encoding == TTextEncoding::Windows1252 && LooksLikeUtf8(bytes))
    whole(TSeverity::Warning,
          "The instruction file has no byte-order mark but looks like UTF-8 text: it is read as Windows-1252, so "
          "letters beyond ASCII reach the game garbled. Save it as UTF-8 with a byte-order mark, or as Windows-1252.");

  TQK_Inifile ini(iniPath.string());
  Check c(fs, input, ini.Layout());
  for (const TQK_IniLostChar& lost : c.layout.lostChars) {
    c.findings.push_back({TSeverity::Warning, input.iniName, lost.section, lost.key, lost.line,
                          "This line holds a character that Windows-1252 cannot hold; it reaches the game as \"?\"."});
  }
  for (const TQK_IniSection& s : c.layout.repeated)
    c.findings.push_back({TSeverity::Warning, input.iniName, s.name, "", s.line,
                          FormatMsg("A section [%s] came earlier in the file; this one is never read.", {s.name})});

  // Every read of a key takes its first entry: a repeated key's own value is never used.
  for (const TQK_IniSection& s : c.layout.sections) {
    std::unordered_set<std::string> seen;
    for (const TQK_IniEntry& e : s.entries)
      if (!seen.insert(AsciiLowerCopy(e.key)).second && e.value != c.Value(&s, e.key))
        c.Warning(&s, &e,
                  FormatMsg("The key %s came earlier in this section; the installer reads the earlier value "
                            "wherever this one stands, so this value is never used.",
                            {validate::Quote(e.key)}));
  }
  validate::CheckSettings(c);
  validate::CheckTLKList(c);
  validate::CheckInstallList(c);
  validate::Check2DAList(c);
  validate::CheckGFFList(c);
  validate::CheckHACKList(c);
  validate::CheckCompileList(c);
  validate::CheckSSFList(c);

  findings.insert(findings.end(), c.findings.begin(), c.findings.end());
  std::stable_sort(findings.begin(), findings.end(), [&input](const TFinding& a, const TFinding& b) {
    if (a.file != b.file) return a.file == input.iniName;
    return a.line < b.line;
  });
  return findings;
}

}  // namespace vey
