// BuildChoices: the player's choices over a build (which mods and options
// are in it), kept beside the build as `<build file>.choices.toml` so that
// the command line and the window agree:
//
//   select = ["<GUID>", "<mod name>", { mod = "<mod name>", option = "<option name>" }]
//   deselect = [ ... ]
//
// Without choices the build's own IsSelected values stand.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "modlist/BuildFile.h"

namespace vey::modlist {

struct ChoiceRef {
  std::string mod;     // a mod's GUID or name, or an option's GUID when option is empty
  std::string option;  // an option's name or GUID, of mod
  int line = 0;
};

struct BuildChoices {
  std::filesystem::path file;  // empty: none given
  std::vector<ChoiceRef> select, deselect;
};

// Lays the player's choice of a mod (option empty) or of one of its options
// over the choices: nothing is kept where it equals the build's default.
void SetChoice(BuildChoices& choices, const BuildFile& build, const BuildMod& mod, const BuildOption* option,
               bool chosen);
// The choices file's text.
std::string ChoicesText(const BuildChoices& choices);
// Written beside and renamed over, so that a crash leaves the old file or the new.
void SaveChoices(const std::filesystem::path& file, const BuildChoices& choices);

// "BUILD.choices.toml" beside the build.
std::filesystem::path DefaultChoicesFile(const std::filesystem::path& buildFile);
// Raises EBuildFileError "FILE:LINE: why" for a TOML error, an unknown key
// or an entry that is neither a string nor { mod, option }.
BuildChoices LoadChoices(const std::filesystem::path& file);

// What is chosen, by GUID: the build's defaults with the player's choices
// laid over them. A choice naming nothing in the build is a problem (a typo
// must not pass silently); one thing both selected and deselected is too.
class Selection {
 public:
  Selection(const BuildFile& build, const BuildChoices& choices);

  bool ModChosen(const BuildMod& mod) const;
  // Only an option of a chosen mod counts as chosen.
  bool OptionChosen(const BuildMod& mod, const BuildOption& option) const;
  // A mod's or an option's GUID; an unknown GUID counts as not chosen.
  bool Chosen(std::string_view guid) const;
  // Every dependency chosen and no restriction.
  bool StepRuns(const BuildStep& step) const;

  const std::vector<std::string>& Problems() const { return problems_; }

 private:
  void Apply(const BuildFile& build, const BuildChoices& choices, const ChoiceRef& ref, bool on);

  std::set<std::string> chosen_;                  // keys of chosen mods and options
  std::map<std::string, std::string> optionMod_;  // an option's key -> its mod's key
  std::vector<std::string> problems_;
};

}  // namespace vey::modlist
