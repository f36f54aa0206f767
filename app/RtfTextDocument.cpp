// RtfTextDocument: from the reader's paragraphs and runs to a QTextDocument.
#include "app/RtfTextDocument.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

namespace vey::app {
namespace {

// Layout lengths in the file are twips; the document works in pixels at the
// desktop's logical 96 per inch.
qreal TwipsToPixels(int twips) { return twips / 15.0; }

QColor ToQColor(const rtf::Color& c) { return QColor(c.r, c.g, c.b); }

QTextBlockFormat BlockFormat(const rtf::ParagraphStyle& p) {
  QTextBlockFormat f;
  switch (p.align) {
    case rtf::Align::Left: f.setAlignment(Qt::AlignLeft); break;
    case rtf::Align::Center: f.setAlignment(Qt::AlignHCenter); break;
    case rtf::Align::Right: f.setAlignment(Qt::AlignRight); break;
    case rtf::Align::Justify: f.setAlignment(Qt::AlignJustify); break;
  }
  f.setLeftMargin(TwipsToPixels(std::max(0, p.leftIndent)));
  f.setRightMargin(TwipsToPixels(std::max(0, p.rightIndent)));
  f.setTextIndent(TwipsToPixels(p.firstIndent));
  f.setTopMargin(TwipsToPixels(std::max(0, p.spaceBefore)));
  f.setBottomMargin(TwipsToPixels(std::max(0, p.spaceAfter)));
  // A positive spacing is a minimum, a negative one exact.
  if (p.lineSpacing > 0)
    f.setLineHeight(TwipsToPixels(p.lineSpacing), QTextBlockFormat::MinimumHeight);
  else if (p.lineSpacing < 0)
    f.setLineHeight(TwipsToPixels(-p.lineSpacing), QTextBlockFormat::FixedHeight);
  // A hanging list marker ends in a tab that reaches the paragraph's indent.
  if (!p.listMarker.empty() && p.firstIndent < 0 && p.leftIndent > 0)
    f.setTabPositions({QTextOption::Tab(TwipsToPixels(p.leftIndent), QTextOption::LeftTab)});
  return f;
}

QTextCharFormat CharFormat(const rtf::RunStyle& s, const QFont& base, const QFont& fixed) {
  QTextCharFormat f;
  if (s.monospace)
    f.setFontFamilies({fixed.family()});
  else if (!s.fontName.empty())
    f.setFontFamilies({QString::fromStdString(s.fontName), base.family()});
  else
    f.setFontFamilies({base.family()});
  if (s.halfPoints > 0) f.setFontPointSize(s.halfPoints / 2.0);
  f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
  f.setFontItalic(s.italic);
  f.setFontUnderline(s.underline);
  f.setFontStrikeOut(s.strike);
  if (s.caps)
    f.setFontCapitalization(QFont::AllUppercase);
  else if (s.smallCaps)
    f.setFontCapitalization(QFont::SmallCaps);
  if (s.color) f.setForeground(ToQColor(*s.color));
  if (s.highlight) f.setBackground(ToQColor(*s.highlight));
  if (!s.link.empty()) {
    f.setAnchor(true);
    f.setAnchorHref(QString::fromStdString(s.link));
    f.setFontUnderline(true);
    if (!s.color) f.setForeground(QGuiApplication::palette().color(QPalette::Link));
  }
  return f;
}

}  // namespace

void BuildRtfDocument(const rtf::Document& document, QTextDocument& out, const QFont& base) {
  out.clear();
  out.setUndoRedoEnabled(false);
  out.setDefaultFont(base);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  QTextCursor cursor(&out);
  cursor.beginEditBlock();
  bool first = true;
  for (const rtf::Paragraph& paragraph : document.paragraphs) {
    const QTextBlockFormat blockFormat = BlockFormat(paragraph.style);
    if (first)
      cursor.setBlockFormat(blockFormat);
    else
      cursor.insertBlock(blockFormat);
    first = false;
    if (!paragraph.style.listMarker.empty()) {
      rtf::RunStyle markerStyle = paragraph.runs.empty() ? rtf::RunStyle{} : paragraph.runs.front().style;
      markerStyle.link.clear();
      markerStyle.underline = false;
      QString marker = QString::fromStdString(paragraph.style.listMarker);
      if (!marker.endsWith(u'\t')) marker += u'\t';
      cursor.insertText(marker, CharFormat(markerStyle, base, fixed));
    }
    for (const rtf::Run& run : paragraph.runs) {
      QString text = QString::fromStdString(run.text);
      text.replace(QChar(0x2028), QChar::LineSeparator);
      cursor.insertText(text, CharFormat(run.style, base, fixed));
    }
  }
  cursor.endEditBlock();
}

bool LooksBinary(const rtf::Document& document, std::span<const std::uint8_t> bytes) {
  if (document.isRtf) return false;
  std::size_t controls = 0;
  for (std::uint8_t b : bytes) {
    if (b == 0) return true;
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') ++controls;
  }
  return controls * 20 > bytes.size();
}

bool IsOpenableLink(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                           scheme == QLatin1String("mailto"));
}

}  // namespace vey::app
