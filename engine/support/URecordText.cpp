// URecordText: escaping and untrusted reading of journal records.
#include "engine/support/URecordText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/FileIO.h"
#include "platform/JournalDir.h"
#include "platform/RunRecords.h"

namespace vey {

std::string RecordEscape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '%' || u < 0x20 || u == 0x7F) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

bool RecordUnescape(std::string_view text, std::string& out) {
  auto plain = platform::journal::Unescape(text);
  if (!plain) return false;
  out = std::move(*plain);
  return true;
}

RecordRead ReadRecordFile(const std::filesystem::path& path, std::string& text, std::string& problem) {
  text.clear();
  // Reached by handle from the journal folder: no link on the way is
  // followed, and a FIFO is refused, never waited on.
  std::optional<platform::UniqueFd> file;
  try {
    std::optional<std::pair<platform::JournalFolder, std::string>> at = platform::OpenJournalParent(path);
    if (at) file = at->first.OpenFile(at->second);
  } catch (const platform::EJournalUnusable& e) {
    problem = path.filename().string() + ": " + e.what();
    return RecordRead::Refused;
  }
  if (!file) {
    problem = path.filename().string() + " is missing";
    return RecordRead::Missing;
  }
  const int fd = file->Release();
  struct stat st {};
  RecordRead result = RecordRead::Read;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = path.filename().string() + " is not a regular file";
    result = RecordRead::Refused;
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxRecordSize) {
    problem = path.filename().string() + " is too large to be one of the installer's records";
    result = RecordRead::Refused;
  } else {
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
  }
  ::close(fd);
  return result;
}

}  // namespace vey
