// DumpCommand: prints a game file in readable form or as JSON, or one
// resource of an archive. The file's first eight bytes choose the reader;
// whatever the reader refuses is reported in one line with exit status 2.
#include "cli/DumpCommand.h"

#include <unistd.h>

#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>

#include "cli/CliCommon.h"
#include "cli/DumpFormats.h"
#include "cli/GameFile.h"
#include "cli/TextOutput.h"
#include "common/FileIO.h"
#include "common/Win1252.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"

namespace vey::cli {

namespace {

struct DumpRequest {
  std::string file;
  std::string resource;  // NAME of a resource in the archive FILE
  std::string output;    // -o: the resource's bytes go there ("-": standard output)
  std::string tlk;
  bool json = false;
};

// A failure that has its own message and exit status.
struct DumpFailure {
  std::string message;
  int exitCode = kExitFailed;
};

// Prints a file of any format but the archive from its bytes. False when the
// bytes are of no known format.
bool DumpBytes(std::span<const std::uint8_t> data, const std::string& name, const DumpOptions& options,
               std::ostream& out) {
  switch (KindOf(data.first(std::min<std::size_t>(8, data.size())))) {
    case FileKind::Table: {
      T2DAHandler table;
      LoadTable(table, data, name);
      DumpTable(table, T2DAHandler::IsTextForm(data) ? "V2.0" : "V2.b", options, out);
      return true;
    }
    case FileKind::TalkTable: {
      TTLKFileHandler tlk;
      tlk.LoadFromBytes(data, name);
      DumpTalkTable(tlk, options, out);
      return true;
    }
    case FileKind::Document: {
      TGFFFile doc;
      doc.LoadFromBytes(data);
      DumpDocument(doc, options, out);
      return true;
    }
    case FileKind::Soundset: {
      TSSFFile ssf;
      ssf.LoadFromBytes(data, name);
      DumpSoundset(ssf, options, out);
      return true;
    }
    case FileKind::Archive:
    case FileKind::Unknown: break;
  }
  return false;
}

// Bytes that a terminal would show as garbage.
bool LooksBinary(std::span<const std::uint8_t> data) {
  for (std::uint8_t b : data)
    if (b == 0 || (b < 0x20 && b != '\t' && b != '\n' && b != '\r')) return true;
  return false;
}

const TERF_Resource* FindResource(const TERFHandler& archive, std::string_view name) {
  for (const auto& r : archive.Resources())
    if (EqualsNoCase(ResourceName(*r), name)) return r.get();
  return nullptr;
}

// Says what the archive does hold under the same base name, if anything.
DumpFailure NotFound(const TERFHandler& archive, const std::string& name) {
  const std::string base = name.substr(0, name.find('.'));
  std::string same;
  for (const auto& r : archive.Resources())
    if (EqualsNoCase(r->ResRef.Name(), base)) same += (same.empty() ? "" : ", ") + Printable(ResourceName(*r));
  std::string message = "no resource " + Quoted(Utf8ToWin1252(name)) + " in the archive";
  if (!same.empty())
    message += "; it holds " + same;
  else
    message += " (\"veypatcher-cli dump ARCHIVE\" lists its " + std::to_string(archive.Resources().size()) +
               " resources; names are given with their extension, such as \"m01.ifo\")";
  return {message};
}

void WriteBytes(std::span<const std::uint8_t> data, std::ostream& out) {
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// NAME of ARCHIVE: printed by its format, or its bytes as they are.
void DumpResource(const DumpRequest& request, const DumpOptions& options, std::ostream& out) {
  TERFHandler archive(request.file);
  const TERF_Resource* resource = FindResource(archive, request.resource);
  if (!resource) throw NotFound(archive, request.resource);
  const std::vector<std::uint8_t> data = archive.ExtractResourceData(resource->ResRef.Name(), resource->ResType);
  if (request.output == "-") return WriteBytes(data, out);
  if (!request.output.empty()) {
    WriteFileAtomic(request.output, data);
    return;
  }
  if (DumpBytes(data, ResourceName(*resource), options, out)) return;
  if (LooksBinary(data) && isatty(STDOUT_FILENO))
    throw DumpFailure{Printable(ResourceName(*resource)) + " is binary data of no format dump reads; write it to a "
                      "file with -o FILE (or to standard output with -o -)",
                      kExitUsage};
  WriteBytes(data, out);
}

int RunDump(const DumpRequest& request) {
  const std::filesystem::path path(request.file);
  std::ostringstream out;
  std::string failingFile = request.file;
  auto fail = [&](const std::string& message, int exitCode = kExitFailed) {
    std::cerr << "veypatcher-cli: " << failingFile << ": " << message << '\n';
    return exitCode;
  };
  try {
    std::optional<TTLKFileHandler> tlk;
    if (!request.tlk.empty()) {
      failingFile = request.tlk;
      tlk.emplace(request.tlk);
      failingFile = request.file;
    }
    const DumpOptions options{request.json, tlk ? &*tlk : nullptr};
    const std::vector<std::uint8_t> start = FileStart(path);
    const FileKind kind = KindOf(start);
    if (!request.resource.empty()) {
      if (kind != FileKind::Archive)
        return fail(std::string("is a ") + KindName(kind) + ", not an archive; a resource NAME needs an ERF or RIM",
                    kExitUsage);
      DumpResource(request, options, out);
    } else if (kind == FileKind::Archive) {
      DumpArchive(TERFHandler(path), options, out);
    } else if (!DumpBytes(ReadWholeFile(path), request.file, options, out)) {
      return fail("not a 2DA, TLK, GFF, ERF/RIM or SSF file (it begins with " +
                  Quoted(std::string_view(reinterpret_cast<const char*>(start.data()), start.size())) + ")");
    }
  } catch (const DumpFailure& f) {
    return fail(f.message, f.exitCode);
  } catch (const Exception& e) {
    return fail(Win1252ToUtf8(e.what()) + FailureTag(e));
  } catch (const std::bad_alloc&) {
    return fail("the file announces more data than can be held in memory");
  } catch (const std::length_error&) {
    return fail("the file announces more data than can be held in memory");
  }
  // Printed only once the whole file has been read, so that a damaged file
  // gives its one error line and nothing else.
  std::cout << out.str() << std::flush;
  return kExitOk;
}

}  // namespace

void RegisterDumpCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("dump", "Print the content of a 2DA, TLK, GFF, ERF/RIM or SSF file, or of one "
                                             "resource of an archive");
  auto request = std::make_shared<DumpRequest>();
  command->add_option("FILE", request->file, "The file; its first bytes tell its format")
      ->required()
      ->check(CLI::ExistingFile);
  command->add_option("NAME", request->resource,
                      "A resource of the archive FILE, with its extension (\"m01.ifo\"; letter case does not "
                      "matter): printed like a file of its format, or as it is");
  command->add_option("-o,--output", request->output,
                      "Write the resource NAME as it is stored into this file (\"-\": standard output)")
      ->needs(command->get_option("NAME"));
  command->add_option("--tlk", request->tlk,
                      "A talk table (dialog.tlk): show the text of each string number of GFF localized strings, "
                      "soundsets and 2DA columns whose label contains strref, stringref, name, desc, tooltip or title")
      ->check(CLI::ExistingFile);
  command->add_flag("--json", request->json, "Print the same content as JSON");
  command->footer("Reads 2DA tables in binary and text form (\"2DA V2.0\"). Text is printed as UTF-8. Exit status: 0 "
                  "printed; 2 the file is damaged, of no known format, or the archive has no such resource; 64 usage "
                  "error.");
  command->callback([request, &exitCode] { exitCode = RunDump(*request); });
}

}  // namespace vey::cli
