// URecordRights: what a run's source record asks for beyond an ordinary
// install of its mod: a compiler of the person's own, no sandbox around the
// compiler, a backup folder outside the mod, a file of the person's picked by
// hand to be patched. The record lies in the game folder, which may have come
// from anyone; a replay uses these only when the person gives them again.
#pragma once

#include <string>
#include <vector>

#include "engine/support/URunSource.h"

namespace vey {

struct TRecordRight {
  enum class Kind { Compiler, NoSandbox, BackupDir, Pick };
  Kind kind = Kind::Compiler;
  std::string value;  // an absolute path; empty for NoSandbox; "NAME=PATH" for Pick

  bool operator==(const TRecordRight&) const = default;
};

// What source asks for, compiler first.
std::vector<TRecordRight> RightsAsked(const TRunSource& source);

// The same right as given by the person: paths made absolute and normal.
TRecordRight GivenRight(TRecordRight::Kind kind, const std::string& value = {});

// True when given holds right (paths compared after normalising).
bool RightGiven(const TRecordRight& right, const std::vector<TRecordRight>& given);

// For a question to the person: "your own compiler "/x"".
std::string DescribeRight(const TRecordRight& right);

// Why a replay refuses to use right for run id without the person's word,
// naming the command line's option that gives it.
std::string RightRefusal(const TRecordRight& right, const std::string& runId);

}  // namespace vey
