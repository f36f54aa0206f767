// UProgramOutput: reading what a program left in a folder it could write.
// The program (a mod's compiler) is a stranger: its output may be a link to
// a secret of the person's, a FIFO that never ends or a file that fills the
// memory. The output is opened beneath its folder without following a link
// on the way or at the end, and read only when it is a regular file of at
// most the given size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vey {

// More than any compiled script could be.
inline constexpr std::uint64_t kMaxCompiledScript = 64u << 20;

struct TProgramOutput {
  enum class State { Read, Missing, Refused };
  State state = State::Missing;
  std::vector<std::uint8_t> bytes;
  std::string problem;  // why it was refused
};

// relative: '/'-separated, below folder (the folder itself is trusted).
TProgramOutput ReadProgramOutput(const std::string& folder, const std::string& relative, std::uint64_t limit);

}  // namespace vey
