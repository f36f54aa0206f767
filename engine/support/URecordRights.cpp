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
  return asked;
}

TRecordRight GivenRight(TRecordRight::Kind kind, const std::string& value) {
  return TRecordRight{kind, kind == TRecordRight::Kind::NoSandbox ? std::string() : NormalPath(value)};
}

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
  }
  return {};
}

}  // namespace vey
