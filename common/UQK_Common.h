// UQK_Common: small shared routines: number tests and conversions, replace-all,
// ResRef cleaning, file copy, read-only clearing and running an external program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vey {

// Not empty and only 0-9.
bool IsDigits(std::string_view s);
// "-" or a digit, then digits only. A lone "-" passes.
bool IsInteger(std::string_view s);
// "-" or a digit first, a digit last, and only digits, ',' and '.' between;
// any number of separators passes (so "1.2.3" is "float" here). An exponent
// may follow: 'E' or 'e', an optional sign and digits ("-8.4E-7").
bool IsFloat(std::string_view s);

// The number an IsFloat text stands for, the first separator being the
// decimal point; nullopt for texts that only look like one ("1.2.3") and for
// values beyond the type's range. Values too small for the type become 0.
std::optional<float> ParseSingle(std::string_view s);
std::optional<double> ParseDouble(std::string_view s);

// 0 for text that is not IsFloat; otherwise the first ',' becomes '.' and the
// text is converted. Text still not a number (several separators) raises
// EConvertError "'%s' is not a valid floating point value". Never uses the locale.
float TextToSingle(std::string_view s);
double TextToDouble(std::string_view s);

// An optional sign, then decimal digits or "$" and hexadecimal digits; hex may
// use all 32 bits ("$FFFFFFFF" is -1). Nullopt when that is not the whole text
// or the value does not fit.
std::optional<std::int32_t> ParseInt32(std::string_view s);

// "4294967295" is -1 (all bits set); otherwise ParseInt32, raising
// EConvertError "'%s' is not a valid integer value" on failure.
std::int32_t StrToDWordValue(std::string_view s);

// Every occurrence of oldText replaced left to right; the search resumes after
// the inserted text, so a newText containing oldText cannot loop.
std::string ReplaceAll(std::string_view s, std::string_view oldText, std::string_view newText);

// Of the first 16 characters, only 0-9, A-Z, a-z and '_' remain, case kept.
std::string CleanResRef(std::string_view s);

// Gives the owner write permission back to an existing file that lacks it.
void ClearReadOnly(const std::filesystem::path& path);

// Copies source to target. The target is replaced in one rename, so a failed
// copy (or a copy onto itself) never leaves it truncated. EFOpenError for the
// source, EFCreateError for the target.
void FileCopy(const std::filesystem::path& source, const std::filesystem::path& target);

// Runs exeName with these arguments (no shell, nothing is re-quoted) in
// workDir, or in the program's own folder when workDir is empty or missing;
// the installer's own current folder does not change. Returns what the program
// wrote to standard output, read while it runs so that neither side blocks,
// converted from UTF-8 to Windows-1252. pump is called between waits of at most
// 100 ms. An exeName of 4 characters or fewer starts nothing and returns empty.
// A program that cannot be started raises EFOpenError
// "Unable to start program " + exeName + "!" with code 1.
std::string RunAndCapture(const std::string& exeName, const std::vector<std::string>& arguments,
                          const std::string& workDir, const std::function<void()>& pump = {});

// What RunAndCapture may do beyond the above.
struct RunOptions {
  // "NAME=value" entries added to the program's environment, replacing the
  // installer's own entry of that name.
  std::vector<std::string> environment;
  // Names removed from the program's environment.
  std::vector<std::string> unset;
  // The program gets only the entries given in environment, none of the
  // installer's own.
  bool clearEnvironment = false;
  // Standard error to the null device instead of the installer's own.
  bool discardErrors = false;
  // When set, receives what the program wrote to standard error (instead of
  // the installer's own standard error or the null device).
  std::string* errors = nullptr;
  // When set, receives the exit status (128 + signal number for a program
  // ended by a signal).
  int* exitStatus = nullptr;
};
std::string RunAndCapture(const std::string& exeName, const std::vector<std::string>& arguments,
                          const std::string& workDir, const std::function<void()>& pump,
                          const RunOptions& options);

// Splits a command-line text into arguments the way Windows programs split
// theirs: blanks separate, double quotes group (and "" inside quotes is a
// quote), 2n backslashes before a quote become n and the quote groups,
// 2n+1 become n and a literal quote; other backslashes are literal.
std::vector<std::string> SplitWindowsCommandLine(std::string_view text);

}  // namespace vey
