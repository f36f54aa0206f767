// BuildChoices: the choices file and what it selects.
#include "modlist/BuildChoices.h"

#include <toml++/toml.h>

#include <sstream>

#include "common/FileIO.h"

namespace vey::modlist {
namespace {
namespace fs = std::filesystem;

// Mods and options are known by GUID; one without a GUID by its name.
std::string ModKey(const BuildMod& mod) { return mod.guid.empty() ? "name:" + FoldCase(mod.name) : FoldCase(mod.guid); }
std::string OptionKey(const BuildMod& mod, const BuildOption& option) {
  return option.guid.empty() ? ModKey(mod) + "/" + FoldCase(option.name) : FoldCase(option.guid);
}

std::vector<ChoiceRef> Refs(const toml::table& root, std::string_view key, const fs::path& file) {
  std::vector<ChoiceRef> refs;
  const toml::node* node = root.get(key);
  if (!node) return refs;
  auto fail = [&](const toml::source_region& where, const std::string& why) {
    throw EBuildFileError(file.string() + ":" + std::to_string(where.begin.line) + ": " + why);
  };
  const toml::array* array = node->as_array();
  if (!array) fail(node->source(), "\"" + std::string(key) + "\" must be a list");
  for (const toml::node& item : *array) {
    ChoiceRef ref;
    ref.line = static_cast<int>(item.source().begin.line);
    if (const auto* text = item.as_string()) {
      ref.mod = text->get();
    } else if (const auto* table = item.as_table()) {
      for (const auto& [k, v] : *table)
        if (k.str() != "mod" && k.str() != "option") fail(v.source(), "unknown key \"" + std::string(k.str()) + "\"");
      const auto* mod = table->get_as<std::string>("mod");
      const auto* option = table->get_as<std::string>("option");
      if (!mod || !option) fail(item.source(), "a choice written as a table needs both \"mod\" and \"option\" strings");
      ref.mod = mod->get();
      ref.option = option->get();
    } else {
      fail(item.source(), "a choice is a GUID or mod name, or { mod = \"...\", option = \"...\" }");
    }
    refs.push_back(std::move(ref));
  }
  return refs;
}

}  // namespace

fs::path DefaultChoicesFile(const fs::path& buildFile) { return fs::path(buildFile.string() + ".choices.toml"); }

BuildChoices LoadChoices(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw EBuildFileError("Cannot read the choices file \"" + file.string() + "\".");
  toml::table root;
  try {
    root = toml::parse_file(file.string());
  } catch (const toml::parse_error& e) {
    throw EBuildFileError(file.string() + ":" + std::to_string(e.source().begin.line) + ": " +
                          std::string(e.description()));
  }
  for (const auto& [k, v] : root)
    if (k.str() != "select" && k.str() != "deselect")
      throw EBuildFileError(file.string() + ":" + std::to_string(v.source().begin.line) + ": unknown key \"" +
                            std::string(k.str()) + "\" (a choices file holds \"select\" and \"deselect\")");
  BuildChoices choices;
  choices.file = file;
  choices.select = Refs(root, "select", file);
  choices.deselect = Refs(root, "deselect", file);
  return choices;
}

Selection::Selection(const BuildFile& build, const BuildChoices& choices) {
  for (const BuildMod& mod : build.mods) {
    if (mod.selected) chosen_.insert(ModKey(mod));
    for (const BuildOption& option : mod.options) {
      optionMod_[OptionKey(mod, option)] = ModKey(mod);
      if (option.selected) chosen_.insert(OptionKey(mod, option));
    }
  }
  std::set<std::pair<std::string, std::string>> selected;
  for (const ChoiceRef& ref : choices.select) {
    Apply(build, choices, ref, true);
    selected.insert({FoldCase(ref.mod), FoldCase(ref.option)});
  }
  for (const ChoiceRef& ref : choices.deselect) {
    if (selected.count({FoldCase(ref.mod), FoldCase(ref.option)}))
      problems_.push_back(choices.file.string() + ":" + std::to_string(ref.line) + ": \"" + ref.mod +
                          (ref.option.empty() ? "" : "\", option \"" + ref.option) + "\" is both selected and deselected");
    Apply(build, choices, ref, false);
  }
}

void Selection::Apply(const BuildFile& build, const BuildChoices& choices, const ChoiceRef& ref, bool on) {
  auto set = [&](const std::string& key) { on ? (void)chosen_.insert(key) : (void)chosen_.erase(key); };
  const std::string where = choices.file.string() + ":" + std::to_string(ref.line) + ": ";
  if (const BuildMod* mod = build.Mod(ref.mod)) {
    if (ref.option.empty()) return set(ModKey(*mod));
    if (const BuildOption* option = mod->Option(ref.option)) return set(OptionKey(*mod, *option));
    problems_.push_back(where + "the mod \"" + mod->name + "\" has no option \"" + ref.option + "\"");
    return;
  }
  if (ref.option.empty()) {
    // A bare GUID may be an option's.
    for (const BuildMod& mod : build.mods)
      for (const BuildOption& option : mod.options)
        if (!option.guid.empty() && SameName(option.guid, ref.mod)) return set(OptionKey(mod, option));
  }
  problems_.push_back(where + "the build holds no mod \"" + ref.mod + "\"");
}

bool Selection::ModChosen(const BuildMod& mod) const { return chosen_.count(ModKey(mod)) > 0; }

bool Selection::OptionChosen(const BuildMod& mod, const BuildOption& option) const {
  return ModChosen(mod) && chosen_.count(OptionKey(mod, option)) > 0;
}

bool Selection::Chosen(std::string_view guid) const {
  const std::string key = FoldCase(guid);
  if (!chosen_.count(key)) return false;
  const auto owner = optionMod_.find(key);
  return owner == optionMod_.end() || chosen_.count(owner->second) > 0;
}

bool Selection::StepRuns(const BuildStep& step) const {
  for (const std::string& guid : step.dependencies)
    if (!Chosen(guid)) return false;
  for (const std::string& guid : step.restrictions)
    if (Chosen(guid)) return false;
  return true;
}

void SetChoice(BuildChoices& choices, const BuildFile& build, const BuildMod& mod, const BuildOption* option,
               bool chosen) {
  const std::string modRef = mod.guid.empty() ? mod.name : mod.guid;
  const std::string optionRef = option ? option->name : std::string();
  auto same = [&](const ChoiceRef& r) {
    const BuildMod* named = build.Mod(r.mod);
    if (option) return named == &mod && !r.option.empty() && mod.Option(r.option) == option;
    return named == &mod && r.option.empty();
  };
  std::erase_if(choices.select, same);
  std::erase_if(choices.deselect, same);
  // An option named by its bare GUID is the same choice too.
  if (option && !option->guid.empty()) {
    auto bare = [&](const ChoiceRef& r) { return r.option.empty() && SameName(r.mod, option->guid); };
    std::erase_if(choices.select, bare);
    std::erase_if(choices.deselect, bare);
  }
  const bool byDefault = option ? option->selected : mod.selected;
  if (chosen == byDefault) return;
  ChoiceRef ref{option ? mod.name : modRef, optionRef, 0};
  (chosen ? choices.select : choices.deselect).push_back(std::move(ref));
}

std::string ChoicesText(const BuildChoices& choices) {
  auto list = [](const std::vector<ChoiceRef>& refs) {
    toml::array array;
    for (const ChoiceRef& r : refs) {
      if (r.option.empty()) array.push_back(r.mod);
      else array.push_back(toml::table{{"mod", r.mod}, {"option", r.option}});
    }
    return array;
  };
  toml::table root{{"select", list(choices.select)}, {"deselect", list(choices.deselect)}};
  std::ostringstream out;
  out << "# The player's choices over the build beside this file.\n" << root << '\n';
  return out.str();
}

void SaveChoices(const fs::path& file, const BuildChoices& choices) {
  const std::string text = ChoicesText(choices);
  WriteFileAtomic(file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace vey::modlist
