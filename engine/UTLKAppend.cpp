// UTLKAppend: the TLKList step, which appends the mod's strings to the game's
// talk tables (reusing identical entries) and turns every StrRef token into
// the number its string finally received.
#include <unordered_map>

#include "common/StrFormat.h"
#include "engine/UVEYPatcher.h"
#include "formats/UTLKFile.h"

namespace vey {
namespace {

constexpr const char* kNoTalkTable = "No TLK file loaded. Unable to proceed.";

// Token values waiting to be rewritten in one pass, by the mod-table index
// they hold at the start of the pass. A token is rewritten at most once per
// pass: a number it received earlier in the pass must not be taken for a
// later source index that happens to be equal.
class PendingTokens {
 public:
  explicit PendingTokens(TStrRefList& table) : table_(table) {
    for (std::size_t i = 0; i < table.size(); ++i) byValue_[table[i].Value].push_back(i);
  }
  void Remap(std::uint32_t from, std::uint32_t to) {
    if (from > INT32_MAX) return;
    auto it = byValue_.find(static_cast<std::int32_t>(from));
    if (it == byValue_.end()) return;
    for (std::size_t i : it->second) table_[i].Value = static_cast<std::int32_t>(to);
    byValue_.erase(it);
  }

 private:
  TStrRefList& table_;
  std::unordered_map<std::int32_t, std::vector<std::size_t>> byValue_;
};

}  // namespace

void TVEYPatcher::ProcessTLKList() {
  LoadStrRefTable();
  AppendTalkTable(1);
  AppendTalkTable(2);
  if (!StrRefTable.empty()) AdvanceProgress(1);
}

void TVEYPatcher::AppendTalkTable(std::int32_t pass) {
  const std::string targetName = pass == 1 ? "dialog.tlk" : "dialogf.tlk";
  if (StrRefTable.empty()) return;
  const std::string sourceName = pass == 1
                                     ? IniFile().ReadString("TLKList", "!SourceFile", "append.tlk")
                                     : IniFile().ReadString("TLKList", "!SourceFileF", "appendf.tlk");
  // A name that would leave the data folder is logged and the pass skipped.
  const auto sourcePath = FileHandler.JoinInside(DataPath(), sourceName);
  if (!sourcePath || !Files().IsFile(*sourcePath)) return;

  if (!FileHandler.LocateFile(targetName, fkTLK)) {
    StrRefTable.clear();
    LogMessage(FormatMsg("No %s file specified. Unable to proceed!", {targetName}), LogKind::Error);
    throw EAbort(kNoTalkTable, 1);
  }
  const std::string targetPath = FileHandler.GetFilePath();
  LogMessage(FormatMsg("Appending strings to TLK file \"%s\"", {targetPath}), LogKind::Install);

  TTLKFileHandler target;
  target.LoadFromBytes(Files().ReadFile(targetPath), targetPath);
  TTLKFileHandler source;
  source.LoadFromBytes(Files().ReadFile(*sourcePath), *sourcePath);
  if (!target.IsOpen() || !source.IsOpen()) {
    LogMessage(FormatMsg("Unable to load specified %s file! Aborting...", {targetName}),
               LogKind::Error);
    throw EAbort(kNoTalkTable, 2);
  }

  PendingTokens tokens(StrRefTable);
  std::int64_t added = 0, reused = 0;
  const TStringDataList& entries = source.Entries();
  for (const TTLKString* entry = entries.First(); entry; entry = entries.Next()) {
    // The index answers with the first identical entry in index order, the
    // entries appended earlier in this pass included.
    if (auto found = target.FindIdentical(*entry)) {
      tokens.Remap(entry->StrRef(), *found);
      LogMessage(FormatMsg("Identical string for append StrRef %s found in %s StrRef %s, reusing it "
                           "instead.",
                           {IntToStr(entry->StrRef()), targetName, IntToStr(*found)}),
                 LogKind::Debug);
      ++reused;
    } else {
      const std::uint32_t newRef = target.AddEntry(TTLKString(*entry));
      LogMessage(FormatMsg("Appending new entry to %s, new StrRef is %s",
                           {targetName, IntToStr(newRef)}),
                 LogKind::Debug);
      tokens.Remap(entry->StrRef(), newRef);
      ++added;
    }
  }
  if (source.Count() == 0) return;

  if (FileHandler.BackupFile())
    LogMessage(FormatMsg("Saving unaltered backup copy of %s file in %s",
                         {FileHandler.FileName, FileHandler.BackupFolder()}),
               LogKind::Install);
  Files().WriteFile(targetPath, target.SaveToBytes());
  if (added > 0 && reused > 0)
    LogMessage(FormatMsg("%s file updated with %s new entries, %s entries already existed.",
                         {targetName, IntToStr(added), IntToStr(reused)}),
               LogKind::Install);
  else if (added > 0)
    LogMessage(FormatMsg("%s file updated with %s new entries.", {targetName, IntToStr(added)}),
               LogKind::Install);
  else
    LogMessage(FormatMsg("%s file not updated, all %s entries were already present.",
                         {targetName, IntToStr(reused)}),
               LogKind::Install);
}

}  // namespace vey
