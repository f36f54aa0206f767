// UTLKReplace: copies entries of the mod's talk tables over entries of the
// game's, as the TLKList's "Replace" keys and their sections ask.
#include "engine/lists/UTLKReplace.h"

#include <charconv>
#include <optional>

#include "common/Counted.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/UTLKFile.h"
#include "platform/GameFileSystem.h"

namespace vey {
namespace {

std::optional<std::uint32_t> EntryNumber(std::string_view text) {
  if (!IsDigits(text)) return std::nullopt;
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "append.tlk" -> "appendf.tlk": the talk table for the second game table.
std::string SecondTableName(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return std::string(name) + "f";
  return std::string(name.substr(0, dot)) + "f" + std::string(name.substr(dot));
}

}  // namespace

std::vector<TTLKReplaceSource> ReplacementSources(TVEYPatcher& patcher, std::int32_t pass) {
  std::vector<TTLKReplaceSource> sources;
  for (const std::string& key : patcher.IniFile().ReadSection("TLKList")) {
    if (!IsReplaceKey(key)) continue;
    const std::string named = patcher.IniFile().ReadString("TLKList", key, "");
    if (named.empty()) continue;
    // A name leaving the data folder was refused (and logged) in pass 1.
    if (pass == 2 && !platform::GameFileSystem::IsContained(named)) continue;
    const std::string file = pass == 1 ? named : SecondTableName(named);
    const auto path = patcher.FileHandler.JoinInside(patcher.DataPath(), file);
    if (!path) continue;
    if (!patcher.Files().IsFile(*path)) {
      if (pass == 1)
        patcher.LogMessage(FormatMsg("Unable to find the talk table \"%s\" named by %s in the data folder, "
                                     "skipping its replacements...",
                                     {file, key}),
                           LogKind::Warning);
      continue;
    }
    sources.push_back({key, named, file, *path});
  }
  return sources;
}

std::vector<TRunReport::ReplacedEntry> ApplyReplacements(TVEYPatcher& patcher, TTLKFileHandler& target,
                                                         std::uint32_t countBefore, const std::string& targetName,
                                                         const std::vector<TTLKReplaceSource>& sources,
                                                         std::int32_t pass) {
  std::vector<TRunReport::ReplacedEntry> done;
  TQK_Inifile& ini = patcher.IniFile();
  for (const TTLKReplaceSource& s : sources) {
    const std::vector<std::string> keys = ini.ReadSection(s.section);
    if (keys.empty()) {
      if (pass == 1)
        patcher.LogMessage(FormatMsg("No section [%s] lists the entries to replace with %s, skipping...",
                                     {s.section, s.file}),
                           LogKind::Warning);
      continue;
    }
    TTLKFileHandler source;
    source.LoadFromBytes(patcher.Files().ReadFile(s.path), s.path);
    for (const std::string& key : keys) {
      const std::string value = ini.ReadString(s.section, key, "");
      const auto to = EntryNumber(key);
      const auto from = EntryNumber(value);
      if (!to || !from) {
        if (pass == 1)
          patcher.LogMessage(FormatMsg("Invalid talk table replacement \"%s=%s\" in section [%s], skipping...",
                                       {key, value, s.section}),
                             LogKind::Warning);
        continue;
      }
      // Entries appended by this run are the mod's own, not the game's.
      if (*to >= countBefore) {
        patcher.LogMessage(FormatMsg("Unable to replace entry %s of %s, the table has only %s. Skipping...",
                                     {IntToStr(*to), targetName, Counted(countBefore, "entry", "entries")}),
                           LogKind::Warning);
        continue;
      }
      if (*from >= source.Count()) {
        patcher.LogMessage(FormatMsg("Unable to replace entry %s of %s with entry %s of %s, that file has only %s. "
                                     "Skipping...",
                                     {IntToStr(*to), targetName, IntToStr(*from), s.file,
                                      Counted(source.Count(), "entry", "entries")}),
                           LogKind::Warning);
        continue;
      }
      target.ReplaceEntry(*to, TTLKString(source.Entries()[*from]));
      patcher.LogMessage(FormatMsg("Replaced entry %s of %s with entry %s of %s.",
                                   {IntToStr(*to), targetName, IntToStr(*from), s.file}),
                         LogKind::Debug);
      done.push_back({targetName, *to, s.file, *from});
    }
  }
  return done;
}

}  // namespace vey
