// InfoCommand: reads the information file through the RTF reader the desktop
// window uses and prints it with the terminal's own styles.
#include "cli/InfoCommand.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/ModFolder.h"
#include "cli/TerminalStyle.h"
#include "common/VeyException.h"
#include "common/Win1252.h"

namespace vey::cli {

namespace {

constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";  // U+2028, a line break inside a paragraph
constexpr int kTwipsPerColumn = 144;  // ten columns to the inch, as on a typewriter
constexpr int kMaxIndentColumns = 20;

std::string Indent(int twips) {
  return std::string(static_cast<std::size_t>(std::clamp(twips / kTwipsPerColumn, 0, kMaxIndentColumns)), ' ');
}

std::optional<int> Colour(const std::optional<rtf::Color>& colour) {
  if (!colour) return std::nullopt;
  return NearestTerminalColour(colour->r, colour->g, colour->b);
}

TerminalStyle StyleOf(const rtf::RunStyle& run) {
  TerminalStyle style;
  style.bold = run.bold;
  style.italic = run.italic;
  style.underline = run.underline || !run.link.empty();
  style.strike = run.strike;
  style.foreground = Colour(run.color);
  style.background = Colour(run.highlight);
  // The terminal's own text colour may be light: on a coloured background use black.
  if (style.background && !style.foreground) style.foreground = 0;
  return style;
}

void RenderParagraph(const rtf::Paragraph& paragraph, bool styles, std::string& out) {
  const rtf::ParagraphStyle& p = paragraph.style;
  out += Indent(p.leftIndent + p.firstIndent);
  if (!p.listMarker.empty()) out += p.listMarker + " ";
  const std::string continuation = Indent(p.leftIndent);
  std::string linkText;
  for (std::size_t i = 0; i < paragraph.runs.size(); ++i) {
    const rtf::Run& run = paragraph.runs[i];
    const TerminalStyle style = styles ? StyleOf(run.style) : TerminalStyle{};
    // Each line is styled on its own so that no style runs on past a line break.
    for (std::size_t at = 0;;) {
      const std::size_t next = run.text.find(kLineSeparator, at);
      out += Styled(run.text.substr(at, next == std::string::npos ? std::string::npos : next - at), style);
      if (next == std::string::npos) break;
      out += "\n" + continuation;
      at = next + kLineSeparator.size();
    }
    const std::string& link = run.style.link;
    if (link.empty()) continue;
    linkText += run.text;
    if (i + 1 < paragraph.runs.size() && paragraph.runs[i + 1].style.link == link) continue;
    // Links inside the document lead nowhere a reader of the terminal can go.
    const bool addressShown = linkText.find(link) != std::string::npos;
    if (link[0] != '#' && !addressShown) out += " <" + link + ">";
    linkText.clear();
  }
  out += '\n';
}

// A file that is neither RTF nor text would fill the terminal with noise.
bool LooksBinary(const std::vector<std::uint8_t>& bytes) {
  const std::size_t probe = std::min<std::size_t>(bytes.size(), 8192);
  return std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(probe), 0) !=
         bytes.begin() + static_cast<std::ptrdiff_t>(probe);
}

int RunInfo(const ModOptions& options) {
  platform::GameFileSystem fs;
  const ModSelection mod = SelectMod(options, fs);
  const auto infoPath = mod.InfoPath();
  const std::string shownName = Win1252ToUtf8(mod.infoName);
  if (!fs.IsFile(infoPath)) {
    std::cerr << "Cannot find the information file \"" << shownName << "\" in \"" << mod.dataPath.string()
              << "\".\n";
    return kExitFailed;
  }
  std::vector<std::uint8_t> bytes;
  try {
    bytes = fs.ReadFile(infoPath);
  } catch (const Exception& e) {
    std::cerr << e.what() << '\n';  // names the path in the file system's own bytes
    return kExitFailed;
  }
  const rtf::Document document = rtf::ReadRtf(bytes);
  if (!document.isRtf && LooksBinary(bytes)) {
    std::cerr << "The information file \"" << shownName << "\" is neither RTF nor text.\n";
    return kExitFailed;
  }
  std::cout << RenderInfo(document, TerminalWantsStyles(STDOUT_FILENO)) << std::flush;
  return kExitOk;
}

}  // namespace

std::string RenderInfo(const rtf::Document& document, bool styles) {
  std::string out;
  for (const rtf::Paragraph& paragraph : document.paragraphs) RenderParagraph(paragraph, styles, out);
  return out;
}

void RegisterInfoCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("info", "Print the mod's information text");
  auto options = std::make_shared<ModOptions>();
  AddModOptions(*command, *options);
  command->footer(
      "Styles and colours only on a terminal, and not with NO_COLOR set or TERM=dumb.\n"
      "Exit status: 0 printed; 2 the information file is missing, unreadable or not text; 64 usage error.");
  command->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}

}  // namespace vey::cli
