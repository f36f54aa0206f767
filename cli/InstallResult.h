// InstallResult: the outcome of `install` as data for other programs (mod
// managers): a versioned JSON document, described in
// docs/install-result.md and docs/install-result.schema.json. The same
// document describes a dry run.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/URunReport.h"
#include "engine/run/UVEYPatcher.h"

namespace vey::cli {

class InstallResult {
 public:
  static constexpr int kVersion = 2;

  // destination: a file name, or "-" for standard output.
  InstallResult(std::string destination, bool dryRun);
  bool Wanted() const { return !destination_.empty(); }

  void SetFolders(std::string modFolder, std::string instructions);
  // Collects the run's changes from now on, with digests when asked.
  void Observe(platform::GameFileSystem& files, bool digests);
  TRunReport* Report() { return report_.get(); }
  void SetGameFolder(const std::string& folder);
  // Attached to the engine before the run: every written line with its kind.
  void Log(LogKind kind, std::string_view text);
  void SetCounts(std::int32_t warnings, std::int32_t errors);
  void SetFailure(std::string message);
  // The journal's id of the run, once it ended and was kept.
  void SetRun(std::string id) { runId_ = std::move(id); }
  // Takes the present state of the changed files and stops observing; called
  // while the file system the run used still exists.
  void Settle();
  // The changed files, once settled.
  const std::vector<TRunReport::ChangedFile>& Files() const { return files_; }

  // Writes the document with the exit code the command ends with; false
  // (after a message on standard error) when it cannot be written.
  bool Write(int exitCode) const;

 private:
  struct Line {
    LogKind kind;
    std::string text;
  };

  std::string destination_;
  bool dryRun_;
  std::string modFolder_, instructions_;
  std::unique_ptr<TRunReport> report_;
  std::vector<Line> log_;
  bool counted_ = false;
  std::int32_t warnings_ = 0, errors_ = 0;
  std::string failure_;
  std::string runId_;
  std::vector<TRunReport::ChangedFile> files_;
};

// Whether a result file can be written there (an existing writable file, or
// a new one in a writable folder); "-" always can.
bool CanWriteResult(const std::string& destination);

// A usage error of `install`: when the command line asks for a result
// (--json, read from the raw arguments since parsing failed), writes one with
// the verdict "usage". Writes nothing to a file that cannot be written.
void WriteUsageResult(int argc, char** argv, const std::string& message);

// The list of changes a dry run prints after its verdict, one line a file.
void PrintChanges(std::ostream& out, const std::vector<TRunReport::ChangedFile>& files);

}  // namespace vey::cli
