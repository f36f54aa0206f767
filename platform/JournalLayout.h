// JournalLayout: every path the journal uses, in one table. Code names its
// journal paths through these constants, and the journal's tests plant links,
// FIFOs and wrong types at each row of the table: a path added to the journal
// without a row here is caught by them.
#pragma once

#include <string_view>

namespace vey::platform::journal {

// GAME/.veypatcher
inline constexpr std::string_view kHomeName = ".veypatcher";

// In the journal folder.
inline constexpr std::string_view kIdFile = "id";           // the journal's random id
inline constexpr std::string_view kLockFile = "lock";       // one run per game folder
inline constexpr std::string_view kResetFile = "reset.txt"; // a reset under way: the runs it undoes
inline constexpr std::string_view kRunsFolder = "runs";     // runs/ID: one record per install
inline constexpr std::string_view kUndoFolder = "undo";     // undo/ID: an uninstall's own journal
inline constexpr std::string_view kUndoneFolder = "undone"; // undone/ID: records a reset undid
inline constexpr std::string_view kReplayFolder = "replay"; // what a replay kept until it ends
inline constexpr std::string_view kListsFolder = "lists";   // lists/KEY.json: how far a list got

// In a run's record (runs/ID, undo/ID, undone/ID, replay/runs/ID).
inline constexpr std::string_view kRunText = "run.txt";
inline constexpr std::string_view kChangesLog = "changes.log";
inline constexpr std::string_view kPreFolder = "pre";  // pre/N~PATH: old versions
inline constexpr std::string_view kFilesList = "files.txt";
inline constexpr std::string_view kMarksFile = "undone.txt";  // files a forced uninstall took back
inline constexpr std::string_view kSourceFile = "source.txt";
inline constexpr std::string_view kPlacesFile = "places.txt";

// In an uninstall's journal (undo/ID): the runs it undid, once committed,
// and where their records go before removal.
inline constexpr std::string_view kUndoneList = "undone.txt";
inline constexpr std::string_view kGoneFolder = "gone";
// In a record a reset undid (undone/ID).
inline constexpr std::string_view kResetMark = "reset.txt";
// In the replay folder.
inline constexpr std::string_view kKeptList = "kept.txt";
inline constexpr std::string_view kKeptFiles = "files";
inline constexpr std::string_view kKeptRuns = "runs";

enum class JournalEntry { kFolder, kFile };

// One path of the journal, relative to its folder; "*" stands for any one
// name (a run's id, a change's old version, a list's key).
struct JournalPath {
  std::string_view pattern;
  JournalEntry kind;
};

inline constexpr JournalPath kJournalPaths[] = {
    {"id", JournalEntry::kFile},
    {"lock", JournalEntry::kFile},
    {"reset.txt", JournalEntry::kFile},
    {"runs", JournalEntry::kFolder},
    {"runs/*", JournalEntry::kFolder},
    {"runs/*/run.txt", JournalEntry::kFile},
    {"runs/*/changes.log", JournalEntry::kFile},
    {"runs/*/files.txt", JournalEntry::kFile},
    {"runs/*/undone.txt", JournalEntry::kFile},
    {"runs/*/source.txt", JournalEntry::kFile},
    {"runs/*/places.txt", JournalEntry::kFile},
    {"runs/*/pre", JournalEntry::kFolder},
    {"runs/*/pre/*", JournalEntry::kFile},
    {"undo", JournalEntry::kFolder},
    {"undo/*", JournalEntry::kFolder},
    {"undo/*/run.txt", JournalEntry::kFile},
    {"undo/*/changes.log", JournalEntry::kFile},
    {"undo/*/undone.txt", JournalEntry::kFile},
    {"undo/*/pre", JournalEntry::kFolder},
    {"undo/*/pre/*", JournalEntry::kFile},
    {"undo/*/gone", JournalEntry::kFolder},
    {"undo/*/gone/*", JournalEntry::kFolder},
    {"undone", JournalEntry::kFolder},
    {"undone/*", JournalEntry::kFolder},
    {"undone/*/run.txt", JournalEntry::kFile},
    {"undone/*/files.txt", JournalEntry::kFile},
    {"undone/*/changes.log", JournalEntry::kFile},
    {"undone/*/source.txt", JournalEntry::kFile},
    {"undone/*/undone.txt", JournalEntry::kFile},
    {"undone/*/reset.txt", JournalEntry::kFile},
    {"replay", JournalEntry::kFolder},
    {"replay/kept.txt", JournalEntry::kFile},
    {"replay/files", JournalEntry::kFolder},
    {"replay/files/*", JournalEntry::kFile},
    {"replay/runs", JournalEntry::kFolder},
    {"replay/runs/*", JournalEntry::kFolder},
    {"lists", JournalEntry::kFolder},
    {"lists/*", JournalEntry::kFile},
};

}  // namespace vey::platform::journal
