// URtfReader: a state machine over the tokenizer; each group keeps its own
// character and paragraph state and its destination (body text, font table,
// colour table, field instruction, list marker, or skipped).
#include "formats/URtfReader.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "formats/RtfCodePages.h"
#include "formats/RtfText.h"
#include "formats/RtfTokenizer.h"

namespace vey::rtf {
namespace {

// Bounds that no information text comes near; past them a malformed or
// hostile file shows what was read so far.
constexpr std::size_t kMaxDepth = 200;
constexpr std::size_t kMaxFonts = 4096;
constexpr std::size_t kMaxColors = 4096;
constexpr std::size_t kMaxRuns = 250'000;
constexpr std::size_t kMaxParagraphs = 100'000;
constexpr std::size_t kMaxFields = 100'000;
constexpr int kMaxUnicodeSkip = 16;
constexpr int kMaxTwips = 31680;  // 22 inches, wider than any page

enum class Dest { Text, Skip, FontTable, ColorTable, FieldInst, ListText, Upr };

struct CharState {
  bool bold = false, italic = false, underline = false, strike = false;
  bool caps = false, smallCaps = false, hidden = false;
  int font = -1;  // -1: the document's default font
  int halfPoints = 24;
  int color = -1, highlight = -1;  // colour table indexes
  int linkField = -1;              // the field whose result this text is
  bool operator==(const CharState&) const = default;
};

struct GroupState {
  Dest dest = Dest::Text;
  Dest uprOuter = Dest::Text;  // where \ud's Unicode text goes inside \upr
  CharState chars;
  ParagraphStyle para;  // its listMarker stays empty: markers belong to paragraphs
  int unicodeSkip = 1;  // \uc
  int field = -1;       // innermost \field group this group is part of
  bool starred = false;  // \* seen: the next word is an ignorable destination
};

struct FontEntry {
  std::string name;  // UTF-8
  bool nameDone = false;
  bool monospace = false;
  int codePage = 0;  // 0: the document's code page
};

struct Field {
  std::string instruction;  // UTF-8
  std::string target;
};

enum class Word {
  // destinations
  FontTable, ColorTable, Field, FldInst, FldRslt, ListText, Upr, Ud, SkipDest,
  // document
  AnsiCpg, Deff, Unicode, UnicodeSkip,
  // font table
  Font, FontModern, FontFixedPitch, FontCharset, FontCodePage, Red, Green, Blue,
  // characters
  Plain, Bold, Italic, Underline, UnderlineNone, Strike, Caps, SmallCaps, Hidden, FontSize,
  ForeColor, Highlight,
  // paragraphs
  Pard, Par, Line, Tab, Cell, AlignLeft, AlignCenter, AlignRight, AlignJustify,
  LeftIndent, RightIndent, FirstIndent, SpaceBefore, SpaceAfter, LineSpacing,
  // special characters
  Char,
};

struct WordInfo {
  Word word;
  char32_t cp = 0;  // Word::Char
};

const std::unordered_map<std::string_view, WordInfo>& Vocabulary() {
  static const std::unordered_map<std::string_view, WordInfo> words = [] {
    std::unordered_map<std::string_view, WordInfo> w;
    w["fonttbl"] = {Word::FontTable};
    w["colortbl"] = {Word::ColorTable};
    w["field"] = {Word::Field};
    w["fldinst"] = {Word::FldInst};
    w["fldrslt"] = {Word::FldRslt};
    w["listtext"] = {Word::ListText};
    w["pntext"] = {Word::ListText};
    w["upr"] = {Word::Upr};
    w["ud"] = {Word::Ud};
    // Destinations whose text is never shown (document data, pictures,
    // page furniture, old list definitions, drawing objects).
    for (std::string_view name :
         {"info", "stylesheet", "pict", "header", "headerl", "headerr", "headerf", "footer", "footerl",
          "footerr", "footerf", "footnote", "annotation", "atnid", "atnauthor", "object", "objdata",
          "objclass", "objname", "result", "xe", "tc", "txe", "rxe", "listtable", "listoverridetable",
          "revtbl", "rsidtbl", "filetbl", "pn", "pntxtb", "pntxta", "shp", "shpinst", "shptxt", "sp",
          "sn", "sv", "nonshppict", "shppict", "do", "template", "private", "comment", "author",
          "operator", "title", "subject", "keywords", "doccomm", "company", "buptim", "creatim",
          "printim", "revtim", "xmlnstbl", "mmathPr", "themedata", "colorschememapping", "datastore",
          "latentstyles", "generator", "userprops", "docvar", "ftnsep", "ftnsepc", "ftncn", "aftnsep",
          "aftnsepc", "aftncn", "pgdsctbl", "protusertbl", "wgrffmtfilter", "listpicture", "falt",
          "panose", "bkmkstart", "bkmkend", "datafield", "formfield", "fchars", "lchars"})
      w[name] = {Word::SkipDest};
    w["ansicpg"] = {Word::AnsiCpg};
    w["deff"] = {Word::Deff};
    w["u"] = {Word::Unicode};
    w["uc"] = {Word::UnicodeSkip};
    w["f"] = {Word::Font};
    w["fmodern"] = {Word::FontModern};
    w["fprq"] = {Word::FontFixedPitch};
    w["fcharset"] = {Word::FontCharset};
    w["cpg"] = {Word::FontCodePage};
    w["red"] = {Word::Red};
    w["green"] = {Word::Green};
    w["blue"] = {Word::Blue};
    w["plain"] = {Word::Plain};
    w["b"] = {Word::Bold};
    w["i"] = {Word::Italic};
    for (std::string_view name :
         {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd",
          "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"})
      w[name] = {Word::Underline};
    w["ulnone"] = {Word::UnderlineNone};
    w["strike"] = {Word::Strike};
    w["striked"] = {Word::Strike};
    w["caps"] = {Word::Caps};
    w["scaps"] = {Word::SmallCaps};
    w["v"] = {Word::Hidden};
    w["fs"] = {Word::FontSize};
    w["cf"] = {Word::ForeColor};
    w["highlight"] = {Word::Highlight};
    w["cb"] = {Word::Highlight};
    w["chcbpat"] = {Word::Highlight};
    w["pard"] = {Word::Pard};
    for (std::string_view name : {"par", "sect", "page", "row", "nestrow"}) w[name] = {Word::Par};
    w["line"] = {Word::Line};
    w["tab"] = {Word::Tab};
    w["cell"] = {Word::Cell};
    w["nestcell"] = {Word::Cell};
    w["ql"] = {Word::AlignLeft};
    w["qc"] = {Word::AlignCenter};
    w["qr"] = {Word::AlignRight};
    w["qj"] = {Word::AlignJustify};
    w["li"] = {Word::LeftIndent};
    w["lin"] = {Word::LeftIndent};
    w["ri"] = {Word::RightIndent};
    w["rin"] = {Word::RightIndent};
    w["fi"] = {Word::FirstIndent};
    w["sb"] = {Word::SpaceBefore};
    w["sa"] = {Word::SpaceAfter};
    w["sl"] = {Word::LineSpacing};
    w["emdash"] = {Word::Char, 0x2014};
    w["endash"] = {Word::Char, 0x2013};
    w["bullet"] = {Word::Char, 0x2022};
    w["lquote"] = {Word::Char, 0x2018};
    w["rquote"] = {Word::Char, 0x2019};
    w["ldblquote"] = {Word::Char, 0x201C};
    w["rdblquote"] = {Word::Char, 0x201D};
    w["emspace"] = {Word::Char, 0x2003};
    w["enspace"] = {Word::Char, 0x2002};
    w["qmspace"] = {Word::Char, 0x2005};
    return w;
  }();
  return words;
}

int ClampTwips(std::int32_t value) { return std::clamp<std::int32_t>(value, -kMaxTwips, kMaxTwips); }

class Reader {
 public:
  Document Read(std::span<const std::uint8_t> bytes);

 private:
  GroupState& Top() { return stack_.back(); }
  void OpenGroup();
  void CloseGroup();
  void StartSkipping();
  void OnText(std::string_view bytes);
  void OnByte(std::uint8_t byte);
  void OnSymbol(char symbol);
  void OnWord(const Token& token);
  void OnDestination(Word word);
  void OnFontTableWord(Word word, const Token& token);
  bool ConsumeUnicodeSkip();
  void OnUnicode(std::int32_t value);
  void Emit(char32_t cp);
  void EmitText(char32_t cp);
  void FinishParagraph();
  void EndParagraphIfAny();
  void FinishMarker();
  int CodePage() const;
  RunStyle ResolveStyle(const CharState& chars) const;
  std::optional<Color> ColorAt(int index) const;

  std::vector<GroupState> stack_;
  bool groupStart_ = false;    // no token yet since the last '{'
  std::size_t skipDepth_ = 0;  // >0: inside a skipped group, counting its braces
  int pendingSkip_ = 0;        // fallback characters still to drop after \u
  char16_t highSurrogate_ = 0;
  int ansiCodePage_ = 1252;
  int defaultFont_ = 0;
  std::map<int, FontEntry> fonts_;
  int fontTableCurrent_ = -1;
  std::vector<std::optional<Color>> colors_;
  Color pendingColor_;
  bool pendingColorSet_ = false;
  std::vector<Field> fields_;
  std::string marker_;
  bool markerOpen_ = false;
  Document doc_;
  Paragraph current_;
  std::size_t runCount_ = 0;
  std::optional<CharState> lastChars_;  // the state the current run was resolved from
};

Document Reader::Read(std::span<const std::uint8_t> bytes) {
  doc_.isRtf = true;
  Tokenizer tokens(bytes);
  for (Token token = tokens.Next(); token.kind != TokenKind::End; token = tokens.Next()) {
    if (skipDepth_ > 0) {
      if (token.kind == TokenKind::GroupOpen) ++skipDepth_;
      if (token.kind == TokenKind::GroupClose) --skipDepth_;
      if (skipDepth_ == 0 && stack_.empty()) break;
      continue;
    }
    if (token.kind == TokenKind::GroupOpen) {
      OpenGroup();
      continue;
    }
    if (stack_.empty()) break;  // the document's outermost group has closed
    bool starred = Top().starred;
    Top().starred = false;
    const bool atGroupStart = groupStart_;
    groupStart_ = false;
    switch (token.kind) {
      case TokenKind::GroupClose:
        if (stack_.size() == 1) EndParagraphIfAny();
        CloseGroup();
        break;
      case TokenKind::Text:
        OnText(token.word);
        break;
      case TokenKind::HexByte:
        if (!ConsumeUnicodeSkip()) OnByte(token.byte);
        break;
      case TokenKind::ControlSymbol:
        // \* marks a destination only as the first thing in its group.
        if (token.symbol == '*')
          Top().starred = atGroupStart;
        else if (!ConsumeUnicodeSkip())
          OnSymbol(token.symbol);
        break;
      case TokenKind::ControlWord:
        if (starred) {
          // An ignorable destination: only the few this reader knows are read.
          auto it = Vocabulary().find(token.word);
          Word word = it == Vocabulary().end() ? Word::SkipDest : it->second.word;
          if (word != Word::FldInst && word != Word::Ud && word != Word::ListText) word = Word::SkipDest;
          OnDestination(word);
        } else {
          OnWord(token);
        }
        break;
      default:
        break;  // \bin payloads are never text
    }
    if (stack_.empty() || doc_.paragraphs.size() >= kMaxParagraphs) break;
  }
  if (!stack_.empty()) EndParagraphIfAny();  // a file cut short still shows its last paragraph
  return std::move(doc_);
}

void Reader::EndParagraphIfAny() {
  FinishMarker();
  if (!current_.runs.empty() || !current_.style.listMarker.empty()) FinishParagraph();
}

void Reader::OpenGroup() {
  pendingSkip_ = 0;
  groupStart_ = true;
  if (stack_.empty()) {
    stack_.emplace_back();
    return;
  }
  if (stack_.size() >= kMaxDepth) {
    skipDepth_ = 1;  // nesting this deep is no document; its content is dropped
    return;
  }
  GroupState inner = Top();
  inner.starred = false;
  stack_.push_back(std::move(inner));
}

void Reader::CloseGroup() {
  pendingSkip_ = 0;
  Dest closing = Top().dest;
  stack_.pop_back();
  if (closing == Dest::ListText && (stack_.empty() || Top().dest != Dest::ListText)) FinishMarker();
  if (closing == Dest::ColorTable && (stack_.empty() || Top().dest != Dest::ColorTable) && pendingColorSet_ &&
      colors_.size() < kMaxColors) {
    colors_.push_back(pendingColor_);  // a last entry without its ';'
    pendingColorSet_ = false;
  }
}

// Drops the current group: its state goes now, its braces are counted until it closes.
void Reader::StartSkipping() {
  stack_.pop_back();
  skipDepth_ = 1;
}

bool Reader::ConsumeUnicodeSkip() {
  if (pendingSkip_ <= 0) return false;
  --pendingSkip_;
  return true;
}

void Reader::OnText(std::string_view bytes) {
  for (char c : bytes) {
    if (ConsumeUnicodeSkip()) continue;
    OnByte(static_cast<std::uint8_t>(c));
  }
}

void Reader::OnByte(std::uint8_t byte) {
  if (Top().dest == Dest::ColorTable) {
    if (byte == ';') {
      if (colors_.size() < kMaxColors) {
        colors_.push_back(pendingColorSet_ ? std::optional<Color>(pendingColor_) : std::nullopt);
      }
      pendingColor_ = {};
      pendingColorSet_ = false;
    }
    return;
  }
  Emit(DecodeByte(CodePage(), byte));
}

void Reader::OnSymbol(char symbol) {
  switch (symbol) {
    case '\\': case '{': case '}':
      Emit(static_cast<unsigned char>(symbol));
      break;
    case '~':
      Emit(0x00A0);
      break;
    case '_':
      Emit(0x2011);
      break;
    case '\n':
      if (Top().dest == Dest::Text) FinishParagraph();
      break;
    case '\t':
      Emit('\t');
      break;
    default:
      break;  // \- (optional hyphen), \| \: and the rest show nothing
  }
}

int Reader::CodePage() const {
  const GroupState& top = stack_.back();
  int font = top.dest == Dest::FontTable ? fontTableCurrent_ : (top.chars.font < 0 ? defaultFont_ : top.chars.font);
  auto it = fonts_.find(font);
  if (it != fonts_.end() && it->second.codePage != 0) return it->second.codePage;
  return ansiCodePage_;
}

void Reader::OnUnicode(std::int32_t value) {
  if (value < -32768 || value > 65535) {
    pendingSkip_ = Top().unicodeSkip;
    return;  // no UTF-16 unit; its fallback is still not text
  }
  char32_t unit = static_cast<char32_t>(value < 0 ? value + 65536 : value) & 0xFFFF;
  pendingSkip_ = Top().unicodeSkip;
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    highSurrogate_ = static_cast<char16_t>(unit);
    return;
  }
  if (unit >= 0xDC00 && unit <= 0xDFFF) {
    if (highSurrogate_ != 0) Emit(0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
    highSurrogate_ = 0;
    return;
  }
  highSurrogate_ = 0;
  // Symbol fonts' glyphs written as Unicode land in the private area at 0xF000 + byte.
  if (unit >= 0xF020 && unit <= 0xF0FF) unit = DecodeByte(kSymbolCodePage, static_cast<unsigned char>(unit & 0xFF));
  Emit(unit);
}

void Reader::OnDestination(Word word) {
  if (stack_.size() <= 1) return;  // a stray destination word must not swallow the whole document
  GroupState& top = Top();
  switch (word) {
    case Word::FontTable:
      top.dest = Dest::FontTable;
      break;
    case Word::ColorTable:
      top.dest = Dest::ColorTable;
      break;
    case Word::Field:
      if (fields_.size() < kMaxFields) {
        fields_.emplace_back();
        top.field = static_cast<int>(fields_.size() - 1);
      }
      break;
    case Word::FldInst:
      if (top.field < 0) return StartSkipping();
      top.dest = Dest::FieldInst;
      break;
    case Word::FldRslt:
      if (top.field >= 0) {
        Field& field = fields_[top.field];
        if (field.target.empty()) field.target = HyperlinkTarget(field.instruction);
        if (!field.target.empty()) {
          top.chars.linkField = top.field;
        }
      }
      top.dest = Dest::Text;
      break;
    case Word::ListText:
      // Writers put the marker in both old and new form; the first one counts.
      if (top.dest != Dest::Text || !current_.style.listMarker.empty() || markerOpen_) return StartSkipping();
      top.dest = Dest::ListText;
      marker_.clear();
      markerOpen_ = true;
      break;
    case Word::Upr:
      top.uprOuter = top.dest;
      top.dest = Dest::Upr;
      break;
    case Word::Ud:
      if (top.dest != Dest::Upr) return StartSkipping();
      top.dest = top.uprOuter;
      break;
    default:
      return StartSkipping();
  }
}

void Reader::OnFontTableWord(Word word, const Token& token) {
  if (word == Word::Font) {
    fontTableCurrent_ = token.param;
    if (!fonts_.contains(fontTableCurrent_) && fonts_.size() >= kMaxFonts) fontTableCurrent_ = -1;
    if (fontTableCurrent_ >= 0) fonts_[fontTableCurrent_] = {};
    return;
  }
  auto it = fonts_.find(fontTableCurrent_);
  if (it == fonts_.end()) return;
  FontEntry& font = it->second;
  switch (word) {
    case Word::FontModern:
      font.monospace = true;
      break;
    case Word::FontFixedPitch:
      if (token.param == 1) font.monospace = true;
      break;
    case Word::FontCharset:
      font.codePage = CodePageOfCharset(token.param);
      break;
    case Word::FontCodePage:
      if (IsKnownCodePage(token.param) && font.codePage != kSymbolCodePage) font.codePage = token.param;
      break;
    default:
      break;
  }
}

void Reader::OnWord(const Token& token) {
  auto it = Vocabulary().find(token.word);
  if (it == Vocabulary().end()) {
    ConsumeUnicodeSkip();
    return;  // unknown words are skipped, never shown
  }
  const Word word = it->second.word;
  if (word == Word::Unicode) {
    if (token.hasParam) OnUnicode(token.param);
    return;
  }
  if (ConsumeUnicodeSkip()) return;
  GroupState& top = Top();
  CharState& chars = top.chars;
  ParagraphStyle& para = top.para;
  const bool on = !token.hasParam || token.param != 0;
  const std::int32_t param = token.hasParam ? token.param : 0;
  if (top.dest == Dest::FontTable &&
      (word == Word::Font || word == Word::FontModern || word == Word::FontFixedPitch ||
       word == Word::FontCharset || word == Word::FontCodePage))
    return OnFontTableWord(word, token);
  switch (word) {
    case Word::FontTable: case Word::ColorTable: case Word::Field: case Word::FldInst: case Word::FldRslt:
    case Word::ListText: case Word::Upr: case Word::Ud: case Word::SkipDest:
      return OnDestination(word);
    case Word::AnsiCpg:
      if (IsKnownCodePage(param) && param != kSymbolCodePage) ansiCodePage_ = param;
      break;
    case Word::Deff:
      defaultFont_ = param;
      break;
    case Word::UnicodeSkip:
      top.unicodeSkip = std::clamp<std::int32_t>(param, 0, kMaxUnicodeSkip);
      break;
    case Word::Font:
      chars.font = token.hasParam ? param : -1;
      break;
    case Word::Red: case Word::Green: case Word::Blue:
      if (top.dest == Dest::ColorTable) {
        auto value = static_cast<std::uint8_t>(std::clamp<std::int32_t>(param, 0, 255));
        (word == Word::Red ? pendingColor_.r : word == Word::Green ? pendingColor_.g : pendingColor_.b) = value;
        pendingColorSet_ = true;
      }
      break;
    case Word::Plain: {
      int link = chars.linkField;  // the field's link outlives a reset of the character style
      chars = CharState{};
      chars.linkField = link;
      break;
    }
    case Word::Bold: chars.bold = on; break;
    case Word::Italic: chars.italic = on; break;
    case Word::Underline: chars.underline = on; break;
    case Word::UnderlineNone: chars.underline = false; break;
    case Word::Strike: chars.strike = on; break;
    case Word::Caps: chars.caps = on; break;
    case Word::SmallCaps: chars.smallCaps = on; break;
    case Word::Hidden: chars.hidden = on; break;
    case Word::FontSize:
      chars.halfPoints = token.hasParam ? std::clamp<std::int32_t>(param, 2, 3276) : 24;
      break;
    case Word::ForeColor: chars.color = param; break;
    case Word::Highlight: chars.highlight = param; break;
    case Word::Pard: para = ParagraphStyle{}; break;
    case Word::Par:
      if (top.dest == Dest::Text) FinishParagraph();
      break;
    case Word::Line: Emit(0x2028); break;
    case Word::Tab: case Word::Cell: Emit('\t'); break;
    case Word::AlignLeft: para.align = Align::Left; break;
    case Word::AlignCenter: para.align = Align::Center; break;
    case Word::AlignRight: para.align = Align::Right; break;
    case Word::AlignJustify: para.align = Align::Justify; break;
    case Word::LeftIndent: para.leftIndent = ClampTwips(param); break;
    case Word::RightIndent: para.rightIndent = ClampTwips(param); break;
    case Word::FirstIndent: para.firstIndent = ClampTwips(param); break;
    case Word::SpaceBefore: para.spaceBefore = ClampTwips(param); break;
    case Word::SpaceAfter: para.spaceAfter = ClampTwips(param); break;
    case Word::LineSpacing: para.lineSpacing = ClampTwips(param); break;
    case Word::Char: Emit(it->second.cp); break;
    default: break;
  }
}

void Reader::Emit(char32_t cp) {
  GroupState& top = Top();
  switch (top.dest) {
    case Dest::Text:
      if (!top.chars.hidden) EmitText(cp);
      break;
    case Dest::ListText:
      AppendShown(marker_, cp);
      break;
    case Dest::FieldInst:
      if (top.field >= 0) AppendShown(fields_[top.field].instruction, cp);
      break;
    case Dest::FontTable: {
      auto it = fonts_.find(fontTableCurrent_);
      if (it == fonts_.end() || it->second.nameDone) break;
      if (cp == ';')
        it->second.nameDone = true;
      else
        AppendShown(it->second.name, cp);
      break;
    }
    default:
      break;
  }
}

void Reader::EmitText(char32_t cp) {
  const CharState& chars = Top().chars;
  std::vector<Run>& runs = current_.runs;
  if (runs.empty() || lastChars_ != chars) {
    RunStyle style = ResolveStyle(chars);
    if (runs.empty() || (runs.back().style != style && runCount_ < kMaxRuns)) {
      runs.push_back({{}, std::move(style)});
      ++runCount_;
    }
    lastChars_ = chars;
  }
  AppendShown(runs.back().text, cp);
}

std::optional<Color> Reader::ColorAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) return std::nullopt;
  return colors_[index];
}

RunStyle Reader::ResolveStyle(const CharState& chars) const {
  RunStyle style;
  style.bold = chars.bold;
  style.italic = chars.italic;
  style.underline = chars.underline;
  style.strike = chars.strike;
  style.caps = chars.caps;
  style.smallCaps = chars.smallCaps;
  auto font = fonts_.find(chars.font < 0 ? defaultFont_ : chars.font);
  if (font != fonts_.end()) {
    style.fontName = TrimmedSpaces(font->second.name);
    style.monospace = font->second.monospace;
  }
  style.halfPoints = chars.halfPoints;
  style.color = ColorAt(chars.color);
  style.highlight = chars.highlight > 0 ? ColorAt(chars.highlight) : std::nullopt;
  if (chars.linkField >= 0) style.link = fields_[chars.linkField].target;
  return style;
}

void Reader::FinishMarker() {
  if (!markerOpen_) return;
  markerOpen_ = false;
  for (char& c : marker_)
    if (c == '\t') c = ' ';
  current_.style.listMarker = TrimmedSpaces(marker_);
}

void Reader::FinishParagraph() {
  FinishMarker();
  std::string marker = std::move(current_.style.listMarker);
  current_.style = Top().para;
  current_.style.listMarker = std::move(marker);
  doc_.paragraphs.push_back(std::move(current_));
  current_ = Paragraph{};
  lastChars_.reset();
}

}  // namespace

Document ReadRtf(std::span<const std::uint8_t> bytes) {
  static constexpr std::string_view kMagic = "{\\rtf";
  if (bytes.size() < kMagic.size() ||
      std::string_view(reinterpret_cast<const char*>(bytes.data()), kMagic.size()) != kMagic)
    return ReadPlainText(bytes);
  return Reader().Read(bytes);
}

}  // namespace vey::rtf
