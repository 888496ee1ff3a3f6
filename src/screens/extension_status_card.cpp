#include "screens/extension_status_card.hpp"
#include "widgets/string_table.hpp"

#include "session/system_extension_activating.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/spinner.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaron {

namespace {

// Prominent buttons are filled white; bordered ones outlined; plain ones text alone.
enum class Look { prominent, bordered, plain };

QPushButton* styledButton(const QString& title, Look look, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(TessaronTheme::font(TessaronTheme::bodySize, QFont::Medium));
    const QString secondary = TessaronTheme::textSecondary().name();
    const QString stroke = TessaronTheme::stroke().name();
    switch (look) {
    case Look::prominent:
        button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none;"
                                             " border-radius: 6px; padding: 5px 12px; }"
                                             "QPushButton:pressed { background: %3; }")
                                  .arg(TessaronTheme::buttonFill().name(), TessaronTheme::buttonText().name(),
                                       TessaronTheme::textSecondary().name()));
        break;
    case Look::bordered:
        button->setStyleSheet(
            QStringLiteral("QPushButton { background: transparent; color: %1;"
                           " border: 1px solid %2; border-radius: 6px; padding: 5px 12px; }")
                .arg(TessaronTheme::textPrimary().name(), stroke));
        break;
    case Look::plain:
        button->setStyleSheet(
            QStringLiteral(
                "QPushButton { background: transparent; color: %1; border: none; padding: 5px 0; }")
                .arg(secondary));
        break;
    }
    return button;
}

} // namespace

std::optional<ExtensionCardContent>
extensionCardContent(const std::optional<TessaronExtensionApproval>& approval,
                     const std::optional<TessaronExtensionNotice>& notice) {
    using Action = ExtensionCardContent::Action;
    if (approval) {
        switch (*approval) {
        case TessaronExtensionApproval::waiting:
            return ExtensionCardContent{uiText("Turn on Tessaron in System Settings"),
                                        uiText("General \u2192 Login Items & Extensions \u2192 Network "
                                               "Extensions. We connect as soon as it is on."),
                                        true,
                                        {Action::openSettings, Action::cancel}};
        case TessaronExtensionApproval::retry:
            return ExtensionCardContent{
                uiText("Tessaron is still waiting"),
                uiText("Tessaron's network extension didn't start. Try Connect again."),
                false,
                {Action::cancel}};
        case TessaronExtensionApproval::needsReboot:
            return ExtensionCardContent{
                uiText("Restart your Mac to finish enabling Tessaron"), QString(), false, {Action::dismiss}};
        }
    }
    if (!notice)
        return std::nullopt;
    if (*notice == TessaronExtensionNotice::notInApplications)
        return ExtensionCardContent{uiText("Move Tessaron to Applications"),
                                    uiText("Tessaron runs from the Applications folder."),
                                    false,
                                    {Action::moveToApplications, Action::quit}};
    return ExtensionCardContent{
        uiText("Move Tessaron to Applications"),
        uiText("Tessaron only runs from the Applications folder. Drag it there, then open it again."),
        false,
        {Action::quit}};
}

TessaronExtensionStatusCard::TessaronExtensionStatusCard(TessaronSession& session,
                                                         TessaronSystemExtensionActivating& activator,
                                                         QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , activator_(activator) {
    setObjectName(QStringLiteral("tessaron.extensionCard"));
    title_ = plainLabel({}, TessaronTheme::font(TessaronTheme::subheadlineSize, QFont::DemiBold),
                        TessaronTheme::textPrimary(), this);
    title_->setObjectName(QStringLiteral("tessaron.extensionCard.title"));
    explanation_ = plainLabel({}, TessaronTheme::font(TessaronTheme::footnoteSize),
                              TessaronTheme::textSecondary(), this);
    spinner_ = new TessaronSpinner(TessaronTheme::textSecondary(), this);
    spinner_->setObjectName(QStringLiteral("tessaron.extensionCard.spinner"));
    setAccessibleTraits(spinner_, {.invisible = true});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(title_);
    layout->addWidget(explanation_);
    layout->addWidget(spinner_);
    buttons_ = new QHBoxLayout();
    buttons_->setSpacing(16);
    layout->addLayout(buttons_);

    const auto follow = [this] {
        refresh();
    };
    connect(&session_, &TessaronSession::extensionApprovalChanged, this, follow);
    connect(&session_, &TessaronSession::extensionNoticeChanged, this, follow);
    refresh();
}

void TessaronExtensionStatusCard::setAnimates(bool animates) {
    animates_ = animates;
    spinner_->setAnimates(animates && !spinner_->isHidden());
}

void TessaronExtensionStatusCard::refresh() {
    const auto content = extensionCardContent(session_.extensionApproval(), session_.extensionNotice());
    setVisible(content.has_value());
    while (auto* item = buttons_->takeAt(0)) {
        if (auto* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    if (!content) {
        spinner_->setAnimates(false);
        return;
    }
    title_->setText(content->title);
    explanation_->setText(content->explanation);
    explanation_->setVisible(!content->explanation.isEmpty());
    spinner_->setVisible(content->spinner);
    spinner_->setAnimates(content->spinner && animates_);
    const bool waiting = session_.extensionApproval() == TessaronExtensionApproval::waiting;
    for (const auto action : content->actions)
        buttons_->addWidget(makeButton(action, waiting));
    buttons_->addStretch(1);
}

QWidget* TessaronExtensionStatusCard::makeButton(ExtensionCardContent::Action action, bool waiting) {
    using Action = ExtensionCardContent::Action;
    QPushButton* button = nullptr;
    // Cancel and dismiss clear the card at once, and end an activation that still waits for the user.
    const auto cancel = [this] {
        session_.dismissExtensionPrompt();
    };
    switch (action) {
    case Action::openSettings:
        button = styledButton(uiText("Open System Settings"), Look::prominent, this);
        button->setObjectName(QStringLiteral("tessaron.openExtensionSettings"));
        connect(button, &QPushButton::clicked, this, [this] { activator_.openExtensionSettings(); });
        break;
    case Action::cancel:
        button = styledButton(uiText("Cancel"), Look::plain, this);
        if (waiting)
            button->setObjectName(QStringLiteral("tessaron.cancelExtensionApproval"));
        connect(button, &QPushButton::clicked, this, cancel);
        break;
    case Action::dismiss:
        button = styledButton(uiText("Dismiss"), Look::plain, this);
        connect(button, &QPushButton::clicked, this, cancel);
        break;
    case Action::moveToApplications:
        button = styledButton(uiText("Move to Applications"), Look::prominent, this);
        button->setObjectName(QStringLiteral("tessaron.moveToApplications"));
        connect(button, &QPushButton::clicked, this, [this] { session_.revealAppInFinder(); });
        break;
    case Action::quit:
        button = styledButton(uiText("Quit"), Look::bordered, this);
        connect(button, &QPushButton::clicked, qApp, &QCoreApplication::quit);
        break;
    }
    return button;
}

void TessaronExtensionStatusCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(TessaronTheme::stroke(), 1));
    painter.setBrush(TessaronTheme::surface());
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

} // namespace tessaron
