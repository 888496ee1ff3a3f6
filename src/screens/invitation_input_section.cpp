#include "screens/invitation_input_section.hpp"
#include "widgets/string_table.hpp"

#include "screens/error_banner.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/spinner.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>

namespace tessaron {

namespace {

constexpr int cardPadding = 16;
constexpr int inputSpacing = 12;
constexpr int compactButtonPadding = 16;
// Around the field's text: its padding, its border and the line edit's own margin.
constexpr int fieldChrome = 2 * 12 + 2 * 1 + 2 * 2;

} // namespace

std::optional<QUrl> invitationURL(const TessaronAccessInput& input, const std::optional<QUrl>& pairingBase) {
    switch (input.kind()) {
    case TessaronAccessInput::Kind::invitationLink:
        return input.link();
    case TessaronAccessInput::Kind::invitationToken:
        return TessaronAccessInput::invitationConnectURL(input.token(), pairingBase);
    case TessaronAccessInput::Kind::invalid:
        break;
    }
    return std::nullopt;
}

TessaronInvitationInputSection::TessaronInvitationInputSection(TessaronSession& session,
                                                               std::optional<QUrl> pairingBase,
                                                               QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , pairingBase_(std::move(pairingBase)) {
    setObjectName(QStringLiteral("tessaron.invitationSection"));
    auto* heading = plainLabel(uiText("Invitation code"), TessaronTheme::buttonFont(),
                               TessaronTheme::textPrimary(), this);
    setAccessibleTraits(heading, {.heading = true});
    auto* hint = plainLabel(uiText("Paste the invitation link or code you received."),
                            TessaronTheme::captionFont(), TessaronTheme::textSecondary(), this);

    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("tessaron.accessKeyField"));
    field_->setPlaceholderText(uiText("Invitation link or code"));
    field_->setAccessibleName(uiText("Invitation link or code"));
    field_->setFont(TessaronTheme::font(TessaronTheme::bodySize, QFont::Normal, true));
    field_->setMinimumHeight(TessaronTheme::buttonHeight);
    fieldWidth_ = field_->fontMetrics().horizontalAdvance(field_->placeholderText()) + fieldChrome;
    field_->setStyleSheet(QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3;"
                                         " border-radius: 8px; padding: 0 12px; }")
                              .arg(TessaronTheme::surface().name(), TessaronTheme::textPrimary().name(),
                                   TessaronTheme::stroke().name()));

    button_ = new TessaronOutlinedButton(this);
    button_->setObjectName(QStringLiteral("tessaron.accessKeyButton"));
    button_->setText(uiText("Activate"));
    button_->setAccessibleName(uiText("Activate"));
    button_->setFont(TessaronTheme::buttonFont());
    button_->setMinimumHeight(TessaronTheme::buttonHeight);
    compactButtonWidth_ =
        button_->fontMetrics().horizontalAdvance(button_->text()) + 2 * compactButtonPadding;
    spinner_ = new TessaronSpinner(TessaronTheme::textPrimary(), button_);
    spinner_->setAccessibleName(uiText("Working"));
    spinner_->hide();

    error_ = plainLabel(uiText("Paste the invitation link or code you received."),
                        TessaronTheme::captionFont(), TessaronTheme::danger(), this);
    error_->setObjectName(QStringLiteral("tessaron.accessInputError"));
    error_->hide();

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    stack->setSpacing(12);
    stack->addWidget(heading);
    stack->addWidget(hint);
    inputs_ = new QBoxLayout(QBoxLayout::LeftToRight);
    inputs_->setSpacing(inputSpacing);
    inputs_->addWidget(field_, 1);
    inputs_->addWidget(button_);
    stack->addLayout(inputs_);
    arrange(false);
    stack->addWidget(error_);

    connect(field_, &QLineEdit::textEdited, this, [this] {
        setInvalid(false);
        refresh();
    });
    connect(field_, &QLineEdit::returnPressed, this, &TessaronInvitationInputSection::submitInvitationInput);
    connect(button_, &QAbstractButton::clicked, this, &TessaronInvitationInputSection::submitInvitationInput);
    refresh();
}

bool TessaronInvitationInputSection::isInvitationSubmitDisabled() const {
    return busy_ || TessaronAccessInput::parse(field_->text()).kind() == TessaronAccessInput::Kind::invalid;
}

void TessaronInvitationInputSection::submitInvitationInput() {
    const auto input = TessaronAccessInput::parse(field_->text());
    if (input.kind() == TessaronAccessInput::Kind::invalid) {
        setInvalid(true);
        return;
    }
    if (isInvitationSubmitDisabled())
        return;
    const auto url = invitationURL(input, pairingBase_);
    if (!url) {
        setInvalid(true);
        return;
    }
    openInvitation(*url);
}

QCoro::Task<> TessaronInvitationInputSection::openInvitation(QUrl url) {
    if (busy_)
        co_return;
    // A link the session would ignore while it handles another must not look like success.
    if (session_.linkInFlight()) {
        setBanner(InvitationBanner{uiText("Wait for the current change to finish."), true});
        co_return;
    }
    setBusy(true);
    setBanner(std::nullopt);
    session_.setLastError(std::nullopt);
    session_.setSuggestedNodeID(std::nullopt);
    QPointer self(this);
    auto* session = &session_;
    co_await session->openInvitationLink(url);
    if (!self)
        co_return;
    setBusy(false);
    if (const auto& error = session_.lastError()) {
        setBanner(InvitationBanner{*error, true});
        co_return;
    }
    field_->clear();
    setBanner(std::nullopt);
    Q_EMIT finished();
}

void TessaronInvitationInputSection::setBanner(std::optional<InvitationBanner> banner) {
    if (banner_ == banner)
        return;
    banner_ = std::move(banner);
    Q_EMIT bannerChanged(banner_);
}

void TessaronInvitationInputSection::setInvalid(bool invalid) {
    error_->setVisible(invalid);
}

void TessaronInvitationInputSection::setBusy(bool busy) {
    busy_ = busy;
    refresh();
}

void TessaronInvitationInputSection::refresh() {
    field_->setEnabled(!busy_);
    button_->setEnabled(!isInvitationSubmitDisabled());
    button_->setText(busy_ ? QString() : uiText("Activate"));
    spinner_->setVisible(busy_);
    spinner_->setAnimates(busy_);
    spinner_->move((button_->width() - spinner_->width()) / 2, (button_->height() - spinner_->height()) / 2);
}

void TessaronInvitationInputSection::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int row = fieldWidth_ + inputSpacing + compactButtonWidth_;
    arrange(row > event->size().width() - 2 * cardPadding);
    refresh();
}

void TessaronInvitationInputSection::arrange(bool stacked) {
    if (stacked_ == stacked)
        return;
    stacked_ = stacked;
    inputs_->setDirection(stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    // A row is chosen only where the field has room for its placeholder; stacked, the field asks for it.
    field_->setMinimumWidth(stacked ? fieldWidth_ : 0);
    button_->setMinimumWidth(stacked ? 0 : compactButtonWidth_);
    button_->setSizePolicy(stacked ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TessaronInvitationInputSection::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(TessaronTheme::surface());
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
}

} // namespace tessaron
