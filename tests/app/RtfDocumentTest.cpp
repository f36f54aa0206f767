// The information text as the window lays it out: a file as word processors
// save it, the formats of its runs and paragraphs, links, and the refusal of
// binary files and of links a click must not open.
#include <QFontDatabase>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include "AppTests.h"
#include "app/RtfTextDocument.h"

namespace vey::test {
namespace {

// Saved the way word processors save: generator, theme data, data store,
// latent styles, document information, a style sheet, a bullet list from the
// Symbol font, a numbered list, a hyperlink field, a Cyrillic font, a
// fixed-pitch font, colours and a Unicode character with its fallback.
constexpr const char* kWordProcessorFile =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033"
    "{\\fonttbl{\\f0\\fswiss\\fcharset0 Calibri;}{\\f1\\fmodern\\fcharset0 Courier New;}"
    "{\\f2\\fnil\\fcharset204 Arial CYR;}{\\f3\\fnil\\fcharset2 Symbol;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
    "{\\*\\generator Riched20 10.0.19041}{\\*\\themedata 504b0304140006000800}"
    "{\\*\\datastore 01050000020000001800}"
    "{\\*\\latentstyles\\lsdstimax376\\lsdlockeddef0{\\lsdlockedexcept \\lsdqformat1 Normal;\\lsdqformat1 heading 1;}}"
    "{\\info{\\title Hidden title}{\\author Hidden author}}{\\stylesheet{\\s0 Normal style;}}\r\n"
    "\\viewkind4\\uc1\r\n"
    "\\pard\\qc\\sa200\\b\\fs32 Title\\b0\\fs22\\par\r\n"
    "\\pard\\li720\\fi-360{\\pntext\\f3\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf3{\\pntxtb\\'B7}}First item\\par\r\n"
    "\\pard\\li720\\fi-360{\\listtext\\f0 2.\\tab}Second {\\i item}\\par\r\n"
    "\\pard\\qj Visit {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/mod\"}}{\\fldrslt{\\ul\\cf2 our page}}}"
    " now.\\par\r\n"
    "{\\f2\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}\\par\r\n"
    "{\\f1 mono}\\cf1  red\\cf0  \\u8364?\\par\r\n"
    "}\r\n";

QTextDocument* Build(const std::string& text, QObject* parent) {
  auto* doc = new QTextDocument(parent);
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  app::BuildRtfDocument(rtf::ReadRtf(bytes), *doc, QFont(QStringLiteral("Sans"), 10));
  return doc;
}

QTextBlock BlockStarting(QTextDocument* doc, const QString& start) {
  for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
    if (b.text().startsWith(start)) return b;
  return {};
}

// The format of the character at offset in block.
QTextCharFormat FormatAt(const QTextBlock& block, int offset) {
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment f = it.fragment();
    if (offset >= f.position() - block.position() && offset < f.position() - block.position() + f.length())
      return f.charFormat();
  }
  return {};
}

}  // namespace

class RtfDocumentTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void WordProcessorFile() {
    QTextDocument* doc = Build(kWordProcessorFile, this);
    const QString text = doc->toPlainText();
    for (const char* hidden : {"504b03", "0105000", "Normal", "Hidden", "Riched", "lsd", "HYPERLINK", "\\"})
      QVERIFY2(!text.contains(QString::fromLatin1(hidden)), hidden);

    const QTextBlock title = BlockStarting(doc, QStringLiteral("Title"));
    QVERIFY(title.isValid());
    QCOMPARE(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(FormatAt(title, 0).fontWeight(), int(QFont::Bold));
    QCOMPARE(FormatAt(title, 0).fontPointSize(), 16.0);
    QCOMPARE(title.blockFormat().bottomMargin(), 200 / 15.0);

    const QTextBlock bullet = BlockStarting(doc, QStringLiteral("\u2022\t"));
    QVERIFY2(bullet.isValid(), qPrintable(text));
    QCOMPARE(bullet.text(), QStringLiteral("\u2022\tFirst item"));
    QCOMPARE(bullet.blockFormat().leftMargin(), 720 / 15.0);
    QCOMPARE(bullet.blockFormat().textIndent(), -360 / 15.0);

    const QTextBlock numbered = BlockStarting(doc, QStringLiteral("2.\t"));
    QCOMPARE(numbered.text(), QStringLiteral("2.\tSecond item"));
    QVERIFY(!FormatAt(numbered, 3).fontItalic());
    QVERIFY(FormatAt(numbered, numbered.text().size() - 1).fontItalic());

    const QTextBlock link = BlockStarting(doc, QStringLiteral("Visit"));
    QCOMPARE(link.text(), QStringLiteral("Visit our page now."));
    QCOMPARE(link.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
    const QTextCharFormat anchor = FormatAt(link, 7);
    QVERIFY(anchor.isAnchor());
    QCOMPARE(anchor.anchorHref(), QStringLiteral("https://example.org/mod"));
    QCOMPARE(anchor.foreground().color(), QColor(0, 0, 255));
    QVERIFY(!FormatAt(link, 1).isAnchor());

    QVERIFY(BlockStarting(doc, QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442")).isValid());

    const QTextBlock last = BlockStarting(doc, QStringLiteral("mono"));
    QCOMPARE(last.text(), QStringLiteral("mono red \u20ac"));
    QCOMPARE(FormatAt(last, 0).fontFamilies().toStringList().value(0),
             QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    QCOMPARE(FormatAt(last, 6).foreground().color(), QColor(255, 0, 0));
  }

  void CharacterFormats_data() {
    QTest::addColumn<QString>("rtf");
    QTest::addColumn<QString>("property");
    QTest::newRow("bold") << "{\\rtf1 {\\b X}\\par}" << "bold";
    QTest::newRow("italic") << "{\\rtf1 {\\i X}\\par}" << "italic";
    QTest::newRow("underline") << "{\\rtf1 {\\ul X}\\par}" << "underline";
    QTest::newRow("strike") << "{\\rtf1 {\\strike X}\\par}" << "strike";
    QTest::newRow("caps") << "{\\rtf1 {\\caps X}\\par}" << "caps";
    QTest::newRow("small caps") << "{\\rtf1 {\\scaps X}\\par}" << "smallcaps";
    QTest::newRow("highlight") << "{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}{\\highlight1 X}\\par}" << "highlight";
  }
  void CharacterFormats() {
    QFETCH(QString, rtf);
    QFETCH(QString, property);
    QTextDocument* doc = Build(rtf.toStdString(), this);
    const QTextBlock block = BlockStarting(doc, QStringLiteral("X"));
    QVERIFY(block.isValid());
    const QTextCharFormat f = FormatAt(block, 0);
    const QMap<QString, bool> has{
        {"bold", f.fontWeight() >= QFont::Bold},
        {"italic", f.fontItalic()},
        {"underline", f.fontUnderline()},
        {"strike", f.fontStrikeOut()},
        {"caps", f.fontCapitalization() == QFont::AllUppercase},
        {"smallcaps", f.fontCapitalization() == QFont::SmallCaps},
        {"highlight", f.background().color() == QColor(1, 2, 3)},
    };
    for (auto it = has.begin(); it != has.end(); ++it) QCOMPARE(it.value(), it.key() == property);
  }

  void NotRtfIsPlainTextUnlessBinary_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("binary");
    QTest::newRow("text") << QByteArray("Line one\r\nLine two\r\n") << false;
    QTest::newRow("rtf") << QByteArray("{\\rtf1 Hi\\par}") << false;
    QTest::newRow("nul byte") << QByteArray("text\0more", 9) << true;
    QTest::newRow("control bytes") << QByteArray("\x01\x02\x03\x04\x05\x06 abc") << true;
    QTest::newRow("cut rtf") << QByteArray("{\\rtf1 {\\b unfinished") << false;
  }
  void NotRtfIsPlainTextUnlessBinary() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, binary);
    const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    QCOMPARE(app::LooksBinary(rtf::ReadRtf(data), data), binary);
  }

  void OnlyWebAndMailLinksOpen_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("opens");
    QTest::newRow("https") << "https://example.org" << true;
    QTest::newRow("http") << "HTTP://example.org" << true;
    QTest::newRow("mail") << "mailto:someone@example.org" << true;
    QTest::newRow("local file") << "file:///usr/bin/xterm" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("relative") << "setup.exe" << false;
  }
  void OnlyWebAndMailLinksOpen() {
    QFETCH(QString, url);
    QFETCH(bool, opens);
    QCOMPARE(app::IsOpenableLink(QUrl(url)), opens);
  }
};

VEY_APP_TEST(RtfDocumentTest);

}  // namespace vey::test

#include "RtfDocumentTest.moc"
