// ModListFile: reading the mod list with toml++.
#include "cli/ModListFile.h"

#include <toml++/toml.h>

#include <set>

#include "platform/GameFileSystem.h"

namespace vey::cli {
namespace {
namespace fs = std::filesystem;

// Ends the reading of one entry (or of the list's own keys); the error is
// kept and the reading goes on with the next entry.
struct EntryAbandoned {};

class Reader {
 public:
  explicit Reader(fs::path file) : file_(std::move(file)) {}

  [[noreturn]] void Fail(const toml::source_region& where, const std::string& why) const {
    Note(static_cast<int>(where.begin.line), why);
    throw EntryAbandoned{};
  }
  void Note(int line, const std::string& why) const {
    errors_.push_back(file_.string() + ":" + std::to_string(line) + ": " + why);
  }

  void OnlyKeys(const toml::table& table, std::initializer_list<std::string_view> allowed, const std::string& what) const {
    bool unknown = false;
    for (const auto& [key, node] : table) {
      bool known = false;
      for (std::string_view k : allowed) known = known || key.str() == k;
      if (known) continue;
      // Every misspelt key of the table is told, not only the first.
      Note(static_cast<int>((key.source().begin.line ? key.source() : node.source()).begin.line),
           "unknown key \"" + std::string(key.str()) + "\" in " + what);
      unknown = true;
    }
    if (unknown) throw EntryAbandoned{};
  }

  std::optional<std::string> String(const toml::table& table, std::string_view key) const {
    const toml::node* node = table.get(key);
    if (!node) return std::nullopt;
    if (!node->is_string()) Fail(node->source(), "\"" + std::string(key) + "\" must be a string");
    return node->as_string()->get();
  }

  std::vector<std::string> Strings(const toml::table& table, std::string_view key) const {
    std::vector<std::string> values;
    const toml::node* node = table.get(key);
    if (!node) return values;
    const toml::array* array = node->as_array();
    std::string notAList = "\"";
    notAList.append(key).append("\" must be a list of mod names");
    if (!array) Fail(node->source(), notAList);
    for (const toml::node& item : *array) {
      if (!item.is_string()) Fail(item.source(), notAList);
      values.push_back(item.as_string()->get());
    }
    return values;
  }

  // A folder inside its root: relative, no "..", no control characters.
  void CheckFolder(const toml::table& table, std::string_view key, const std::string& value) const {
    if (!platform::GameFileSystem::IsContained(value))
      Fail(table.get(key)->source(), "\"" + std::string(key) + "\" must be a folder inside its root: \"" + value + "\"");
  }

  ModListEntry Entry(const toml::table& table) const {
    OnlyKeys(table, {"name", "source", "sha256", "type", "in", "copy", "requires", "conflicts", "url", "version", "notes"},
             "[[mod]]");
    ModListEntry entry;
    entry.line = static_cast<int>(table.source().begin.line);
    auto name = String(table, "name");
    if (!name || name->empty()) Fail(table.source(), "a [[mod]] without a \"name\"");
    entry.name = *name;
    auto source = String(table, "source");
    if (!source || source->empty()) Fail(table.source(), "the mod \"" + entry.name + "\" has no \"source\"");
    entry.sourceText = *source;
    entry.source = (file_.parent_path() / *source).lexically_normal();
    if (auto sha = String(table, "sha256")) {
      std::string lower;
      for (char c : *sha) lower += (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
      if (lower.size() != 64 || lower.find_first_not_of("0123456789abcdef") != std::string::npos)
        Fail(table.get("sha256")->source(), "\"sha256\" must be 64 hexadecimal digits");
      entry.sha256 = lower;
    }
    entry.type = String(table, "type");
    entry.in = String(table, "in");
    if (const toml::node* copy = table.get("copy")) {
      const toml::table* copyTable = copy->as_table();
      if (!copyTable) Fail(copy->source(), "\"copy\" must be a table: copy = { from = \"...\", to = \"...\" }");
      OnlyKeys(*copyTable, {"from", "to"}, "\"copy\"");
      ModListCopy folders{String(*copyTable, "from").value_or(""), String(*copyTable, "to").value_or("")};
      if (!copyTable->get("to")) Fail(copy->source(), "\"copy\" needs \"to\", the game folder to copy into");
      if (!folders.from.empty() && folders.from != ".") CheckFolder(*copyTable, "from", folders.from);
      if (!folders.to.empty() && folders.to != ".") CheckFolder(*copyTable, "to", folders.to);
      if (entry.type) Fail(table.get("type")->source(), "a \"copy\" mod has no installation \"type\"");
      entry.copy = folders;
    }
    entry.required = Strings(table, "requires");
    entry.conflicts = Strings(table, "conflicts");
    entry.url = String(table, "url");
    entry.version = String(table, "version");
    entry.notes = String(table, "notes");
    return entry;
  }

  ModList Read() const {
    toml::table root;
    try {
      root = toml::parse_file(file_.string());
    } catch (const toml::parse_error& e) {
      Note(static_cast<int>(e.source().begin.line), std::string(e.description()));
      Raise();
    }
    ModList list;
    list.file = file_;
    list.name = file_.stem().string();
    try {
      OnlyKeys(root, {"name", "mod"}, "the list");
      list.name = String(root, "name").value_or(list.name);
    } catch (const EntryAbandoned&) {
    }
    if (const toml::node* mods = root.get("mod")) {
      const toml::array* array = mods->as_array();
      if (!array || !array->is_array_of_tables()) {
        Note(static_cast<int>(mods->source().begin.line), "\"mod\" must be written as [[mod]] entries");
        Raise();
      }
      std::set<std::string> names;
      for (const toml::node& node : *array) {
        try {
          ModListEntry entry = Entry(*node.as_table());
          if (!names.insert(entry.name).second) Note(entry.line, "a second mod named \"" + entry.name + "\"");
          list.mods.push_back(std::move(entry));
        } catch (const EntryAbandoned&) {
        }
      }
    }
    Raise();
    return list;
  }

 private:
  // Every error found, in the order of the file, one per line.
  void Raise() const {
    if (errors_.empty()) return;
    std::string text;
    for (const std::string& e : errors_) text += (text.empty() ? "" : "\n") + e;
    throw EModListError(text);
  }

  fs::path file_;
  mutable std::vector<std::string> errors_;
};

}  // namespace

ModList LoadModList(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw EModListError("Cannot read the mod list \"" + file.string() + "\".");
  // Sources are relative to the list's folder, and the record is keyed by its full path.
  return Reader(fs::absolute(file).lexically_normal()).Read();
}

}  // namespace vey::cli
