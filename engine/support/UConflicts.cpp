// UConflicts: the places record of a run and the report of places written
// by more than one run.
#include "engine/support/UConflicts.h"

#include "engine/support/UModIdentity.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/StrFormat.h"
#include "engine/support/URecordText.h"
#include "engine/support/URunSource.h"
#include "platform/RunJournal.h"

namespace vey {
namespace {

constexpr std::string_view kHeader = "veypatcher-places 1";
constexpr std::string_view kKindNames[] = {"file", "resource", "cell", "field", "entry"};

// A recorded game path: relative, with no step out of the game folder.
bool InsideGame(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    if (path.substr(start, slash - start) == "..") return false;
    start = slash + 1;
  }
  return true;
}

// Names in the game folder and in archives are matched without regard to
// ASCII case, as the installer looks them up.
std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct Key {
  TWritePlace::Kind kind;
  std::string file, item, column;
  auto operator<=>(const Key&) const = default;
};

Key KeyOf(const TWritePlace& p) {
  const bool foldItem = p.kind == TWritePlace::Kind::Resource;
  return {p.kind, Folded(p.file), foldItem ? Folded(p.item) : p.item,
          p.kind == TWritePlace::Kind::Cell ? Folded(p.column) : p.column};
}

// The whole thing a place lies in: a file, or for a resource its archive.
std::string ContainerOf(const TWritePlace& p) { return Folded(p.file); }
// What a whole write covers.
std::string WholeOf(const TWritePlace& p) {
  return p.kind == TWritePlace::Kind::Resource ? Folded(p.file + "/" + p.item) : Folded(p.file);
}
bool IsWhole(const TWritePlace& p) {
  return p.kind == TWritePlace::Kind::File || p.kind == TWritePlace::Kind::Resource;
}

}  // namespace

std::string_view KindName(TWritePlace::Kind kind) { return kKindNames[static_cast<int>(kind)]; }

std::vector<TConflict> FindConflicts(const std::vector<TRunPlaces>& runs) {
  struct Group {
    const TWritePlace* spelling = nullptr;
    std::vector<std::size_t> writers;
  };
  std::map<Key, Group> groups;
  // Every place by the whole thing it lies in, for the whole writes below.
  std::multimap<std::string, std::pair<std::size_t, const TWritePlace*>> byContainer;
  std::map<std::string, std::pair<std::size_t, const TWritePlace*>> lastWhole;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    for (const TWritePlace& p : runs[r].places) {
      Group& g = groups[KeyOf(p)];
      if (g.writers.empty() || g.writers.back() != r) g.writers.push_back(r);
      g.spelling = &p;
      byContainer.emplace(ContainerOf(p), std::make_pair(r, &p));
      if (IsWhole(p)) lastWhole[WholeOf(p)] = {r, &p};
    }
  }

  std::vector<TConflict> out;
  std::map<Key, std::size_t> at;
  for (auto& [key, g] : groups)
    if (g.writers.size() > 1) {
      at.emplace(key, out.size());
      out.push_back({*g.spelling, std::move(g.writers)});
    }

  // A whole write hides what earlier runs changed inside the same thing.
  for (const auto& [whole, last] : lastWhole) {
    std::set<std::size_t> writers;
    // The thing itself, then everything below it ('0' follows '/').
    auto collect = [&](auto from, auto to) {
      for (auto it = from; it != to; ++it)
        if (it->second.first < last.first &&
            !(IsWhole(*it->second.second) && WholeOf(*it->second.second) == whole))
          writers.insert(it->second.first);
    };
    const auto same = byContainer.equal_range(whole);
    collect(same.first, same.second);
    collect(byContainer.lower_bound(whole + "/"), byContainer.lower_bound(whole + "0"));
    if (writers.empty()) continue;
    // Earlier whole writes of the same thing are already in its own group.
    writers.insert(last.first);
    TConflict c{*last.second, std::vector<std::size_t>(writers.begin(), writers.end())};
    auto known = at.find(KeyOf(c.place));
    if (known == at.end()) {
      out.push_back(std::move(c));
    } else {
      std::vector<std::size_t>& w = out[known->second].writers;
      writers.insert(w.begin(), w.end());
      w.assign(writers.begin(), writers.end());
    }
  }
  std::sort(out.begin(), out.end(), [](const TConflict& a, const TConflict& b) {
    const Key ka = KeyOf(a.place), kb = KeyOf(b.place);
    return std::tie(ka.file, ka.kind, ka.item, ka.column) < std::tie(kb.file, kb.kind, kb.item, kb.column);
  });
  return out;
}

std::string PlacesText(const std::vector<TWritePlace>& places) {
  std::string text(kHeader);
  text += '\n';
  std::set<TWritePlace> seen;
  for (const TWritePlace& p : places) {
    if (!seen.insert(p).second) continue;
    text += KindName(p.kind);
    text += '\t' + RecordEscape(p.file);
    if (p.kind != TWritePlace::Kind::File) text += '\t' + RecordEscape(p.item);
    if (p.kind == TWritePlace::Kind::Cell) text += '\t' + RecordEscape(p.column);
    text += '\n';
  }
  return text;
}

std::vector<TWritePlace> ParsePlaces(std::string_view text, std::vector<std::string>& problems) {
  std::vector<TWritePlace> places;
  if (text.size() > kMaxRecordSize) {
    problems.push_back(FormatMsg("%s is too large to be a record of places (%s bytes)",
                                 {std::string(kPlacesFile), std::to_string(text.size())}));
    return places;
  }
  std::size_t start = 0, lineNumber = 0;
  auto problem = [&](std::string_view what) {
    problems.push_back(FormatMsg("%s line %s: %s",
                                 {std::string(kPlacesFile), std::to_string(lineNumber), std::string(what)}));
  };
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    // A line cut short by a crash was never finished: leave it out quietly.
    if (end == std::string_view::npos) break;
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (lineNumber == 1) {
      if (line != kHeader) {
        problem("not a record of places this version reads");
        return places;
      }
      continue;
    }
    const auto fields = SplitTabs(line);
    const auto kind = std::find(std::begin(kKindNames), std::end(kKindNames), fields[0]);
    if (kind == std::end(kKindNames)) {
      problem("unknown kind of place");
      continue;
    }
    TWritePlace p;
    p.kind = static_cast<TWritePlace::Kind>(kind - std::begin(kKindNames));
    const std::size_t wanted = p.kind == TWritePlace::Kind::File ? 2 : p.kind == TWritePlace::Kind::Cell ? 4 : 3;
    if (fields.size() != wanted) {
      problem("wrong number of fields");
      continue;
    }
    if (!RecordUnescape(fields[1], p.file) || (wanted > 2 && !RecordUnescape(fields[2], p.item)) ||
        (wanted > 3 && !RecordUnescape(fields[3], p.column))) {
      problem("bad escape");
      continue;
    }
    if (!InsideGame(p.file)) {
      problem("a path outside the game folder");
      continue;
    }
    if (p.kind == TWritePlace::Kind::Entry &&
        (p.item.empty() || p.item.size() > 10 || p.item.find_first_not_of("0123456789") != std::string::npos)) {
      problem("not an entry number");
      continue;
    }
    places.push_back(std::move(p));
  }
  return places;
}

TRecordedPlaces ReadRecordedPlaces(const std::filesystem::path& gameFolder) {
  TRecordedPlaces result;
  const std::filesystem::path runsFolder = platform::JournalHome(gameFolder) / platform::journal::kRunsFolder;
  for (const platform::RunRecord& run : platform::ListRuns(gameFolder)) {
    if (!run.Finished()) continue;
    std::string text, problem;
    switch (ReadRecordFile(runsFolder / run.id / kPlacesFile, text, problem)) {
      case RecordRead::Read: break;
      case RecordRead::Refused: result.problems.push_back(run.id + ": " + problem); [[fallthrough]];
      case RecordRead::Missing: result.unrecorded.push_back(run.id); continue;
    }
    std::vector<std::string> problems;
    TRunPlaces places{run.id, RunModName(runsFolder / run.id, run.modFolder), ParsePlaces(text, problems),
                      RunName(gameFolder, run)};
    for (const std::string& p : problems) result.problems.push_back(run.id + ": " + p);
    result.runs.push_back(std::move(places));
  }
  return result;
}

}  // namespace vey
