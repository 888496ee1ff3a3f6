#include "account_screens/other_devices_view.hpp"
#include "widgets/string_table.hpp"

#include "account_screens/account_buttons.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/confirmation.hpp"
#include "account_screens/link_captions.hpp"
#include "account_screens/link_text.hpp"
#include "account_screens/sheet_frame.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "platform/clock.hpp"
#include "platform/reduce_motion_observer.hpp"
#include "platform/workspace.hpp"
#include "screens/link_failure_note.hpp"
#include "screens/support_links.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <utility>

using namespace std::chrono_literals;

namespace tessaron {
namespace {

constexpr auto copiedDuration = 1500ms;
constexpr int qrSide = 240;
constexpr int platePadding = 16;
constexpr int columnWidth = 560;

// The white rounded plate the QR code sits on.
class QRPlate final : public QWidget {
public:
    explicit QRPlate(TessaronSubscriptionQRCode* code) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(platePadding, platePadding, platePadding, platePadding);
        code->setFixedSize(qrSide, qrSide);
        layout->addWidget(code);
        setFixedSize(qrSide + 2 * platePadding, qrSide + 2 * platePadding);
        setAccessibleTraits(this, {.invisible = true});
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath plate;
        plate.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(plate, Qt::white);
    }
};

// The full-width outline of a secondary button around a button that is only its words: the frame is drawn
// and laid out, and only the words take the click.
class GuideFrame final : public QWidget {
public:
    explicit GuideFrame(QAbstractButton* words) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(words, 0, Qt::AlignCenter);
        setFixedHeight(TessaronTheme::buttonHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(TessaronTheme::stroke(), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), TessaronTheme::cornerRadius,
                                TessaronTheme::cornerRadius);
    }
};

QLabel* mutedText(const QString& text) {
    return plainLabel(text, TessaronTheme::font(TessaronTheme::bodySize), TessaronTheme::textSecondary());
}

} // namespace

TessaronOtherDevicesView::LinkDisplay
TessaronOtherDevicesView::linkDisplay(const std::optional<TessaronSubscriptionLinkStatus>& status,
                                      const std::optional<QUrl>& localURL) {
    const bool hasLink = status ? status->active : localURL.has_value();
    if (!hasLink)
        return LinkDisplay::noLink;
    return localURL ? LinkDisplay::linkShown : LinkDisplay::linkNotShown;
}

TessaronOtherDevicesView::TessaronOtherDevicesView(AccountScreenModel& model, Clock& clock,
                                                   Workspace& workspace,
                                                   const ReduceMotionObserver* reduceMotion, QWidget* parent)
    : TessaronSheetDialog(parent)
    , model_(model)
    , clock_(clock)
    , workspace_(workspace)
    , copiedReset_(clock) {
    const SheetFrame frame =
        buildSheetFrame(*this, uiText("Windows / Android"), uiText("Close"), QString(), 24, columnWidth);
    frame.column->setContentsMargins(24, 24, 24, 24);
    // At least 440 by 560, as far as the screen holds it; what is taller scrolls.
    const QSize least = boundedByScreen(*this, {440, 560});
    setMinimumSize(least);

    frame.column->addWidget(
        mutedText(uiText("Use your Tessaron access on a Windows PC or an Android phone with "
                         "v2rayN or v2rayNG. One link counts as one device.")));

    states_ = new QWidget;
    auto* statesLayout = new QVBoxLayout(states_);
    statesLayout->setContentsMargins(0, 0, 0, 0);
    unavailablePage_ = mutedText(uiText("Not available yet."));
    noLinkPage_ = buildNoLink();
    linkShownPage_ = buildLinkShown();
    linkNotShownPage_ = buildLinkNotShown();
    for (QWidget* page : {unavailablePage_, noLinkPage_, linkShownPage_, linkNotShownPage_})
        statesLayout->addWidget(page);
    frame.column->addWidget(states_);

    error_ = plainLabel({}, TessaronTheme::font(TessaronTheme::footnoteSize), TessaronTheme::danger());
    setAccessibleTraits(error_, {.animated = true});
    frame.column->addWidget(error_);
    frame.column->addStretch(1);

    connect(&model_, &AccountScreenModel::changed, this, &TessaronOtherDevicesView::refresh);
    if (reduceMotion) {
        reduceMotion_ = reduceMotion->reduceMotion();
        connect(reduceMotion, &ReduceMotionObserver::reduceMotionChanged, this,
                &TessaronOtherDevicesView::setReduceMotion);
    }
    refresh();
}

QWidget* TessaronOtherDevicesView::buildNoLink() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    create_ = new TessaronMainActionButton;
    create_->setText(uiText("Create link"));
    create_->setObjectName(QStringLiteral("tessaron.otherDevices.create"));
    connect(create_, &QAbstractButton::clicked, this, [this] { model_.createSubscriptionLink(); });
    TessaronOutlinedTextButton::Look words = TessaronOutlinedTextButton::secondary();
    words.outline = Qt::transparent;
    words.height = QFontMetrics(words.font).height() + 8;
    auto* guide = new TessaronOutlinedTextButton(uiText("How to set up"), words);
    guide->setObjectName(QStringLiteral("tessaron.otherDevices.guide"));
    guide->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Without a browser the desktop opens nothing and says nothing: the sheet says it, under the guide.
    auto* failure = new TessaronLinkFailureNote;
    connect(guide, &QAbstractButton::clicked, this, [this, failure] {
        const QUrl guideURL = TessaronSupportLinks::windowsGuide();
        failure->watch(guideURL);
        if (!workspace_.openUrl(guideURL))
            failure->sayNotOpened(guideURL);
    });
    layout->addWidget(create_);
    layout->addWidget(new GuideFrame(guide));
    layout->addWidget(failure);
    return page;
}

QWidget* TessaronOtherDevicesView::buildLinkShown() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    qrCode_ = new TessaronSubscriptionQRCode;
    layout->addWidget(new QRPlate(qrCode_), 0, Qt::AlignHCenter);

    url_ = new TessaronLinkText(TessaronTheme::font(TessaronTheme::footnoteSize, QFont::Normal, true),
                                Qt::white, 3);
    layout->addWidget(url_);

    layout->addWidget(buildButtonRow(true));

    auto* captions = new QVBoxLayout;
    captions->setSpacing(4);
    created_ = plainLabel({}, TessaronTheme::captionFont(), TessaronTheme::textSecondary());
    lastUsed_ = plainLabel({}, TessaronTheme::captionFont(), TessaronTheme::textSecondary());
    captions->addWidget(created_);
    captions->addWidget(lastUsed_);
    layout->addLayout(captions);
    return page;
}

QWidget* TessaronOtherDevicesView::buildLinkNotShown() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(
        mutedText(uiText("A link exists but it is only shown once. Reset it to get a new one.")));
    layout->addWidget(buildButtonRow(false));
    return page;
}

QWidget* TessaronOtherDevicesView::buildButtonRow(bool withCopy) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    if (withCopy) {
        copy_ = new TessaronOutlinedTextButton(uiText("Copy link"), TessaronOutlinedTextButton::secondary());
        connect(copy_, &QAbstractButton::clicked, this, &TessaronOtherDevicesView::copyLink);
        layout->addWidget(copy_);
    }
    auto* reset =
        new TessaronOutlinedTextButton(uiText("Reset link"), TessaronOutlinedTextButton::secondary());
    connect(reset, &QAbstractButton::clicked, this, &TessaronOtherDevicesView::confirmReset);
    auto* remove =
        new TessaronOutlinedTextButton(uiText("Remove link"), TessaronOutlinedTextButton::secondary());
    remove->setTextColor(TessaronTheme::danger());
    connect(remove, &QAbstractButton::clicked, this, &TessaronOtherDevicesView::confirmRemove);
    layout->addWidget(reset);
    layout->addWidget(remove);
    rows_.append(row);
    return row;
}

void TessaronOtherDevicesView::setReduceMotion(bool reduceMotion) {
    reduceMotion_ = reduceMotion;
    refresh();
}

void TessaronOtherDevicesView::copyLink() {
    if (copied_ || !model_.subscriptionLocalURL())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(model_.subscriptionLocalURL()->toString(QUrl::FullyEncoded));
    copied_ = true;
    copiedReset_.start(copiedDuration, [this] {
        copied_ = false;
        refresh();
    });
    refresh();
}

void TessaronOtherDevicesView::confirmReset() {
    confirm(this,
            {.title = uiText("Reset link? Devices using the old link will stop working."),
             .destructiveButton = uiText("Reset link")},
            [model = QPointer(&model_)] {
                if (model)
                    model->replaceSubscriptionLink();
            });
}

void TessaronOtherDevicesView::confirmRemove() {
    confirm(this,
            {.title = uiText("Remove link? Windows and Android devices will disconnect."),
             .destructiveButton = uiText("Remove link")},
            [model = QPointer(&model_)] {
                if (model)
                    model->revokeSubscriptionLink();
            });
}

// A restore from a minimise (a spontaneous show) is no new appearance, and a minimise no disappearance:
// the status is not asked again and "Copied" keeps its time.
void TessaronOtherDevicesView::showEvent(QShowEvent* event) {
    TessaronSheetDialog::showEvent(event);
    if (event->spontaneous())
        return;
    focusKeeper().owe(mainAction());
    appearance_.start([model = QPointer(&model_)](CancellationToken token) -> QCoro::Task<> {
        if (model)
            return model->refreshSubscriptionLink(token);
        return []() -> QCoro::Task<> {
            co_return;
        }();
    });
}

void TessaronOtherDevicesView::hideEvent(QHideEvent* event) {
    TessaronSheetDialog::hideEvent(event);
    if (event->spontaneous())
        return;
    appearance_.cancel();
    copiedReset_.cancel();
    copied_ = false;
    refresh();
}

void TessaronOtherDevicesView::refresh() {
    const bool busy = model_.isSubscriptionBusy();
    const auto& url = model_.subscriptionLocalURL();
    QWidget* page = unavailablePage_;
    if (!model_.subscriptionUnavailable()) {
        switch (linkDisplay(model_.subscriptionStatus(), url)) {
        case LinkDisplay::noLink:
            page = noLinkPage_;
            break;
        case LinkDisplay::linkShown:
            page = linkShownPage_;
            break;
        case LinkDisplay::linkNotShown:
            page = linkNotShownPage_;
            break;
        }
    }
    for (QWidget* candidate : states_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        candidate->setVisible(candidate == page);

    const bool pageChanged = std::exchange(shownPage_, page) != page;

    // The main action about to turn off under the focus is owed it back, also in a window not yet active,
    // where Qt would move the focus on without a word. Turning back on hands it back.
    if (busy)
        focusKeeper().park(mainAction());
    create_->setEnabled(!busy);
    create_->setShowsSpinner(busy && !reduceMotion_);
    for (QWidget* row : rows_)
        row->setEnabled(!busy);

    // An empty value clears the picture: a link that is gone never lingers as a code.
    const QString text = page == linkShownPage_ ? url->toString(QUrl::FullyEncoded) : QString();
    qrCode_->setValue(text);
    url_->setLink(text);
    copy_->setText(copied_ ? uiText("Copied") : uiText("Copy link"));
    copy_->setObjectName(copied_ ? QString() : QStringLiteral("tessaron.otherDevices.copy"));

    const QStringList captions = linkCaptions(model_.subscriptionStatus(), clock_.now());
    created_->setVisible(captions.size() > 1);
    created_->setText(captions.size() > 1 ? captions.first() : QString());
    lastUsed_->setText(captions.last());

    const auto& error = model_.otherDevicesError();
    error_->setVisible(error.has_value());
    error_->setText(error ? QCoreApplication::translate("Tessaron", error->toUtf8().constData()) : QString());
    if (pageChanged)
        focusKeeper().owe(mainAction());
}

// The sheet opens, and moves on to a new page, with the focus on the page's first button (Create link, Copy
// link, Reset link), where a person's first Return is meant; Close stays a Tab away. A button off while the
// sheet works is owed the focus and takes it once it works, unless the person has moved it meanwhile.
QWidget* TessaronOtherDevicesView::mainAction() const {
    const auto buttons = shownPage_->findChildren<QAbstractButton*>();
    return buttons.isEmpty() ? nullptr : buttons.first();
}

TessaronOtherDevicesView::~TessaronOtherDevicesView() = default;

} // namespace tessaron
