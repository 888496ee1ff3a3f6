#include "screens/guide/guide_view.hpp"

#include "platform/system_log.hpp"
#include "platform/workspace.hpp"
#include "screens/guide/guide_stand_ins.hpp"
#include "screens/link_failure_note.hpp"
#include "screens/support_links.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tessaron {

namespace {

constexpr int pictureMaxWidth = 360;

QLabel* makeText(const QString& text, const QFont& font, const QColor& color, QWidget* parent,
                 Qt::TextFormat format = Qt::PlainText) {
    auto* label = new QLabel(parent);
    label->setTextFormat(format);
    label->setText(text);
    label->setFont(font);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Link, color);
    label->setPalette(palette);
    return label;
}

QLabel* makeRichText(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = makeText(TessaronGuideView::linkified(text), font, TessaronTheme::textPrimary(), parent,
                           Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    return label;
}

QFont bodyFont(bool monospaced = false) {
    return TessaronTheme::font(TessaronTheme::bodySize, QFont::Normal, monospaced);
}

// The picture, scaled to fit, in a rounded frame with a thin border.
class Picture final : public QWidget {
public:
    Picture(QImage image, QWidget* parent)
        : QWidget(parent)
        , image_(std::move(image)) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        const int shown = std::min(width, pictureMaxWidth);
        return image_.width() > 0 ? shown * image_.height() / image_.width() : 0;
    }
    QSize sizeHint() const override { return {pictureMaxWidth, heightForWidth(pictureMaxWidth)}; }

protected:
    void resizeEvent(QResizeEvent*) override { setFixedHeight(heightForWidth(width())); }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath frame;
        frame.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        painter.setClipPath(frame);
        const int shown = std::min(width(), pictureMaxWidth);
        const QRect target((width() - shown) / 2, 0, shown, height());
        painter.drawImage(target, image_);
        painter.setClipping(false);
        painter.setPen(QPen(TessaronTheme::stroke(), 1));
        painter.drawPath(frame);
    }

private:
    QImage image_;
};

// A line as Markdown reads it inline only: a line start that would open a block (heading, quote, list item,
// rule, fence, underline of a heading, indented code, link reference definition) is escaped or its indent
// made non-breaking, so the text stays text.
QString inlineOnly(const QString& line) {
    static const QRegularExpression blockStart(
        QStringLiteral("^(?:#{1,6}(?=[ \\t]|$)|>|[-+*](?=[ \\t]|$)|([-*_=])[ \\t]*(?:\\1[ \\t]*)*$|`{3}|~{3}|"
                       "\\[(?:[^\\]\\\\]|\\\\.)*\\]:)"));
    static const QRegularExpression listNumber(QStringLiteral("^\\d{1,9}(?=[.)](?:[ \\t]|$))"));
    qsizetype indent = 0;
    while (indent < line.size() && (line[indent] == QLatin1Char(' ') || line[indent] == QLatin1Char('\t')))
        ++indent;
    QString rest = line.mid(indent);
    if (blockStart.match(rest).hasMatch())
        rest.prepend(QLatin1Char('\\'));
    else if (const auto number = listNumber.match(rest); number.hasMatch())
        rest.insert(number.capturedLength(), QLatin1Char('\\'));
    return QString(indent, QChar(0x00A0)) + rest;
}

const QString& codeFamily() {
    static const QString family = TessaronTheme::font(TessaronTheme::bodySize, QFont::Normal, true).family();
    return family;
}

// One run of text as the markup it had, its stand-ins showing what they stand for.
QString runHtml(const QTextFragment& run, const QHash<QChar, QString>& standIns) {
    const auto format = run.charFormat();
    QString html;
    for (const QChar c : run.text()) {
        const auto standIn = standIns.constFind(c);
        if (standIn != standIns.constEnd())
            html += standIn->toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
        else
            html += QString(c).toHtmlEscaped();
    }
    // Qt's HTML keeps the label's family for <code> and draws links in the platform's blue: the family and
    // the page's tint are named.
    if (format.fontFixedPitch())
        html = QStringLiteral("<code style=\"font-family: '%1'\">%2</code>").arg(codeFamily(), html);
    if (format.fontItalic())
        html = QStringLiteral("<i>%1</i>").arg(html);
    if (format.fontWeight() >= QFont::Bold)
        html = QStringLiteral("<b>%1</b>").arg(html);
    if (format.isAnchor())
        html = QStringLiteral("<a href=\"%1\" style=\"color: %2\">%3</a>")
                   .arg(format.anchorHref().toHtmlEscaped(), TessaronTheme::textPrimary().name(), html);
    return html;
}

} // namespace

QString TessaronGuideView::linkified(const QString& text) {
    // Bare addresses are bracketed outside code and pictures: they show as written.
    const auto pieces = GuideStandIns::of(text);
    QStringList lines = autolinkBareURLs(pieces.text).split(QLatin1Char('\n'));
    for (auto& line : lines)
        line = inlineOnly(line);
    // A hard break (two spaces) at each line feed keeps the text's lines; the reader makes each its own
    // block, and the blocks are joined again below.
    QTextDocument document;
    document.setMarkdown(lines.join(QStringLiteral("  \n")),
                         QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectCommonMark |
                                                         QTextDocument::MarkdownNoHTML));
    QStringList blocks;
    for (auto block = document.begin(); block != document.end(); block = block.next()) {
        QString html;
        for (auto run = block.begin(); !run.atEnd(); ++run)
            html += runHtml(run.fragment(), pieces.shown);
        blocks.append(html);
    }
    return QStringLiteral("<span style=\"white-space: pre-wrap\">%1</span>")
        .arg(blocks.join(QStringLiteral("<br>")));
}

const QUrl& TessaronGuideView::guideWebURL() {
    static const QUrl url = TessaronSupportLinks::webPage("/guide/");
    return url;
}

QImage guideImage(const QString& fileName) {
    return QImage(QStringLiteral(":/tessaron/guide/%1.png").arg(QFileInfo(fileName).completeBaseName()));
}

TessaronGuideView::TessaronGuideView(QList<TessaronGuideBlock> blocks, Workspace& workspace, QWidget* parent)
    : QScrollArea(parent)
    , workspace_(workspace) {
    setObjectName(QStringLiteral("tessaron.guide"));
    setWindowTitle(QCoreApplication::translate("Tessaron", "Guide"));
    // The page takes the focus to scroll by keyboard; readers name it.
    setAccessibleName(windowTitle());
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* page = new QWidget();
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    page->setPalette(palette);
    viewport()->setPalette(palette);
    setPalette(palette);

    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    for (const auto& block : blocks)
        stack->addWidget(makeBlock(block, page));

    auto* web = new QPushButton(QCoreApplication::translate("Tessaron", "Open on the web"), page);
    web->setObjectName(QStringLiteral("tessaron.guide.openOnWeb"));
    web->setFont(TessaronTheme::buttonFont());
    web->setMinimumHeight(TessaronTheme::buttonHeight);
    web->setCursor(Qt::PointingHandCursor);
    web->setStyleSheet(
        QStringLiteral("QPushButton { background: transparent; color: %1; border: 1px solid %2;"
                       " border-radius: 8px; }")
            .arg(TessaronTheme::textPrimary().name(), TessaronTheme::stroke().name()));
    connect(web, &QPushButton::clicked, this, [this] { openLink(guideWebURL()); });
    stack->addSpacing(8);
    stack->addWidget(web);
    stack->addStretch(1);
    setWidget(page);

    for (auto* text : page->findChildren<QLabel*>())
        connect(text, &QLabel::linkActivated, this, [this](const QString& link) { openLink(QUrl(link)); });
    // Over the foot of the visible page, wherever the person scrolled to.
    failure_ = new TessaronLinkFailureNote(this);
    failure_->setAutoFillBackground(true);
    failure_->setContentsMargins(24, 8, 24, 8);
    failure_->setBackgroundRole(QPalette::Window);
    connect(failure_, &TessaronLinkFailureNote::shown, this, &TessaronGuideView::placeFailure);
}

void TessaronGuideView::openLink(const QUrl& url) {
    failure_->watch(url);
    workspace_.openUrl(url);
}

void TessaronGuideView::placeFailure() {
    const int height = failure_->heightForWidth(viewport()->width());
    failure_->setGeometry(0, viewport()->geometry().bottom() + 1 - height, viewport()->width(), height);
    failure_->raise();
}

void TessaronGuideView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    placeFailure();
}

QWidget* TessaronGuideView::makeBlock(const TessaronGuideBlock& block, QWidget* parent) {
    using Kind = TessaronGuideBlock::Kind;
    switch (block.kind) {
    case Kind::title: {
        auto* title = makeText(block.text, TessaronTheme::titleFont(), TessaronTheme::textPrimary(), parent);
        setAccessibleTraits(title, {.heading = true});
        return title;
    }
    case Kind::heading: {
        QFont font = TessaronTheme::captionFont();
        font.setWeight(QFont::DemiBold);
        auto* heading = makeText(block.text, font, TessaronTheme::textSecondary(), parent);
        heading->setContentsMargins(0, 8, 0, 0);
        setAccessibleTraits(heading, {.heading = true});
        return heading;
    }
    case Kind::paragraph:
        return makeRichText(block.text, bodyFont(block.text.startsWith(QStringLiteral("shasum"))), parent);
    case Kind::bullets:
        return makeList(block.items, false, parent);
    case Kind::numbered:
        return makeList(block.items, true, parent);
    case Kind::image:
        return makeImage(block, parent);
    }
    return new QWidget(parent);
}

QWidget* TessaronGuideView::makeList(const QStringList& items, bool numbered, QWidget* parent) {
    auto* list = new QWidget(parent);
    auto* grid = new QGridLayout(list);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    for (int row = 0; row < items.size(); ++row) {
        const QString marker = numbered ? QStringLiteral("%1.").arg(row + 1) : QStringLiteral("\u2022");
        // The item's font, so that the marker's baseline is the first line's; its digits are of one width in
        // the theme's family, and the right edge keeps "9." and "10." aligned.
        grid->addWidget(makeText(marker, bodyFont(), TessaronTheme::textSecondary(), list), row, 0,
                        Qt::AlignTop | Qt::AlignRight);
        grid->addWidget(makeRichText(items[row], bodyFont(), list), row, 1);
    }
    grid->setColumnStretch(1, 1);
    return list;
}

QWidget* TessaronGuideView::makeImage(const TessaronGuideBlock& block, QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName(QStringLiteral("tessaron.guide.image.") +
                       QFileInfo(block.imageName).completeBaseName());
    box->setAccessibleName(block.text);
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(10);
    const QImage image = guideImage(block.imageName);
    if (image.isNull())
        SystemLog(QStringLiteral("guide")).info(QStringLiteral("guide image missing: ") + block.imageName);
    else
        stack->addWidget(new Picture(image, box));
    auto* caption = makeText(block.text, TessaronTheme::captionFont(), TessaronTheme::textSecondary(), box);
    caption->setAlignment(Qt::AlignHCenter);
    stack->addWidget(caption);
    return box;
}

} // namespace tessaron
