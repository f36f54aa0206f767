// USummary: building the configuration summary lines from the instruction file.
#include "engine/support/USummary.h"

#include "common/StrFormat.h"
#include "common/PathText.h"
#include "common/Win1252.h"
#include "engine/support/UListKeys.h"

namespace vey {

namespace {

constexpr std::string_view kNone = "  (none)  ";

class SummaryBuilder {
 public:
  SummaryBuilder(const TQK_Inifile& ini, std::vector<std::string>& lines) : ini_(ini), lines_(lines) {}

  void Line(std::string text) { lines_.push_back(std::move(text)); }
  void Blank() {
    Line("");
    Line("");
  }
  void Heading(std::string_view text) {
    std::string heading = std::string(text) + ":";
    const std::size_t width = heading.size();
    Line(std::move(heading));
    Line(std::string(width, '-'));
  }

  std::string Read(std::string_view section, std::string_view key, std::string_view defaultValue = "") const {
    return ini_.ReadString(section, key, defaultValue);
  }
  std::vector<std::string> Keys(std::string_view section) const { return ini_.ReadSection(section); }

  // File's "!SaveAs" (File itself when empty), then its "!SourceFile" in parentheses.
  std::string Display(std::string_view file, std::string_view shownName) const {
    std::string display = Read(file, "!SaveAs");
    if (display.empty()) display = std::string(shownName);
    const std::string source = Read(file, "!SourceFile");
    if (!source.empty()) display += " (" + source + ")";
    return display;
  }
  std::string Display(std::string_view file) const { return Display(file, file); }

  void Settings(std::string_view iniName, std::string_view infoName, platform::IRegistry* registry);
  void TalkTable();
  void Tables();
  void Documents();
  void ScriptHacks();
  void Scripts();
  void Soundsets();
  void InstallList();

 private:
  const TQK_Inifile& ini_;
  std::vector<std::string>& lines_;
};

bool StartsWithReplace(std::string_view key) { return StartsWithNoCase(key, "replace"); }

void SummaryBuilder::Settings(std::string_view iniName, std::string_view infoName, platform::IRegistry* registry) {
  Heading("Settings");
  Line("Config file: " + std::string(iniName));
  Line("Information file: " + std::string(infoName));
  std::string location = "User selected.";
  if (ini_.ReadBool("Settings", "LookupGameFolder", false)) {
    const bool firstGame = ini_.ReadInteger("Settings", "LookupGameNumber", 2) == 1;
    // The registry answers with a path of the file system.
    location = registry ? PathText(registry->ReadString(firstGame ? "\\SOFTWARE\\Fenwyck\\XT\\ARKAN" : "\\SOFTWARE\\Quenbrook\\Arkan2",
                                                        "Path"))
                        : std::string();
  }
  Line("Install location: " + location);
  Line(std::string("Make backups: ") + (ini_.ReadBool("Settings", "BackupFiles", true)
                                            ? "Before modifying/overwriting existing files."
                                            : "Disabled, no backups are made."));
  switch (ini_.ReadInteger("Settings", "LogLevel", 3)) {
    case 0: Line("Log level: 0 - No progress log"); break;
    case 1: Line("Log level: 1 - Errors only"); break;
    case 2: Line("Log level: 2 - Errors and warnings only"); break;
    case 3: Line("Log level: 3 - Standard: Progress, errors and warnings."); break;
    case 4: Line("Log level: 4 - Debug: Detailed progress, errors and warnings."); break;
    default: break;
  }
  Blank();
}

void SummaryBuilder::TalkTable() {
  Heading("dialog tlk appending");
  int entries = 0;
  std::vector<std::string> replaceFiles;
  for (const auto& key : Keys("TLKList")) {
    const std::string lower = AsciiLowerCopy(key);
    if (IsReplaceKey(key))
      replaceFiles.push_back(Read("TLKList", key));
    else if (lower != "!sourcefile" && lower != "!sourcefilef")
      ++entries;
  }
  Line("New entries: " + IntToStr(entries));
  // Replacements get their lines only where a mod makes them.
  for (const std::string& file : replaceFiles)
    Line("Replaced entries: " + IntToStr(Keys(file).size()) + " (from " + file + ")");
  Blank();
}

void SummaryBuilder::Tables() {
  Heading("2DA file changes");
  const auto keys = Keys("2DAList");
  for (const auto& key : keys) {
    const std::string file = Read("2DAList", key);
    int newRows = 0, changedRows = 0, newColumns = 0;
    for (const auto& modifier : Keys(file)) {
      const std::string lower = AsciiLowerCopy(modifier);
      if (lower.find("addrow") != std::string::npos) ++newRows;
      else if (lower.find("changerow") != std::string::npos) ++changedRows;
      else if (lower.find("addcolumn") != std::string::npos) ++newColumns;
      else if (lower.find("copyrow") != std::string::npos) ++newRows;
    }
    Line(" * " + FormatMsg("%s - new rows: %s, modified rows: %s, new columns: %s",
                           {file, IntToStr(newRows), IntToStr(changedRows), IntToStr(newColumns)}));
  }
  if (keys.empty()) Line(std::string(kNone));
  Blank();
}

// A "!Filename" in an entry's section names the file the entry patches; the
// section label is then only a unique handle, shown in parentheses. A value
// that is not a plain file name is refused by the run, so it is not shown.
std::string GffFileName(const TQK_Inifile& ini, std::string_view section) {
  std::string name = ini.ReadString(section, "!Filename", "");
  if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos) return {};
  return name;
}

void SummaryBuilder::Documents() {
  Heading("GFF file changes");
  const auto keys = Keys("GFFList");
  for (const auto& key : keys) {
    const std::string file = Read("GFFList", key);
    const std::string fileName = GffFileName(ini_, file);
    std::string display;
    if (fileName.empty()) {
      display = Display(file);
    } else {
      display = Read(file, "!SaveAs");
      if (display.empty()) display = fileName;
      if (!EqualsNoCase(fileName, file)) display += " (" + file + ")";
      const std::string source = Read(file, "!SourceFile");
      if (!source.empty()) display += " (" + source + ")";
    }
    const char* mode = ini_.ReadBool(file, "!ReplaceFile", false) ? "overwrite existing" : "modify existing";
    Line(" * " + display + " - " + mode + ", location: " + Read(file, "!Destination", "override"));
  }
  if (keys.empty()) Line(std::string(kNone));
  Blank();
}

void SummaryBuilder::ScriptHacks() {
  Heading("NCS file integer hacks");
  const auto keys = Keys("HACKList");
  for (const auto& key : keys) {
    const std::string file = Read("HACKList", key);
    const char* mode = ini_.ReadInteger(file, "ReplaceFile", 0) == 1 ? "overwrite existing" : "skip existing";
    Line(" * " + Display(file) + " - " + mode + ", location: override");
  }
  if (keys.empty()) Line(std::string(kNone));
  Blank();
}

void SummaryBuilder::Scripts() {
  Heading("Modified & recompiled scripts");
  const auto keys = Keys("CompileList");
  const std::string defaultDestination = Read("CompileList", "!DefaultDestination", "override");
  for (const auto& key : keys) {
    if (AsciiLowerCopy(key) == "!defaultdestination") continue;
    const std::string file = Read("CompileList", key);
    const char* mode = StartsWithReplace(key) ? "overwrite existing" : "skip existing";
    Line(" * " + Display(file) + " - " + mode + ", location: " + Read(file, "!Destination", defaultDestination));
  }
  if (keys.empty()) Line(std::string(kNone));
  Blank();
}

void SummaryBuilder::Soundsets() {
  Heading("New/modified Soundset files");
  const auto keys = Keys("SSFList");
  for (const auto& key : keys) {
    const std::string file = Read("SSFList", key);
    const char* mode = StartsWithReplace(key) ? "overwrite existing" : "modify existing";
    Line(" * " + Display(file) + " - " + mode + ", location: override");
  }
  if (keys.empty()) Line(std::string(kNone));
  Blank();
}

void SummaryBuilder::InstallList() {
  Heading("Unpatched files to install");
  const auto keys = Keys("InstallList");
  for (const auto& key : keys) {
    const std::string folder = Read("InstallList", key);
    Line(" * Location: " + (folder == ".\\" ? std::string("Game folder") : folder));
    for (const auto& fileKey : Keys(key)) {
      // The run takes this key as an option of the folder, not as a file.
      if (EqualsNoCase(fileKey, "!OverrideType")) continue;
      const std::string file = Read(key, fileKey);
      std::string shown = Read(file, "!SaveAs");
      if (shown.empty()) shown = file;
      Line("   --> " + shown + " - " + (StartsWithReplace(fileKey) ? "overwrite existing" : "skip existing"));
    }
    Line("");
  }
  if (keys.empty()) Line(std::string(kNone));
  Blank();
}

}  // namespace

std::vector<std::string> BuildSummary(const TQK_Inifile& ini, std::string_view iniName, std::string_view infoName,
                                      platform::IRegistry* registry) {
  std::vector<std::string> lines;
  SummaryBuilder b(ini, lines);
  const std::string rule(34, '=');
  b.Line(rule);
  b.Line("VEYPatcher - CONFIGURATION SUMMARY");
  b.Line(rule);
  b.Blank();
  b.Settings(iniName, infoName, registry);
  b.TalkTable();
  b.Tables();
  b.Documents();
  b.ScriptHacks();
  b.Scripts();
  b.Soundsets();
  b.InstallList();
  return lines;
}

}  // namespace vey
