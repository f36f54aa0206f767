// USSFModify: the SSFList, which sets soundset entries by label to fixed or
// token-given StrRefs.
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/USSFFile.h"

namespace vey {

void TVEYPatcher::ProcessSSFList() {
  if (!IniFile().SectionExists("SSFList")) return;
  for (const std::string& listKey : IniFile().ReadSection("SSFList")) {
    const std::string file = IniFile().ReadString("SSFList", listKey, "");
    SetCurrentFile(file);
    if (!IniFile().SectionExists(file)) {
      LogMessage(FormatMsg("File \"%s\" has no modifier section specified! Skipping it...", {file}),
                 LogKind::Warning);
      continue;
    }
    if (!FileHandler.LocateFile(file, fkSSF, "", StartsWithNoCase(listKey, "replace"))) {
      LogMessage(FormatMsg("No %s file was specified! Skipping it...", {file}), LogKind::Warning);
      continue;
    }
    const std::string path = FileHandler.GetFilePath();
    LogMessage(FormatMsg("Modifying StrRefs in Soundset file \"%s\"...", {file}), LogKind::Install);
    try {
      TSSFFile soundset;
      soundset.LoadFromBytes(Files().ReadFile(path), path);
      int changed = 0;
      for (const std::string& label : IniFile().ReadSection(file)) {
        if (StartsWithNoCase(label, "!sourcefile") || EqualsNoCase(label, "!saveas")) continue;
        const std::string value = SubstituteTokens(IniFile().ReadString(file, label, "-1"));
        std::int32_t number = 0;
        if (value == "4294967295") {
          number = -1;
        } else if (auto parsed = ParseInt32(value)) {
          number = *parsed;
        } else {
          LogMessage(
              FormatMsg("Unable to set StrRef for entry \"%s\", %s is not a valid StrRef value!",
                        {label, value}),
              LogKind::Warning);
          continue;
        }
        // An unknown label raises, which discards every change to this file.
        soundset.SetEntry(label, number);
        LogMessage(FormatMsg("Setting Soundset entry \"%s\" to %s...", {label, value}),
                   LogKind::Debug);
        ++changed;
      }
      // Every other list keeps the unaltered file before rewriting it; a
      // soundset already in override (another mod's) deserves the same.
      if (FileHandler.BackupFile())
        LogMessage(FormatMsg("Saving unaltered backup copy of %s in %s",
                             {FileHandler.FileName, PathText(FileHandler.BackupFolder()) + file}),
                   LogKind::Install);
      Files().WriteFile(path, soundset.SaveToBytes());
      AdvanceProgress(1);
      LogMessage(
          FormatMsg("Finished updating %s entries in file \"%s\".", {IntToStr(changed), file}),
          LogKind::Debug);
    } catch (const ESSFError& failure) {
      LogMessage(FormatMsg("%s [%s] - file skipped!", {failure.what(), IntToStr(failure.Code())}),
                 LogKind::Error);
    }
  }
}

}  // namespace vey
