// UCacheClean: what the unpacked-mod cache holds, and which of its copies
// the game folders they were installed into still name, so that the cache
// can be cleared of the rest without taking a copy a replay would need.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ModCache.h"

namespace vey {

struct TCacheCopy {
  platform::CacheEntry entry;
  // Game folders whose journal still has a run installed from the copy.
  std::vector<std::string> namedBy;
  // Used within the last hour: a run may be about to start from it.
  bool recent = false;
  // No game folder was ever recorded for it (an earlier version unpacked it
  // or it was never installed); removed only when asked for all.
  bool unrecorded = false;
};

struct TCacheSurvey {
  std::filesystem::path home;
  std::vector<TCacheCopy> copies;  // by last use, latest first
};

TCacheSurvey SurveyModCache(const std::filesystem::path& home);

// Why a copy stays (message text, paths marked), or "" when cleaning removes it.
std::string WhyKept(const TCacheCopy& copy, bool all);

struct TCacheClean {
  std::vector<TCacheCopy> removed, kept;
  std::uint64_t freed = 0;
};

// Removes (unless dryRun) every copy no game folder names, the unrecorded
// ones only with all, and the leftovers of unpacks whose process is gone.
TCacheClean CleanModCache(const std::filesystem::path& home, bool dryRun, bool all);

}  // namespace vey
