// BuildPlan: walking each chosen mod's steps over its downloads.
#include "modlist/BuildPlan.h"

#include <algorithm>
#include <map>
#include <set>

#include "modlist/ModTree.h"

namespace vey::modlist {
namespace fs = std::filesystem;

std::string_view StateWord(ModState state) {
  switch (state) {
    case ModState::NotChosen: return "not chosen";
    case ModState::Refused: return "refused";
    case ModState::CannotDo: return "a step it cannot do";
    case ModState::MissingDownload: return "missing download";
    case ModState::MissingDependency: return "depends on a mod not chosen";
    case ModState::NeedsChoice: return "needs a choice";
    case ModState::ByHand: return "by hand";
    case ModState::Ready: return "ready";
  }
  return "ready";
}

int BuildPlan::ExitStatus() const {
  int status = choiceProblems.empty() ? 0 : 2;
  for (const ModPlan& m : mods) {
    if (m.state == ModState::NotChosen) continue;
    if (m.state != ModState::Ready && m.state != ModState::ByHand) return 2;
    if (!m.warnings.empty() || m.state == ModState::ByHand) status = std::max(status, 1);
  }
  return status;
}

namespace {

std::string Quoted(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "\"" : ", \"") + t + "\"";
  return out;
}

PlannedOp NewOp(PlannedOp::Kind kind, const std::string& step) {
  PlannedOp op;
  op.kind = kind;
  op.step = step;
  return op;
}

// One mod's walk: its tree of downloads, its operations and findings.
class ModWalk {
 public:
  // Archives unpacked by the mods before this one stay where they were
  // unpacked, as they would in the downloads folder: later mods may use them.
  ModWalk(const BuildFile& build, const Selection& selection, const PlanSetting& setting, ModPlan& plan,
          std::vector<TreeItem>& unpacked)
      : build_(build), selection_(selection), setting_(setting), plan_(plan), tree_(setting.downloads),
        unpacked_(unpacked) {
    for (const TreeItem& item : unpacked_) tree_.Show(item.parts, item.real, true);
  }

  void Run() {
    const BuildMod& mod = *plan_.mod;
    Dependencies(mod);
    if (mod.ByHand()) {
      Raise(ModState::ByHand);
      plan_.warnings.push_back("by hand: " + (mod.directions.empty() ? std::string("no directions given")
                                                                     : mod.directions));
      return;
    }
    Steps(mod.steps, "");
  }

 private:
  void Raise(ModState state) { plan_.state = std::min(plan_.state, state); }
  void Error(ModState state, const std::string& text) {
    Raise(state);
    plan_.errors.push_back(text);
  }

  void Dependencies(const BuildMod& mod) {
    const auto self = std::find_if(build_.mods.begin(), build_.mods.end(), [&](const BuildMod& m) { return &m == &mod; });
    for (const std::string& guid : mod.dependencies) {
      const auto it = std::find_if(build_.mods.begin(), build_.mods.end(),
                                   [&](const BuildMod& m) { return !m.guid.empty() && SameName(m.guid, guid); });
      if (it == build_.mods.end()) {
        Error(ModState::MissingDependency, "depends on the mod " + guid + ", which is not in the build");
      } else if (!selection_.ModChosen(*it)) {
        Error(ModState::MissingDependency, "depends on \"" + it->name + "\" (" + guid + "), which is not chosen");
      } else if (it > self) {
        plan_.warnings.push_back("depends on \"" + it->name + "\", which comes later in the build; the build's order is the install order");
      }
    }
  }

  void Steps(const std::vector<BuildStep>& steps, const std::string& owner) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const BuildStep& step = steps[i];
      if (!selection_.StepRuns(step)) continue;
      const std::string name = owner + "step " + std::to_string(i + 1) + " (" + step.actionText + ")";
      Step(step, name);
    }
  }

  // The step's paths parsed; a path that would leave its folders refuses the mod.
  std::vector<BuildPath> Paths(const std::vector<std::string>& texts, const std::string& name) {
    std::vector<BuildPath> paths;
    for (const std::string& text : texts) {
      std::string problem;
      if (auto path = ParseBuildPath(text, problem)) paths.push_back(std::move(*path));
      else Error(ModState::Refused, name + ": " + problem);
    }
    return paths;
  }

  std::optional<BuildPath> GameFolder(const std::string& text, const std::string& name) {
    std::string problem;
    auto path = ParseBuildPath(text, problem);
    if (!path) {
      Error(ModState::Refused, name + ": " + (text.empty() ? "no \"Destination\"" : problem));
      return std::nullopt;
    }
    if (path->root != PathRoot::Game || path->HasWildcard()) {
      Error(ModState::Refused, name + ": the destination \"" + text + "\" must be a folder of the game, without wildcards");
      return std::nullopt;
    }
    return path;
  }

  std::vector<TreeItem> Glob(const BuildPath& path, const std::string& name) {
    std::string problem;
    auto items = tree_.Glob(path.parts, problem);
    if (!problem.empty()) Error(ModState::Refused, name + ": " + problem);
    return items;
  }

  void FoundNothing(const std::string& name, const std::vector<std::string>& patterns) {
    plan_.warnings.push_back(name + " found nothing for " + Quoted(patterns) + "; the step is skipped");
  }

  void Step(const BuildStep& step, const std::string& name) {
    switch (step.action) {
      case StepAction::Extract: return Extract(step, name);
      case StepAction::Move:
      case StepAction::Copy: return Copy(step, name);
      case StepAction::Rename: return Rename(step, name);
      case StepAction::Delete: return Delete(step, name);
      case StepAction::DelDuplicate: return DelDuplicate(step, name);
      case StepAction::Patcher: return Patcher(step, name);
      case StepAction::Choose: return Choose(step, name);
      case StepAction::Other: break;
    }
    Error(ModState::CannotDo, name + " cannot be done unattended" +
                                  (plan_.mod->directions.empty() ? std::string(".") : ": " + plan_.mod->directions));
  }

  void Extract(const BuildStep& step, const std::string& name) {
    bool found = false;
    for (const BuildPath& path : Paths(step.sources, name)) {
      if (path.root != PathRoot::Downloads) {
        Error(ModState::Refused, name + ": only downloads are extracted");
        continue;
      }
      for (const TreeItem& item : Glob(path, name)) {
        if (item.folder) continue;
        found = true;
        plan_.downloads.push_back(item.real);
        if (!setting_.isArchive(item.real)) continue;  // a loose file stays where it is
        try {
          std::vector<std::string> parts(item.parts.begin(), item.parts.end() - 1);
          parts.push_back(WithoutExtension(item.parts.back()));
          const fs::path folder = setting_.unpack(item.real);
          tree_.Show(parts, folder, true);
          unpacked_.push_back(TreeItem{parts, folder, true});
        } catch (const std::exception& e) {
          Error(ModState::Refused, name + ": " + e.what());
        }
      }
    }
    if (found) return;
    std::string text = "missing download: nothing in the downloads folder matches " + Quoted(step.sources);
    if (!plan_.mod->downloadPages.empty()) text += "; download it from " + Quoted(plan_.mod->downloadPages);
    Error(ModState::MissingDownload, text);
  }

  // Game patterns are matched when the install gets to them, since earlier
  // operations of the mod change what they match.
  void Copy(const BuildStep& step, const std::string& name) {
    auto destination = GameFolder(step.destination, name);
    if (!destination) return;
    bool found = false;
    for (const BuildPath& path : Paths(step.sources, name)) {
      PlannedOp op = NewOp(PlannedOp::Kind::Copy, name);
      op.destination = *destination;
      op.overwrite = step.overwrite;
      op.move = step.action == StepAction::Move;
      if (path.root == PathRoot::Game) {
        op.gamePattern = path;
      } else {
        op.items = Glob(path, name);
        if (op.items.empty()) continue;
        if (step.action == StepAction::Move)
          for (const TreeItem& item : op.items) tree_.Hide(item.parts);
      }
      found = true;
      plan_.ops.push_back(std::move(op));
    }
    if (!found && plan_.state > ModState::MissingDownload) FoundNothing(name, step.sources);
  }

  void Rename(const BuildStep& step, const std::string& name) {
    const std::string& newName = step.destination;
    if (newName.empty() || newName.find_first_of("\\/:*?") != std::string::npos || newName == "." || newName == "..") {
      Error(ModState::Refused, name + ": the new name \"" + newName + "\" must be a plain file name");
      return;
    }
    for (const BuildPath& path : Paths(step.sources, name)) {
      if (path.root == PathRoot::Game) {
        PlannedOp op = NewOp(PlannedOp::Kind::Rename, name);
        op.gamePattern = path;
        op.newName = newName;
        plan_.ops.push_back(std::move(op));
        continue;
      }
      const auto items = Glob(path, name);
      if (items.empty() && plan_.state > ModState::MissingDownload) FoundNothing(name, {step.sources});
      for (const TreeItem& item : items) {
        std::vector<std::string> parts = item.parts;
        parts.back() = newName;
        tree_.Hide(item.parts);
        tree_.Show(parts, item.real, item.folder);
      }
    }
  }

  void Delete(const BuildStep& step, const std::string& name) {
    for (const BuildPath& path : Paths(step.sources, name)) {
      if (path.root == PathRoot::Game) {
        PlannedOp op = NewOp(PlannedOp::Kind::Delete, name);
        op.gamePattern = path;
        plan_.ops.push_back(std::move(op));
        continue;
      }
      // A file of the mod is only hidden from its later steps.
      for (const TreeItem& item : Glob(path, name)) tree_.Hide(item.parts);
    }
  }

  void DelDuplicate(const BuildStep& step, const std::string& name) {
    auto folder = GameFolder(step.destination, name);
    if (!folder) return;
    std::string extension = step.arguments;
    if (!extension.empty() && extension.front() != '.') extension.insert(extension.begin(), '.');
    if (extension.size() < 2 || extension.find_first_of("\\/*?") != std::string::npos) {
      Error(ModState::Refused, name + ": \"" + step.arguments + "\" is no file extension");
      return;
    }
    PlannedOp op = NewOp(PlannedOp::Kind::DelDuplicate, name);
    op.destination = *folder;
    op.extension = extension;
    plan_.ops.push_back(std::move(op));
  }

  void Patcher(const BuildStep& step, const std::string& name) {
    for (const BuildPath& path : Paths(step.sources, name)) {
      if (path.root != PathRoot::Downloads) {
        Error(ModState::Refused, name + ": the mod's installer must be one of its downloads");
        continue;
      }
      const auto items = Glob(path, name);
      const auto file = std::find_if(items.begin(), items.end(), [](const TreeItem& i) { return !i.folder; });
      if (file == items.end()) {
        if (plan_.state > ModState::MissingDownload) FoundNothing(name, {step.sources});
        continue;
      }
      // The installer program is never run: its data folder beside it is installed.
      std::vector<std::string> folderParts(file->parts.begin(), file->parts.end() - 1);
      folderParts.push_back("veypatchdata");
      std::string problem;
      const auto data = tree_.Glob(folderParts, problem);
      if (data.empty() || !data.front().folder) {
        Error(ModState::CannotDo, name + ": there is no \"veypatchdata\" folder beside \"" + file->parts.back() + "\"");
        continue;
      }
      PlannedOp op = NewOp(PlannedOp::Kind::Patcher, name);
      op.modFolder = data.front().real.parent_path();
      op.installationType = step.arguments;
      plan_.ops.push_back(std::move(op));
      return;
    }
  }

  void Choose(const BuildStep& step, const std::string& name) {
    const BuildMod& mod = *plan_.mod;
    std::vector<const BuildOption*> offered, chosen;
    for (const std::string& guid : step.sources) {
      const BuildOption* option = mod.Option(guid);
      if (!option) {
        plan_.warnings.push_back(name + " offers the option " + guid + ", which the mod does not have");
        continue;
      }
      offered.push_back(option);
      if (selection_.OptionChosen(mod, *option)) chosen.push_back(option);
    }
    auto list = [&] {
      std::string text;
      for (const BuildOption* o : offered) text += (text.empty() ? "" : ", ") + ("\"" + o->name + "\" (" + o->guid + ")");
      return text;
    };
    if (chosen.empty()) {
      Error(ModState::NeedsChoice, name + ": no option is chosen; choose from " + list());
      return;
    }
    for (const BuildOption* a : chosen)
      for (const BuildOption* b : chosen)
        if (a != b && std::any_of(a->restrictions.begin(), a->restrictions.end(),
                                  [&](const std::string& g) { return !b->guid.empty() && SameName(g, b->guid); })) {
          Error(ModState::NeedsChoice, name + ": the options \"" + a->name + "\" and \"" + b->name +
                                           "\" exclude each other; choose one of " + list());
          return;
        }
    for (const BuildOption* option : chosen) Steps(option->steps, "option \"" + option->name + "\", ");
  }

  const BuildFile& build_;
  const Selection& selection_;
  const PlanSetting& setting_;
  ModPlan& plan_;
  ModTree tree_;
  std::vector<TreeItem>& unpacked_;
};

}  // namespace

BuildPlan PlanBuild(const BuildFile& build, const Selection& selection, const PlanSetting& setting) {
  BuildPlan plan;
  plan.choiceProblems = selection.Problems();
  std::vector<TreeItem> unpacked;
  for (const BuildMod& mod : build.mods) {
    ModPlan& m = plan.mods.emplace_back();
    m.mod = &mod;
    if (!selection.ModChosen(mod)) {
      m.state = ModState::NotChosen;
      continue;
    }
    ModWalk(build, selection, setting, m, unpacked).Run();
  }
  return plan;
}

}  // namespace vey::modlist
