// DiffCommand: loads two files of one format, compares them in formats/ and
// prints one line per difference:
//   "~ WHERE: FIRST -> SECOND"  a value that differs
//   "- WHERE: FIRST"            something only the first file has
//   "+ WHERE: SECOND"           something only the second file has
#include "cli/DiffCommand.h"

#include <array>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>

#include "cli/CliCommon.h"
#include "cli/GameFile.h"
#include "cli/TextOutput.h"
#include "common/FileIO.h"
#include "common/Sha256.h"
#include "common/Win1252.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UFormatDiff.h"
#include "formats/UGFFFile.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"

namespace vey::cli {

namespace {

constexpr int kExitDifferent = 1;

std::string Digest(std::span<const std::uint8_t> data) { return "sha256 " + Sha256Hex(data); }

// Loads both files with the reader for kind; the file that fails is named.
struct Pair {
  std::string failing;
  TDifferences Compare(FileKind kind, const std::string& a, const std::string& b) {
    switch (kind) {
      case FileKind::Table: {
        T2DAHandler x, y;
        failing = a;
        LoadTable(x, ReadWholeFile(a), a);
        failing = b;
        LoadTable(y, ReadWholeFile(b), b);
        return DiffTables(x, y);
      }
      case FileKind::TalkTable: {
        failing = a;
        TTLKFileHandler x(a);
        failing = b;
        TTLKFileHandler y(b);
        return DiffTalkTables(x, y);
      }
      case FileKind::Document: {
        TGFFFile x, y;
        failing = a;
        x.LoadFromFile(a);
        failing = b;
        y.LoadFromFile(b);
        return DiffDocuments(x, y);
      }
      case FileKind::Soundset: {
        TSSFFile x, y;
        failing = a;
        x.LoadFromFile(a);
        failing = b;
        y.LoadFromFile(b);
        return DiffSoundsets(x, y);
      }
      case FileKind::Archive: {
        failing = a;
        TERFHandler x(a);
        failing = b;
        TERFHandler y(b);
        failing.clear();
        return DiffArchives(x, y, Digest);
      }
      case FileKind::Unknown: break;
    }
    return {};
  }
};

void Print(const TDifference& d, std::ostream& out) {
  switch (d.kind) {
    case TDifference::Kind::Changed:
      out << "~ " << Printable(d.where) << ": " << Printable(d.first) << " -> " << Printable(d.second) << '\n';
      break;
    case TDifference::Kind::OnlyInFirst: out << "- " << Printable(d.where) << ": " << Printable(d.first) << '\n'; break;
    case TDifference::Kind::OnlyInSecond:
      out << "+ " << Printable(d.where) << ": " << Printable(d.second) << '\n';
      break;
  }
}

int RunDiff(const std::string& first, const std::string& second) {
  Pair pair;
  pair.failing = first;
  auto fail = [](const std::string& file, const std::string& message) {
    std::cerr << "veypatcher-cli: " << (file.empty() ? "" : file + ": ") << message << '\n';
    return kExitFailed;
  };
  TDifferences differences;
  try {
    const FileKind a = KindOf(FileStart(first));
    pair.failing = second;
    const FileKind b = KindOf(FileStart(second));
    if (a == FileKind::Unknown) return fail(first, "not a 2DA, TLK, GFF, ERF/RIM or SSF file");
    if (b == FileKind::Unknown) return fail(second, "not a 2DA, TLK, GFF, ERF/RIM or SSF file");
    if (a != b)
      return fail({}, "cannot compare " + first + " (a " + KindName(a) + ") with " + second + " (a " + KindName(b) +
                          ")");
    differences = pair.Compare(a, first, second);
  } catch (const Exception& e) {
    return fail(pair.failing, Win1252ToUtf8(e.what()) + FailureTag(e));
  } catch (const std::bad_alloc&) {
    return fail(pair.failing, "the file announces more data than can be held in memory");
  } catch (const std::length_error&) {
    return fail(pair.failing, "the file announces more data than can be held in memory");
  }
  std::ostringstream out;
  for (const auto& d : differences) Print(d, out);
  std::cout << out.str() << std::flush;
  return differences.empty() ? kExitOk : kExitDifferent;
}

}  // namespace

void RegisterDiffCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("diff", "Compare two 2DA, TLK, GFF, ERF/RIM or SSF files by their structure");
  auto files = std::make_shared<std::array<std::string, 2>>();
  command->add_option("FIRST", (*files)[0], "The first file")->required()->check(CLI::ExistingFile);
  command->add_option("SECOND", (*files)[1], "The second file, of the same format (a 2DA table may be in either form)")
      ->required()
      ->check(CLI::ExistingFile);
  command->footer(
      "One line per difference: \"~ WHERE: FIRST -> SECOND\" for a value that differs, \"- WHERE: FIRST\" for what "
      "only the first file has, \"+ WHERE: SECOND\" for what only the second has. WHERE is a 2DA row and column, a "
      "GFF path as instruction files write it (with (strref) or (langN) for localized strings), a StrRef, or a "
      "resource name. Exit status: 0 the files are alike; 1 they differ; 2 a file is damaged, of no known format, or "
      "of another format than the other; 64 usage error.");
  command->callback([files, &exitCode] { exitCode = RunDiff((*files)[0], (*files)[1]); });
}

}  // namespace vey::cli
