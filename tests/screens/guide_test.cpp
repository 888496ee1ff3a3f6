#include "platform/url_opener.hpp"
#include "screens/guide/guide_text.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/home_fixture.hpp"
#include "screens/support_links.hpp"
#include "support/fake_workspace.hpp"
#include "support/qt_printers.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QScrollBar>

using namespace std::chrono_literals;

namespace tessaron {

void PrintTo(const TessaronGuideBlock& block, std::ostream* out) {
    *out << static_cast<int>(block.kind) << ":" << block.text.toStdString() << ":"
         << block.items.join(QLatin1Char('|')).toStdString() << ":" << block.imageName.toStdString();
}

namespace testing {
namespace {

using B = TessaronGuideBlock;

TEST(GuideParser, LineGrammar) {
    struct Row {
        const char* text;
        QList<B> blocks;
    };
    const Row rows[] = {
        {"", {}},
        {"\n  \n\t\n", {}},
        {"# Title\n## Part\nText", {B::title("Title"), B::heading("Part"), B::paragraph("Text")}},
        {"one\ntwo\n\nthree", {B::paragraph("one\ntwo"), B::paragraph("three")}},
        {"- a\n- b\n1. c\n2. d\n- e", {B::bullets({"a", "b"}), B::numbered({"c", "d"}), B::bullets({"e"})}},
        {"- a\ntext\n- b", {B::bullets({"a"}), B::paragraph("text"), B::bullets({"b"})}},
        {"12. twelve", {B::numbered({"twelve"})}},
        {"1.5 apples\n3.", {B::paragraph("1.5 apples\n3.")}},
        {"   - indented\n-dash", {B::bullets({"indented"}), B::paragraph("-dash")}},
        {"### deep\n#tight", {B::paragraph("### deep\n#tight")}},
        {"![Setup](setup-1.png)", {B::image("setup-1.png", "Setup")}},
        {"![](a.png)", {B::image("a.png", "")}},
        {"- item\n![x](b.png)\nafter", {B::bullets({"item"}), B::image("b.png", "x"), B::paragraph("after")}},
        // Carriage returns hide neither blank nor image lines.
        {"# T\r\n\r\none\r\n\r\n![c](p-1.png)\r\n- a\r\n",
         {B::title("T"), B::paragraph("one"), B::image("p-1.png", "c"), B::bullets({"a"})}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(B::parse(QString::fromUtf8(row.text)), row.blocks) << row.text;
}

TEST(GuideParser, ImageLinesThatBreakTheRulesAreText) {
    for (const char* line : {"![x](Setup.png)", "![x](setup.jpg)", "![x](a/b.png)", "![x](.png)", "![x]()",
                             "![x]", "![x](a.png) trailing", "!["}) {
        EXPECT_EQ(B::imageLine(QString::fromUtf8(line)), std::nullopt) << line;
        EXPECT_EQ(B::parse(QString::fromUtf8(line)).first().kind, B::Kind::paragraph) << line;
    }
    EXPECT_EQ(B::numberedItem(QStringLiteral("\u0663. arabic digit")), std::nullopt);
}

TEST(GuideText, AutolinksBareUrls) {
    const std::pair<const char*, const char*> rows[] = {
        {"See https://a.example/x.", "See <https://a.example/x>."},
        {"Two: http://a.example, ftp://b.example;", "Two: <http://a.example>, <ftp://b.example>;"},
        {"Kept <https://a.example> and [t](https://b.example)",
         "Kept <https://a.example> and [t](https://b.example)"},
        {"No links here", "No links here"},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(autolinkBareURLs(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

// Inline Markdown as a full reader reads it; block syntax stays text and line feeds stay lines. Links take
// the page's tint and code the fixed-pitch family.
TEST(GuideText, LinkifiedReadsInlineMarkdownOnly) {
    const auto link = [](const QString& href, const QString& label) {
        return QStringLiteral("<a href=\"%1\" style=\"color: #ffffff\">%2</a>").arg(href, label);
    };
    const auto codeOf = [](const QString& html) {
        return QStringLiteral("<code style=\"font-family: '%1'\">%2</code>")
            .arg(TessaronTheme::font(TessaronTheme::bodySize, QFont::Normal, true).family(), html);
    };
    const QString code = codeOf("co*de");
    const std::pair<QString, QString> rows[] = {
        {"Go to https://a.example/x. <b>",
         "Go to " + link("https://a.example/x", "https://a.example/x") + ". &lt;b&gt;"},
        {"`co*de` and [site](https://s.example)", code + " and " + link("https://s.example", "site")},
        {"_em_, *em*, __strong__ and **strong**", "<i>em</i>, <i>em</i>, <b>strong</b> and <b>strong</b>"},
        {"**bold _both_**", "<b>bold </b><b><i>both</i></b>"},
        {R"(\*escaped\* and 5 * 3)", "*escaped* and 5 * 3"},
        {"two\nlines", "two<br>lines"},
        {"> not a quote\n1. not a list\n# not a title\n- not an item",
         "&gt; not a quote<br>1. not a list<br># not a title<br>- not an item"},
        {"no heading\n---\n===", "no heading<br>---<br>==="},
        {"    not code", "\u00a0\u00a0\u00a0\u00a0not code"},
        // Block syntax stays text: a reference definition neither vanishes nor makes a later [a] a link,
        // and a picture inside a text shows as written.
        {"[a]: https://x.test\nsee [a]", "[a]: " + link("https://x.test", "https://x.test") + "<br>see [a]"},
        {"see ![Setup](Setup.png) here", "see ![Setup](Setup.png) here"},
        // A code span keeps its lines, and no escape meant for a line start shows inside it.
        {"run `sudo\n- apt` now", "run " + codeOf("sudo<br>- apt") + " now"},
        {"``a ` ![b](c.png)\n1. x``", codeOf("a ` ![b](c.png)<br>1. x")},
        // Only a run of its own length ends a code span: a longer one inside is part of it, and so are the
        // lines after it.
        {"a `b``c` d", "a " + codeOf("b``c") + " d"},
        {"a `b```c\n- d` e", "a " + codeOf("b```c<br>- d") + " e"},
        // The text's own private-use characters stay; an address is no text, so its backticks open no code;
        // a linked picture is a link showing the picture's syntax; an address in code is not bracketed.
        {"\uE000 marks and `x` code", "\uE000 marks and " + codeOf("x") + " code"},
        {"[a](https://x.example/`y`) `z`", link("https://x.example/`y`", "a") + " " + codeOf("z")},
        {"[![x](y.png)](https://z.example)", link("https://z.example", "![x](y.png)")},
        {"`https://x.example/a` and [`c`](<s.example> \"t\")",
         codeOf("https://x.example/a") + " and " + link("s.example", codeOf("c"))},
    };
    const QString open = QStringLiteral("<span style=\"white-space: pre-wrap\">");
    for (const auto& [in, out] : rows)
        EXPECT_EQ(TessaronGuideView::linkified(in), open + out + "</span>") << in.toStdString();
}

TEST(GuideText, LanguageChoice) {
    EXPECT_EQ(guideResourceName({"zh-Hant-TW", "en"}), "Guide.zh-Hans");
    for (const QStringList& languages : {QStringList{"en-GB"}, QStringList{"fr", "zh"}, QStringList{}})
        EXPECT_EQ(guideResourceName(languages), "Guide.en");
}

TEST(GuideText, BundledGuidesAreWellFormed) {
    for (const char* language : {"en", "zh-Hans"}) {
        const auto text = loadBundledGuide({QString::fromLatin1(language)});
        ASSERT_TRUE(text) << language;
        const auto blocks = B::parse(*text);
        ASSERT_FALSE(blocks.isEmpty());
        EXPECT_EQ(blocks.first().kind, B::Kind::title) << language;
        for (const auto& block : blocks) {
            if (block.kind == B::Kind::image) {
                EXPECT_FALSE(guideImage(block.imageName).isNull()) << block.imageName.toStdString();
            }
            if (block.kind == B::Kind::paragraph) {
                EXPECT_FALSE(block.text.startsWith(QStringLiteral("![")) ||
                             block.text.startsWith(QLatin1Char('#')))
                    << block.text.toStdString();
            }
        }
    }
}

// The marker is in the item's (proportional) font and stands on the first line's baseline, not at the top.
TEST(GuideView, NumberedMarkersSitOnTheFirstLinesBaseline) {
    FakeWorkspace workspace;
    TessaronGuideView view({B::numbered({"mmm", "nnn"})}, workspace);
    view.resize(400, 300);
    view.show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QLabel* marker = nullptr;
    QLabel* item = nullptr;
    for (auto* label : view.findChildren<QLabel*>()) {
        if (label->text() == QStringLiteral("1."))
            marker = label;
        else if (label->text().contains(QStringLiteral("mmm")))
            item = label;
    }
    ASSERT_TRUE(marker && item);
    const QImage list = marker->parentWidget()->grab().toImage();
    const auto lowestInk = [&](const QRect& area) {
        for (int y = area.bottom(); y >= area.top(); --y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (qGray(list.pixel(x, y)) > 40)
                    return y;
        return -1;
    };
    EXPECT_FALSE(QFontInfo(marker->font()).fixedPitch());
    EXPECT_EQ(lowestInk(marker->geometry()), lowestInk(item->geometry()));
    EXPECT_NE(lowestInk(item->geometry()), -1);
}

// Readers meet the title and the headings as headings, the text as text.
TEST(GuideView, TitleAndHeadingsReadAsHeadings) {
    FakeWorkspace workspace;
    TessaronGuideView view({B::title("Guide"), B::heading("Setup"), B::paragraph("Text")}, workspace);
    QList<std::pair<QAccessible::Role, QString>> read;
    for (auto* label : view.widget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const auto* reader = QAccessible::queryAccessibleInterface(label);
        read.append({reader->role(), reader->text(QAccessible::Name)});
    }
    EXPECT_EQ(read, (QList<std::pair<QAccessible::Role, QString>>{{QAccessible::Heading, "Guide"},
                                                                  {QAccessible::Heading, "Setup"},
                                                                  {QAccessible::StaticText, "Text"}}));
}

TEST(GuideView, PicturesByIdentifierAndMissingOnesLogged) {
    SystemLog::Capture log;
    FakeWorkspace workspace;
    TessaronGuideView view(
        {B::title("Guide"), B::image("home-1.png", "Home"), B::image("gone-2.png", "Gone")}, workspace);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tessaron.guide.image.home-1")), nullptr);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tessaron.guide.image.gone-2")), nullptr);
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("guide image missing: gone-2.png")});
    view.findChild<QAbstractButton*>(QStringLiteral("tessaron.guide.openOnWeb"))->click();
    EXPECT_EQ(workspace.opened, QList<QUrl>{TessaronGuideView::guideWebURL()});
}

// A link that no browser opens says so at the foot of the visible page, wherever the person scrolled.
TEST(GuideView, ALinkNoBrowserOpensSaysSoOnScreen) {
    FakeWorkspace workspace;
    QList<TessaronGuideBlock> blocks{B::title("Guide"), B::paragraph("See <https://tessaron.test/faq>.")};
    for (int i = 0; i < 40; ++i)
        blocks.append(B::paragraph("Filler text"));
    TessaronGuideView view(blocks, workspace);
    view.resize(480, 400);
    view.show();
    QLabel* linked = nullptr;
    for (auto* label : view.findChildren<QLabel*>())
        linked = label->text().contains(QStringLiteral("faq")) ? label : linked;
    ASSERT_NE(linked, nullptr);
    const QUrl faq(QStringLiteral("https://tessaron.test/faq"));
    Q_EMIT linked->linkActivated(faq.toString());
    EXPECT_EQ(workspace.opened, QList<QUrl>{faq});
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    Q_EMIT UrlOpener::shared().failed(faq);
    auto* note = view.findChild<QLabel*>(QStringLiteral("tessaron.linkFailure"));
    ASSERT_NE(note, nullptr);
    const QRect shown(note->mapTo(&view, QPoint()), note->size());
    EXPECT_EQ(std::tuple(note->isVisible(), note->text(), view.viewport()->geometry().contains(shown)),
              std::tuple(true, QStringLiteral("No web browser could open https://tessaron.test/faq."), true));
    // The next link hides it until that one fails.
    view.findChild<QAbstractButton*>(QStringLiteral("tessaron.guide.openOnWeb"))->click();
    EXPECT_FALSE(note->isVisible());
}

} // namespace
} // namespace testing
} // namespace tessaron
