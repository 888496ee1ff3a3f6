#include "screens/guide/guide_view.hpp"

#include "platform/system_log.hpp"
#include "platform/workspace.hpp"
#include "screens/link_failure_note.hpp"
#include "screens/support_links.hpp"
#include "screens/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
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
    auto* label = makeText(guideInlineHtml(text), font, TessaronTheme::textPrimary(), parent, Qt::RichText);
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

} // namespace

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
    connect(web, &QPushButton::clicked, this, [this] { openLink(TessaronSupportLinks::guidePage()); });
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
    case Kind::title:
        return makeText(block.text, TessaronTheme::titleFont(), TessaronTheme::textPrimary(), parent);
    case Kind::heading: {
        QFont font = TessaronTheme::captionFont();
        font.setWeight(QFont::DemiBold);
        auto* heading = makeText(block.text, font, TessaronTheme::textSecondary(), parent);
        heading->setContentsMargins(0, 8, 0, 0);
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
        grid->addWidget(makeText(marker, bodyFont(numbered), TessaronTheme::textSecondary(), list), row, 0,
                        Qt::AlignTop);
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
