// UTLKReplace: talk-table replacements. A TLKList key "Replace" + number names
// a talk table in the data folder; the section named after that file maps
// entry numbers of the game's table to entries of the file, whose text,
// sound, flags, variances and length then replace the game's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/UListKeys.h"
#include "engine/support/URunReport.h"

namespace vey {

class TVEYPatcher;
class TTLKFileHandler;

struct TTLKReplaceSource {
  std::string key;      // the TLKList key, "Replace0"
  std::string section;  // the file the key names; its section holds the mapping
  std::string file;     // the file copied from in this pass
  std::string path;
};

// The replacement files of a pass in TLKList order. Pass 1 takes the named
// files (a missing one is a Warning), pass 2 the same names with "f" added to
// the base name, where the data folder has them ("append.tlk" ->
// "appendf.tlk").
std::vector<TTLKReplaceSource> ReplacementSources(TVEYPatcher& patcher, std::int32_t pass);

// Copies the mapped entries into target. Numbers at or past countBefore (the
// table's count before this run) or past the source file's count are skipped
// with a Warning naming them; mappings that are no numbers are warned about
// in pass 1 only. Returns what was replaced, in order.
std::vector<TRunReport::ReplacedEntry> ApplyReplacements(TVEYPatcher& patcher, TTLKFileHandler& target,
                                                         std::uint32_t countBefore, const std::string& targetName,
                                                         const std::vector<TTLKReplaceSource>& sources,
                                                         std::int32_t pass);

}  // namespace vey
