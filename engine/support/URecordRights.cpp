// URecordRights: the settings a run's record may ask a replay for, and the
// person's word that grants them.
#include "engine/support/URecordRights.h"

#include <filesystem>

#include "common/PathText.h"
#include "common/StrFormat.h"

namespace vey {
namespace {

std::string NormalPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  std::string text = std::filesystem::absolute(path, ec).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

std::vector<TRecordRight> RightsAsked(const TRunSource& source) {
  std::vector<TRecordRight> asked;
  if (!source.compiler.empty()) asked.push_back(GivenRight(TRecordRight::Kind::Compiler, source.compiler));
  if (source.noSandbox) asked.push_back(GivenRight(TRecordRight::Kind::NoSandbox));
  if (!source.backupDir.empty()) asked.push_back(GivenRight(TRecordRight::Kind::BackupDir, source.backupDir));
  for (const std::string& pick : source.picks) asked.push_back(GivenRight(TRecordRight::Kind::Pick, pick));
  return asked;
}

TRecordRight GivenRight(TRecordRight::Kind kind, const std::string& value) {
  if (kind == TRecordRight::Kind::Pick) {
    // The file's name in the instruction file as written, its path made normal.
    const std::size_t eq = value.find('=');
    if (eq == std::string::npos) return TRecordRight{kind, value};
    return TRecordRight{kind, value.substr(0, eq + 1) + NormalPath(value.substr(eq + 1))};
  }
  return TRecordRight{kind, kind == TRecordRight::Kind::NoSandbox ? std::string() : NormalPath(value)};
}

namespace {

std::string PickName(const TRecordRight& right) { return right.value.substr(0, right.value.find('=')); }
std::string PickPath(const TRecordRight& right) {
  const std::size_t eq = right.value.find('=');
  return eq == std::string::npos ? std::string() : right.value.substr(eq + 1);
}

}  // namespace

bool RightGiven(const TRecordRight& right, const std::vector<TRecordRight>& given) {
  const TRecordRight asked = GivenRight(right.kind, right.value);
  for (const TRecordRight& g : given)
    if (GivenRight(g.kind, g.value) == asked) return true;
  return false;
}

std::string DescribeRight(const TRecordRight& right) {
  switch (right.kind) {
    case TRecordRight::Kind::Compiler:
      return FormatMsg("your own script compiler \"%s\", instead of the mod's", {PathText(right.value)});
    case TRecordRight::Kind::NoSandbox:
      return "the script compiler without its sandbox, with all your rights";
    case TRecordRight::Kind::BackupDir:
      return FormatMsg("the backup folder \"%s\" (made when missing)", {PathText(right.value)});
    case TRecordRight::Kind::Pick:
      return FormatMsg("your file \"%s\", picked by hand for %s and patched in place",
                       {PathText(PickPath(right)), PickName(right)});
  }
  return {};
}

std::string RightRefusal(const TRecordRight& right, const std::string& runId) {
  switch (right.kind) {
    case TRecordRight::Kind::Compiler:
      return FormatMsg("Run %s was installed with the compiler \"%s\"; a record in the game folder cannot choose "
                       "a program to run. Give --compiler \"%s\" if it is yours.",
                       {runId, PathText(right.value), PathText(right.value)});
    case TRecordRight::Kind::NoSandbox:
      return FormatMsg("Run %s was installed without the compiler's sandbox; a record in the game folder cannot "
                       "turn it off. Give --no-sandbox to install it again that way.",
                       {runId});
    case TRecordRight::Kind::BackupDir:
      return FormatMsg("Run %s kept its unaltered files in \"%s\"; a record in the game folder cannot choose "
                       "where files are written. Give --backup-dir \"%s\" if that folder is yours.",
                       {runId, PathText(right.value), PathText(right.value)});
    case TRecordRight::Kind::Pick:
      return FormatMsg("Run %s patched the file \"%s\", picked by hand for %s; a record in the game folder cannot "
                       "choose which of your files is changed. Give --pick \"%s\" if it is yours.",
                       {runId, PathText(PickPath(right)), PickName(right), PathText(right.value)});
  }
  return {};
}

}  // namespace vey
