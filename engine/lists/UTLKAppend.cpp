// UTLKAppend: the TLKList step, which appends the mod's strings to the game's
// talk tables (reusing identical entries) and turns every StrRef token into
// the number its string finally received.
#include <optional>
#include <unordered_map>

#include "common/ByteReader.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "engine/support/URunReport.h"
#include "engine/lists/UTLKReplace.h"
#include "engine/run/UVEYPatcher.h"
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

// Spreads every input bit over the whole result, the low bits included.
std::size_t Mix(std::size_t h, std::uint64_t v) {
  std::uint64_t x = (h ^ v) + 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return static_cast<std::size_t>(x ^ (x >> 31));
}

std::size_t TextHash(const TTLKString& e) { return std::hash<std::string_view>{}(e.Text()); }

// Equal for entries that IdenticalEntries takes for the same string (+0 and
// -0 sound lengths included); built on the text's hash.
std::size_t IdentityHash(const TTLKString& e, std::size_t textHash) {
  std::size_t h = Mix(textHash, e.Flags());
  h = Mix(h, LoadU64(e.SoundResRef().data()));
  h = Mix(h, LoadU64(e.SoundResRef().data() + 8));
  h = Mix(h, (static_cast<std::uint64_t>(e.VolumeVariance()) << 32) | e.PitchVariance());
  return Mix(h, e.SoundLength() == 0.0f ? 0u : e.SoundLengthBits());
}
std::size_t IdentityHash(const TTLKString& e) { return IdentityHash(e, TextHash(e)); }

// The first entry of the target identical to a source entry. Only the hashes
// of the few source entries are kept: one pass over the target records, per
// such hash, the target entries that carry it in index order, and appended
// entries join at the end. Lookups therefore answer as a scan from index 0
// would, without an index over the whole target.
class IdenticalEntryFinder {
 public:
  IdenticalEntryFinder(const TTLKFileHandler& target, const TTLKFileHandler& source) : target_(target) {
    for (std::size_t i = 0; i < source.Entries().Size(); ++i) {
      const TTLKString& e = source.Entries()[i];
      const std::size_t textHash = TextHash(e);
      candidates_[IdentityHash(e, textHash)];
      texts_[textHash % kTextBits] = true;
    }
    // Most target entries share no text with any source entry and are
    // passed over after hashing their text.
    for (std::size_t i = 0; i < target.Entries().Size(); ++i) {
      const TTLKString& e = target.Entries()[i];
      const std::size_t textHash = TextHash(e);
      if (!texts_[textHash % kTextBits]) continue;
      auto it = candidates_.find(IdentityHash(e, textHash));
      if (it != candidates_.end()) Remember(it->second, e.StrRef());
    }
  }
  std::optional<std::uint32_t> Find(const TTLKString& entry) const {
    auto it = candidates_.find(IdentityHash(entry));
    if (it == candidates_.end()) return std::nullopt;
    for (std::uint32_t index : it->second)
      if (IdenticalEntries(target_.Entries()[index], entry)) return index;
    return std::nullopt;
  }
  void Appended(std::uint32_t index) {
    Remember(candidates_[IdentityHash(target_.Entries()[index])], index);
  }

 private:
  // Only the first of several identical entries can ever be found.
  void Remember(std::vector<std::uint32_t>& list, std::uint32_t index) {
    for (std::uint32_t other : list)
      if (IdenticalEntries(target_.Entries()[other], target_.Entries()[index])) return;
    list.push_back(index);
  }

  static constexpr std::size_t kTextBits = 1 << 16;
  const TTLKFileHandler& target_;
  std::unordered_map<std::size_t, std::vector<std::uint32_t>> candidates_;
  std::vector<bool> texts_ = std::vector<bool>(kTextBits);
};

}  // namespace

void TVEYPatcher::ProcessTLKList() {
  LoadStrRefTable();
  AppendTalkTable(1);
  AppendTalkTable(2);
  bool replaces = false;
  for (const std::string& key : IniFile().ReadSection("TLKList")) replaces = replaces || IsReplaceKey(key);
  if (!StrRefTable.empty() || replaces) AdvanceProgress(1);
}

// One pass over one game talk table: the mod's strings appended first, then
// the entries its replacement files give copied over the game's.
void TVEYPatcher::AppendTalkTable(std::int32_t pass) {
  const std::string targetName = pass == 1 ? "dialog.tlk" : "dialogf.tlk";
  const std::string sourceName = pass == 1
                                     ? IniFile().ReadString("TLKList", "!SourceFile", "append.tlk")
                                     : IniFile().ReadString("TLKList", "!SourceFileF", "appendf.tlk");
  std::optional<std::string> sourcePath;
  if (!StrRefTable.empty()) {
    // A name that would leave the data folder is logged and the appends skipped.
    sourcePath = FileHandler.JoinInside(DataPath(), sourceName);
    if (sourcePath && !Files().IsFile(*sourcePath)) sourcePath.reset();
  }
  std::vector<TTLKReplaceSource> replacements = ReplacementSources(*this, pass);
  // The second table is replaced in only where the game has one; appending
  // to it keeps insisting on it.
  if (pass == 2 && !sourcePath && !replacements.empty() && FileHandler.InstallerMode &&
      !Files().IsFile(Files().Child(FileHandler.GetGameFolder(), targetName)))
    replacements.clear();
  if (!sourcePath && replacements.empty()) return;

  if (!FileHandler.LocateFile(targetName, fkTLK)) {
    StrRefTable.clear();
    LogMessage(FormatMsg("No %s file specified. Unable to proceed!", {targetName}), LogKind::Error);
    throw EAbort(kNoTalkTable, 1);
  }
  const std::string targetPath = FileHandler.GetFilePath();
  if (sourcePath)
    LogMessage(FormatMsg("Appending strings to TLK file \"%s\"", {PathText(targetPath)}), LogKind::Install);

  TTLKFileHandler target;
  target.LoadFromBytes(Files().ReadFile(targetPath), targetPath);
  TTLKFileHandler source;
  if (sourcePath) source.LoadFromBytes(Files().ReadFile(*sourcePath), *sourcePath);
  if (!target.IsOpen() || (sourcePath && !source.IsOpen())) {
    LogMessage(FormatMsg("Unable to load specified %s file! Aborting...", {targetName}),
               LogKind::Error);
    throw EAbort(kNoTalkTable, 2);
  }
  const std::uint32_t countBefore = target.Count();

  std::int64_t added = 0, reused = 0;
  std::vector<std::pair<std::int32_t, std::int32_t>> appended;  // source index, new number
  if (sourcePath) {
    PendingTokens tokens(StrRefTable);
    IdenticalEntryFinder identical(target, source);
    const TStringDataList& entries = source.Entries();
    for (const TTLKString* entry = entries.First(); entry; entry = entries.Next()) {
      // The first identical entry in index order, the entries appended earlier
      // in this pass included.
      if (auto found = identical.Find(*entry)) {
        tokens.Remap(entry->StrRef(), *found);
        LogMessage(FormatMsg("Identical string for append StrRef %s found in %s StrRef %s, reusing it "
                             "instead.",
                             {IntToStr(entry->StrRef()), targetName, IntToStr(*found)}),
                   LogKind::Debug);
        ++reused;
      } else {
        const std::uint32_t newRef = target.AddEntry(TTLKString(*entry));
        identical.Appended(newRef);
        LogMessage(FormatMsg("Appending new entry to %s, new StrRef is %s",
                             {targetName, IntToStr(newRef)}),
                   LogKind::Debug);
        tokens.Remap(entry->StrRef(), newRef);
        appended.emplace_back(entry->StrRef(), static_cast<std::int32_t>(newRef));
        ++added;
      }
    }
  }
  const auto replaced = ApplyReplacements(*this, target, countBefore, targetName, replacements, pass);
  const bool appends = sourcePath && source.Count() > 0;
  if (!appends && replaced.empty()) {
    if (!replacements.empty())
      LogMessage(FormatMsg("%s file not updated, no entry could be replaced.", {targetName}), LogKind::Install);
    return;
  }

  if (FileHandler.BackupFile())
    LogMessage(FormatMsg("Saving unaltered backup copy of %s file in %s",
                         {FileHandler.FileName, PathText(FileHandler.BackupFolder())}),
               LogKind::Install);
  Files().WriteFile(targetPath, target.SaveToBytes());
  if (Report) {
    for (const auto& [source, strRef] : appended) Report->EntryAppended(targetName, source, strRef);
    for (const auto& entry : replaced) Report->EntryReplaced(entry);
  }
  if (appends) {
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
  if (!replaced.empty())
    LogMessage(FormatMsg("%s file updated with %s.",
                         {targetName, Counted(replaced.size(), "replaced entry", "replaced entries")}),
               LogKind::Install);
}

}  // namespace vey
