// UERFHandler: the save. What the new archive holds is planned from the
// loaded and the queued resources, then written in one pass beside the target
// and renamed over it.
#include <unordered_map>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "formats/UERFHandler.h"
#include "formats/UERFHandlerDetail.h"

namespace vey {

using namespace erf_detail;

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kCopyRun = 64ull << 20;

}  // namespace

// The content of the rebuilt archive: loaded resources in list order, then
// queued files in queue order. Queued files whose source has gone are left
// out; of those that remain, a later one replaces an earlier one and a loaded
// resource of the same name and type.
std::vector<TERFHandler::OutputEntry> TERFHandler::PlanOutput() const {
  std::vector<OutputEntry> queued;
  std::unordered_map<std::string, std::size_t> lastOf;
  for (const auto& p : pending_) {
    if (!p.live) continue;
    std::uint64_t size = p.data.size();
    if (!p.inMemory) {
      std::error_code ec;
      if (!fs::is_regular_file(p.source, ec)) continue;
      size = fs::file_size(p.source, ec);
      if (ec) continue;
    }
    OutputEntry e;
    e.source = p.source;
    if (p.inMemory) e.data = &p.data;
    auto file = FileNameOf(p.name);
    e.resRef.SetName(ArchiveBaseName(file));
    e.type = static_cast<std::int16_t>(TERF_Resource::ExtensionToType(ExtensionOf(file)));
    e.size = size;
    lastOf[p.identity] = queued.size();
    queued.push_back(std::move(e));
  }

  std::vector<OutputEntry> out;
  out.reserve(resources_.size() + queued.size());
  for (const auto& res : resources_) {
    if (lastOf.count(MakeKey(AsciiLowerCopy(res->ResRef.Name()), res->ResType))) continue;
    OutputEntry e;
    e.loaded = res.get();
    e.resRef = res->ResRef;
    e.type = res->ResType;
    e.size = res->Size;
    out.push_back(std::move(e));
  }
  for (std::size_t i = 0; i < queued.size(); ++i) {
    auto key = MakeKey(AsciiLowerCopy(queued[i].resRef.Name()), queued[i].type);
    if (lastOf[key] == i) out.push_back(std::move(queued[i]));
  }
  return out;
}

void TERFHandler::SaveToFile(const fs::path& path) {
  if (!isOpen_) throw EERFError("Unable to save, no ERF file is open!", 1);
  if (!source_) throw EERFError("Unable to save, could not access file!", 15);
  if (path.empty() && !modified_) return;
  const fs::path target = path.empty() ? fileName_ : path;
  if (target.empty()) throw EERFError("Unable to save, no file name has been specified!", 16);

  auto entries = PlanOutput();
  auto tables = BuildTables(entries);
  std::uint64_t total = tables.size();
  for (const auto& e : entries) total += e.size;

  // The new archive grows beside the target while the old one (possibly the
  // target itself) is still being read; one rename then replaces it.
  AtomicFileWriter out(target);
  out.Reserve(total);
  out.Write(tables);
  for (std::size_t i = 0; i < entries.size();) {
    if (entries[i].loaded) {
      // Resources that lay back to back in the old file still do in the new
      // one: copy them as one range, which the kernel does much faster than
      // many small ones. Runs are capped so progress is still reported.
      std::uint64_t from = 0, length = 0;
      for (; i < entries.size() && entries[i].loaded; ++i) {
        const auto& r = entries[i];
        if (r.size == 0) continue;
        if (length == 0)
          from = r.loaded->Offset;
        else if (r.loaded->Offset != from + length || length + r.size > kCopyRun)
          break;
        length += r.size;
      }
      if (length != 0) out.CopyFrom(*source_, from, length);
    } else if (entries[i].data) {
      out.Write(*entries[i].data);
      ++i;
    } else {
      const auto& e = entries[i];
      InputFile in(e.source);
      if (in.Size() != e.size)
        throw EFOpenError(FormatMsg("Cannot open file \"%s\". %s",
                                    {PathText(e.source), "It changed while the archive was being saved."}));
      out.CopyFrom(in, 0, e.size);
      ++i;
    }
    if (saveProgress_) saveProgress_(out.Written(), total);
  }
  out.Commit();
  LoadFromFile(target);
}

}  // namespace vey
