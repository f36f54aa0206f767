// BuildFile: reading a published build with toml++.
#include "modlist/BuildFile.h"

#include <toml++/toml.h>

#include <fstream>
#include <set>
#include <sstream>

namespace vey::modlist {
namespace {
namespace fs = std::filesystem;


StepAction ActionOf(std::string_view text) {
  static const std::pair<std::string_view, StepAction> kActions[] = {
      {"extract", StepAction::Extract}, {"move", StepAction::Move},       {"copy", StepAction::Copy},
      {"rename", StepAction::Rename},   {"delete", StepAction::Delete},   {"delduplicate", StepAction::DelDuplicate},
      {"patcher", StepAction::Patcher}, {"choose", StepAction::Choose},
  };
  for (const auto& [name, action] : kActions)
    if (SameName(text, name)) return action;
  return StepAction::Other;
}

class Reader {
 public:
  explicit Reader(fs::path file) : file_(std::move(file)) {}

  [[noreturn]] void Fail(const toml::source_region& where, const std::string& why) const {
    throw EBuildFileError(file_.string() + ":" + std::to_string(where.begin.line) + ": " + why);
  }

  // Text meant for a person: a string, or a number or truth value written
  // without quotes; anything else is information we do not show.
  static std::string Text(const toml::table& table, std::string_view key) {
    const toml::node* node = table.get(key);
    if (!node) return {};
    if (const auto* s = node->as_string()) return s->get();
    if (const auto* i = node->as_integer()) return std::to_string(i->get());
    if (const auto* b = node->as_boolean()) return b->get() ? "true" : "false";
    if (const auto* f = node->as_floating_point()) {
      std::ostringstream out;
      out << f->get();
      return out.str();
    }
    return {};
  }

  // A value the install acts on: a string or nothing, never another kind.
  std::string String(const toml::table& table, std::string_view key, const std::string& where) const {
    const toml::node* node = table.get(key);
    if (!node) return {};
    if (!node->is_string()) Fail(node->source(), "\"" + std::string(key) + "\" of " + where + " must be a string");
    return node->as_string()->get();
  }

  bool Bool(const toml::table& table, std::string_view key, bool fallback, const std::string& where) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (const auto* b = node->as_boolean()) return b->get();
    // Some builds quote their truth values.
    if (const auto* s = node->as_string()) {
      if (SameName(s->get(), "true")) return true;
      if (SameName(s->get(), "false")) return false;
    }
    Fail(node->source(), "\"" + std::string(key) + "\" of " + where + " must be true or false");
  }

  // A list of strings; a single string counts as a list of one.
  std::vector<std::string> Strings(const toml::table& table, std::string_view key, const std::string& where) const {
    std::vector<std::string> values;
    const toml::node* node = table.get(key);
    if (!node) return values;
    if (const auto* s = node->as_string()) {
      if (!s->get().empty()) values.push_back(s->get());
      return values;
    }
    const toml::array* array = node->as_array();
    if (!array) Fail(node->source(), "\"" + std::string(key) + "\" of " + where + " must be a list of strings");
    for (const toml::node& item : *array) {
      if (!item.is_string()) Fail(item.source(), "\"" + std::string(key) + "\" of " + where + " must be a list of strings");
      values.push_back(item.as_string()->get());
    }
    return values;
  }

  // The tables of an array of tables ([[a.b]]), or none.
  std::vector<const toml::table*> Tables(const toml::table& table, std::string_view key, const std::string& where) const {
    std::vector<const toml::table*> tables;
    const toml::node* node = table.get(key);
    if (!node) return tables;
    const toml::array* array = node->as_array();
    if (!array || !array->is_array_of_tables())
      Fail(node->source(), "\"" + std::string(key) + "\" of " + where + " must be written as [[...]] tables");
    for (const toml::node& item : *array) tables.push_back(item.as_table());
    return tables;
  }

  static int Line(const toml::table& table) { return static_cast<int>(table.source().begin.line); }

  BuildStep Step(const toml::table& table, const std::string& owner, std::size_t number) const {
    const std::string where = "step " + std::to_string(number) + " of " + owner;
    BuildStep step;
    step.line = Line(table);
    step.guid = String(table, "Guid", where);
    step.actionText = String(table, "Action", where);
    if (step.actionText.empty()) Fail(table.source(), where + " has no \"Action\"");
    step.action = ActionOf(step.actionText);
    step.sources = Strings(table, "Source", where);
    step.destination = String(table, "Destination", where);
    step.arguments = Text(table, "Arguments");
    step.overwrite = Bool(table, "Overwrite", true, where);
    step.dependencies = Strings(table, "Dependencies", where);
    step.restrictions = Strings(table, "Restrictions", where);
    return step;
  }

  std::vector<BuildStep> Steps(const toml::table& table, const std::string& owner) const {
    std::vector<BuildStep> steps;
    for (const toml::table* t : Tables(table, "Instructions", owner)) steps.push_back(Step(*t, owner, steps.size() + 1));
    return steps;
  }

  BuildOption Option(const toml::table& table, const std::string& mod) const {
    BuildOption option;
    option.line = Line(table);
    option.guid = String(table, "Guid", "an option of " + mod);
    option.name = Text(table, "Name");
    if (option.name.empty()) option.name = option.guid;
    const std::string where = "the option \"" + option.name + "\" of " + mod;
    option.description = Text(table, "Description");
    option.selected = Bool(table, "IsSelected", false, where);
    option.restrictions = Strings(table, "Restrictions", where);
    option.steps = Steps(table, where);
    return option;
  }

  BuildMod Mod(const toml::table& table) const {
    BuildMod mod;
    mod.line = Line(table);
    mod.name = Text(table, "Name");
    if (mod.name.empty()) Fail(table.source(), "a [[thisMod]] without a \"Name\"");
    const std::string where = "the mod \"" + mod.name + "\"";
    mod.guid = String(table, "Guid", where);
    mod.author = Text(table, "Author");
    mod.description = Text(table, "Description");
    mod.directions = Text(table, "Directions");
    mod.installationMethod = Text(table, "InstallationMethod");
    mod.category = Text(table, "Category");
    mod.tier = Text(table, "Tier");
    mod.selected = Bool(table, "IsSelected", true, where);
    mod.compatibilityWarning = Text(table, "CompatibilityWarning");
    mod.knownBugs = Text(table, "KnownBugs");
    if (const toml::node* language = table.get("Language")) {
      if (language->is_string() || language->is_array()) {
        for (const std::string& text : Strings(table, "Language", where)) mod.language.push_back(text);
      }
    }
    if (const toml::table* links = table.get_as<toml::table>("ModLinkFilenames"))
      for (const auto& [page, _] : *links) mod.downloadPages.emplace_back(page.str());
    mod.dependencies = Strings(table, "Dependencies", where);
    mod.installAfter = Strings(table, "InstallAfter", where);
    mod.installBefore = Strings(table, "InstallBefore", where);
    mod.steps = Steps(table, where);
    std::set<std::string> optionGuids;
    for (const toml::table* t : Tables(table, "Options", where)) {
      BuildOption option = Option(*t, where);
      if (!option.guid.empty() && !optionGuids.insert(FoldCase(option.guid)).second)
        Fail(t->source(), "a second option of " + where + " with the Guid " + option.guid);
      mod.options.push_back(std::move(option));
    }
    return mod;
  }

  BuildFile Read(std::string_view text) const {
    toml::table root;
    try {
      root = toml::parse(text, file_.string());
    } catch (const toml::parse_error& e) {
      Fail(e.source(), std::string(e.description()));
    }
    BuildFile build;
    build.file = file_;
    const toml::table* metadata = root.get_as<toml::table>("metadata");
    if (metadata) {
      build.formatVersion = Text(*metadata, "fileFormatVersion");
      build.preamble = Text(*metadata, "preambleContent");
    }
    if (build.formatVersion.rfind("2.", 0) != 0 && build.formatVersion != "2")
      Fail(metadata ? metadata->source() : root.source(),
           build.formatVersion.empty() ? "no [metadata] fileFormatVersion: only build files of format 2 can be read"
                                       : "format version \"" + build.formatVersion +
                                             "\": only build files of format 2 can be read");
    std::set<std::string> guids;
    for (const toml::table* t : Tables(root, "thisMod", "the build")) {
      BuildMod mod = Mod(*t);
      if (!mod.guid.empty() && !guids.insert(FoldCase(mod.guid)).second)
        Fail(t->source(), "a second mod with the Guid " + mod.guid + " (\"" + mod.name + "\")");
      build.mods.push_back(std::move(mod));
    }
    return build;
  }

 private:
  fs::path file_;
};

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool SameName(std::string_view a, std::string_view b) { return a.size() == b.size() && FoldCase(a) == FoldCase(b); }

const BuildOption* BuildMod::Option(std::string_view guidOrName) const {
  for (const BuildOption& o : options)
    if ((!o.guid.empty() && SameName(o.guid, guidOrName)) || SameName(o.name, guidOrName)) return &o;
  return nullptr;
}

const BuildMod* BuildFile::Mod(std::string_view guidOrName) const {
  for (const BuildMod& m : mods)
    if ((!m.guid.empty() && SameName(m.guid, guidOrName)) || SameName(m.name, guidOrName)) return &m;
  return nullptr;
}

bool LooksLikeBuildFile(std::string_view text) {
  for (std::size_t at = text.find("[[thisMod]]"); at != std::string_view::npos; at = text.find("[[thisMod]]", at + 1)) {
    // At the start of a line, after optional blanks.
    std::size_t i = at;
    while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t')) --i;
    if (i == 0 || text[i - 1] == '\n') return true;
  }
  return false;
}

BuildFile ParseBuildFile(std::string_view text, const fs::path& file) { return Reader(file).Read(text); }

BuildFile LoadBuildFile(const fs::path& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec || !fs::is_regular_file(file, ec)) throw EBuildFileError("Cannot read the build file \"" + file.string() + "\".");
  if (size > kMaxBuildFileBytes)
    throw EBuildFileError("The build file \"" + file.string() + "\" is " + std::to_string(size >> 20) +
                          " MiB, too large for a build file (at most " + std::to_string(kMaxBuildFileBytes >> 20) +
                          " MiB).");
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) throw EBuildFileError("Cannot read the build file \"" + file.string() + "\".");
  return ParseBuildFile(text, fs::absolute(file).lexically_normal());
}

}  // namespace vey::modlist
