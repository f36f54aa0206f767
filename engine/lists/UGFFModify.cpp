// UGFFModify: PatchGFFFiles, the GFFList step: locate each document, set
// fields by path, add fields, back up, save, and store documents into archives.
#include <string>
#include <string_view>
#include <vector>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "engine/support/UArchiveQueue.h"
#include "engine/support/URunReport.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {
namespace {

// Reserved keys are recognised by prefix, without regard to case.
bool IsReservedKey(std::string_view key) {
  for (std::string_view prefix :
       {"!replacefile", "!destination", "!sourcefile", "!saveas", "!overridetype", "!filename"})
    if (StartsWithNoCase(key, prefix)) return true;
  return false;
}

// A name that stays in the folder it is given for.
bool StaysInside(std::string_view value) {
  return platform::GameFileSystem::IsContained(value);
}

// One file name, nothing around it.
bool IsPlainFileName(std::string_view value) {
  return StaysInside(value) && value != "." && value != ".." &&
         value.find_first_of("/\\:") == std::string_view::npos;
}

// While an entry names its file through "!Filename", the name lookups for
// that file read the entry's section.
class FileSectionScope {
 public:
  FileSectionScope(TVEYPatcher& patcher, const std::string& fileName, const std::string& section)
      : patcher_(patcher) {
    if (fileName != section) patcher_.SetFileSection(fileName, section);
  }
  ~FileSectionScope() { patcher_.ClearFileSection(); }
  FileSectionScope(const FileSectionScope&) = delete;
  FileSectionScope& operator=(const FileSectionScope&) = delete;

 private:
  TVEYPatcher& patcher_;
};

// A work copy taken out of an archive is of no use once the entry is done:
// stored, unchanged or ended by a failure, it leaves nothing in the work
// folder.
class WorkCopyScope {
 public:
  WorkCopyScope(TPatchFileHandler& handler, platform::GameFileSystem& files)
      : handler_(handler), files_(files) {}
  ~WorkCopyScope() {
    const bool held = handler_.WorkCopy.has_value();
    handler_.WorkCopy.reset();
    if (held || handler_.WorkCopyPath.empty()) return;
    try {
      files_.RemoveFile(handler_.WorkCopyPath);
    } catch (...) {
    }
  }
  WorkCopyScope(const WorkCopyScope&) = delete;
  WorkCopyScope& operator=(const WorkCopyScope&) = delete;

 private:
  TPatchFileHandler& handler_;
  platform::GameFileSystem& files_;
};

class GFFEntry {
 public:
  GFFEntry(TVEYPatcher& patcher, TArchiveQueue& queue) : p_(patcher), queue_(queue) {}
  void Process(const std::string& label);

 private:
  std::string ResolveValue(const std::string& value);
  bool ValuesStayInside(const std::string& label, const std::string& destination, bool toOverride);
  int ApplyKeys(const std::string& label);
  // The fields that differ from the document as it was loaded.
  void ReportFields(const std::string& path, const std::string& resource);

  TVEYPatcher& p_;
  TArchiveQueue& queue_;
};

std::string GFFEntry::ResolveValue(const std::string& value) {
  if (p_.IsStrRefToken(value)) return IntToStr(p_.ResolveStrRefToken(value));
  return p_.ResolveMemoryToken(value);
}

bool GFFEntry::ValuesStayInside(const std::string& label, const std::string& destination,
                                bool toOverride) {
  auto refuse = [&](std::string_view key, std::string_view value) {
    p_.LogMessage(FormatMsg(HasControlCharacter(value)
                                ? "Invalid %s value \"%s\" for GFF file %s: it holds a control "
                                  "character, skipping..."
                                : "Invalid %s value \"%s\" for GFF file %s: it would lead outside its "
                                  "folder, skipping...",
                            {key, value, label}),
                  LogKind::Error);
    return false;
  };
  if (!toOverride && !StaysInside(destination)) return refuse("!Destination", destination);
  for (std::string_view key : {"!SourceFile", "!SaveAs"}) {
    const std::string value = p_.IniFile().ReadString(label, key, "");
    if (!value.empty() && !StaysInside(value)) return refuse(key, value);
  }
  return true;
}

void GFFEntry::Process(const std::string& label) {
  const TQK_Inifile& ini = p_.IniFile();
  p_.SetCurrentFile(label);
  if (!ini.SectionExists(label)) {
    p_.LogMessage(FormatMsg("No instruction section found for file %s, skipping...", {label}),
                  LogKind::Error);
    return;
  }
  // The list value may be a mere label whose section names the file, so that
  // one instruction file can patch same-named files in several archives.
  std::string fileName = label;
  const std::string given = ini.ReadString(label, "!Filename", "");
  if (!given.empty()) {
    if (!IsPlainFileName(given)) {
      p_.LogMessage(FormatMsg("Invalid !Filename value \"%s\" for GFF file %s: it must be a plain "
                              "file name, skipping...",
                              {given, label}),
                    LogKind::Error);
      return;
    }
    fileName = given;
  }
  p_.SetCurrentFile(fileName);

  std::string destination = ini.ReadString(label, "!Destination", "override");
  if (destination.empty()) destination = "override";
  const bool toOverride = EqualsNoCase(destination, "override");
  if (!ValuesStayInside(label, destination, toOverride)) return;
  const TFileKind kind = toOverride ? fkGFF : fkArchived;
  const bool replace = ini.ReadBool(label, "!ReplaceFile", false);

  FileSectionScope scope(p_, fileName, label);
  TPatchFileHandler& handler = p_.FileHandler;
  WorkCopyScope workCopy(handler, p_.Files());
  if (!handler.LocateFile(fileName, kind, destination, replace)) {
    p_.LogMessage(FormatMsg("No valid %s file was opened, skipping...", {fileName}), LogKind::Warning);
    return;
  }
  const std::string path = handler.GetFilePath();
  // Read through the file system, which may serve the run's own writes.
  const std::vector<std::uint8_t> loaded = handler.WorkCopy ? *handler.WorkCopy : p_.Files().ReadFile(path);
  p_.GFFDocument.LoadFromBytes(loaded);
  p_.GFFDocument.SetFileName(path);
  p_.GFFChanges.Clear();
  p_.LogMessage(FormatMsg("Modifying GFF file %s...", {LastComponent(path)}), LogKind::Install);

  const int count = ApplyKeys(label);
  if (count < 1) {
    p_.LogMessage(FormatMsg("No changes could be applied to GFF file %s.", {handler.FileName}),
                  LogKind::Warning);
    return;
  }

  // In patcher mode the person chose the very file to patch and no game
  // folder is known: it is saved where it is and put into no archive.
  const bool intoArchive = kind == fkArchived && handler.InstallerMode;
  const std::string backupFolder = handler.BackupFolder();
  if (!intoArchive) {
    if (handler.BackupFile())
      p_.LogMessage(FormatMsg("Saving unaltered backup copy of %s file in %s",
                              {handler.FileName, PathText(backupFolder)}),
                    LogKind::Install);
  } else if (handler.BackupDestination()) {
    p_.LogMessage(FormatMsg("Saving unaltered backup copy of destination file %s file in %s",
                            {PathText(LastComponent(handler.DestinationPath)), PathText(backupFolder)}),
                  LogKind::Install);
  }
  p_.LogMessage(FormatMsg("Modified %s fields in \"%s\"...", {IntToStr(count), LastComponent(path)}),
                LogKind::Debug);
  const std::string savePath = handler.GetFilePath();
  const std::vector<std::uint8_t> saved = p_.GFFDocument.SaveToBytes();
  if (p_.Report) ReportFields(intoArchive ? handler.DestinationPath : savePath,
                              intoArchive ? handler.FileName : std::string());
  // A document bound for an archive goes straight to the archive's queue; the
  // work copy it was read from is then of no further use.
  if (intoArchive) {
    if (handler.WorkCopy)
      handler.WorkCopy.reset();
    else
      p_.Files().RemoveFile(savePath);
  } else
    p_.Files().WriteFile(savePath, saved);
  p_.AdvanceProgress(1);

  if (!intoArchive) {
    p_.LogMessage(FormatMsg("Finished updating GFF file \"%s\"...", {LastComponent(path)}),
                  LogKind::Install);
    return;
  }
  p_.CheckOverride(handler.FileName, label, "override", false);
  p_.LogMessage(FormatMsg("Finished updating GFF file \"%s\" in \"%s\"...", {LastComponent(path), destination}),
                LogKind::Install);
  // Queued, not yet written: the archive is rebuilt once when the list is
  // done, and a later entry for the same archive sees this version.
  queue_.Add(handler.DestinationPath, handler.FileName, saved);
  if (p_.Report) p_.Report->ResourceStored(handler.DestinationPath, handler.FileName, handler.ResourceExisted);
  p_.LogMessage(FormatMsg("Saving modified file \"%s\" in archive \"%s\".",
                          {handler.FileName, PathText(LastComponent(handler.DestinationPath))}),
                LogKind::Install);
}

void GFFEntry::ReportFields(const std::string& path, const std::string& resource) {
  for (const std::string& field : p_.GFFChanges.ChangedPaths(p_.GFFDocument))
    p_.Report->FieldChanged(path, resource, field);
}

// Every key of the entry's section in order; returns the number of changes.
int GFFEntry::ApplyKeys(const std::string& label) {
  const TQK_Inifile& ini = p_.IniFile();
  TPatchFileHandler& handler = p_.FileHandler;
  int count = 0;
  for (const std::string& rawKey : ini.ReadSection(label)) {
    std::string value = ini.ReadString(label, rawKey, "");
    // A key may be a memory token that holds a field path stored earlier.
    const std::string key = p_.ResolveMemoryToken(rawKey);
    bool skip = false;
    if (key.empty()) {
      p_.LogMessage("Blank Gff Field Label encountered in instructions, skipping...", LogKind::Warning);
      skip = true;
    }
    value = ResolveValue(value);
    if (IsReservedKey(key)) skip = true;
    if (key.compare(0, 8, "AddField") == 0) {
      const std::int32_t before = p_.AddFieldChanges();
      const bool attached = p_.AddGFFField(value, "");
      if (attached)
        p_.LogMessage(FormatMsg("Added new field to GFF file %s...",
                                {LastComponent(p_.GFFDocument.FileName().string())}),
                      LogKind::Install);
      // Changes below an existing field count too, or they would be lost
      // with a document that is then not saved.
      if (attached || p_.AddFieldChanges() != before) ++count;
      skip = true;
    }
    if (value.empty()) {
      p_.LogMessage(FormatMsg("Blank value encountered for GFF field label %s, skipping...", {key}),
                    LogKind::Warning);
      skip = true;
    }
    if (skip) continue;
    switch (p_.GFFDocument.SetFieldValue(key, value)) {
      case TGFFSetResult::Stored:
      case TGFFSetResult::PartlyStored:
        p_.LogMessage(FormatMsg("Modified value \"%s\" to field \"%s\" in %s.", {value, key, handler.FileName}),
                      LogKind::Debug);
        ++count;
        break;
      case TGFFSetResult::Rejected:
        p_.LogMessage(FormatMsg("Unable to store value \"%s\" in field \"%s\" in %s, the field's type "
                                "cannot take it. Skipping...",
                                {value, key, handler.FileName}),
                      LogKind::Warning);
        break;
      case TGFFSetResult::NoField:
        p_.LogMessage(FormatMsg("Unable to find a field label matching \"%s\" in %s, skipping...",
                                {key, handler.FileName}),
                      LogKind::Warning);
        break;
    }
  }
  return count;
}

}  // namespace

void TVEYPatcher::PatchGFFFiles() {
  if (!IniFile().SectionExists("GFFList")) return;
  const std::vector<std::string> keys = IniFile().ReadSection("GFFList");
  if (keys.empty()) return;
  LogMessage("Modifying GFF format files...", LogKind::Install);

  TArchiveQueue queue(Files(), DataPath() + "erfpatch_temp/queued/");
  FileHandler.QueuedArchive = [&queue](const std::string& archivePath) { return queue.Find(archivePath); };
  struct HookReset {
    TPatchFileHandler& handler;
    TGFFFile& document;
    ~HookReset() {
      handler.QueuedArchive = nullptr;
      handler.DeferWorkCopy = false;
      document.Observe(nullptr);
    }
  } hookReset{FileHandler, GFFDocument};
  // The changed fields are known as they change only while a report is kept.
  if (Report) GFFDocument.Observe(&GFFChanges);

  FileHandler.DeferWorkCopy = true;
  GFFEntry entry(*this, queue);
  try {
    for (const std::string& key : keys) entry.Process(IniFile().ReadString("GFFList", key, ""));
  } catch (...) {
    // Documents queued before the failure are written before it is reported;
    // the failure that ended the list is the one passed on.
    try {
      queue.Flush();
    } catch (const Exception& e) {
      LogMessage(e.what(), LogKind::Error);
    } catch (...) {
    }
    throw;
  }
  queue.Flush();
}

}  // namespace vey
