#include "screens/menu_bar_content.hpp"
#include "widgets/string_table.hpp"

#include "screens/home_account.hpp"
#include "screens/home_scroll_bar.hpp"
#include "screens/node_list.hpp"
#include "screens/node_status_pill.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/sheet_dialog.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tessaron {

namespace {

QPushButton* plainButton(const QString& text, const QString& name, const QColor& color, qreal size,
                         QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(TessaronTheme::font(size));
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; padding: 2px 0; text-align: left; }")
            .arg(color.name()));
    return button;
}

} // namespace

QString phaseTitle(TessaronLinkPhase phase) {
    switch (phase) {
    case TessaronLinkPhase::disconnected:
        return uiText("Disconnected");
    case TessaronLinkPhase::connecting:
        return uiText("Connecting");
    case TessaronLinkPhase::checking:
        return uiText("Checking");
    case TessaronLinkPhase::connected:
        return uiText("Connected");
    case TessaronLinkPhase::checkFailed:
        return uiText("Connection check failed");
    case TessaronLinkPhase::disconnecting:
        return uiText("Disconnecting");
    }
    return {};
}

QColor phaseColor(TessaronLinkPhase phase) {
    switch (phase) {
    case TessaronLinkPhase::disconnected:
        return TessaronTheme::textSecondary();
    case TessaronLinkPhase::connected:
        return TessaronTheme::success();
    case TessaronLinkPhase::checkFailed:
        return TessaronTheme::danger();
    case TessaronLinkPhase::connecting:
    case TessaronLinkPhase::checking:
    case TessaronLinkPhase::disconnecting:
        break;
    }
    return TessaronTheme::warning();
}

QString trayToolTip(TessaronLinkPhase phase, const std::optional<QString>& selectedName) {
    if (phase == TessaronLinkPhase::connected && selectedName)
        return phaseTitle(phase) + QStringLiteral(" \u2013 ") + *selectedName;
    return phaseTitle(phase);
}

MenuBarPrimary menuBarPrimary(TessaronPrimaryIntent intent, bool primaryActionEnabled) {
    switch (intent) {
    case TessaronPrimaryIntent::connect:
        // Always: a tap while a connect is still starting is refused by the session, which says so.
        return {std::nullopt, true};
    case TessaronPrimaryIntent::stop:
        return {std::nullopt, primaryActionEnabled};
    case TessaronPrimaryIntent::reviewPrivacy:
        return {TessaronSheet::privacy, true};
    case TessaronPrimaryIntent::importInvitation:
        return {TessaronSheet::importInvitation, true};
    case TessaronPrimaryIntent::signIn:
        return {TessaronSheet::signIn, true};
    }
    return {};
}

MenuBarContentView::MenuBarContentView(TessaronSession& session, TessaronHomeAccount& account,
                                       PowerState& power, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , header_(new QWidget(this))
    , dot_(new QWidget(header_))
    , title_(new TessaronFittedLabel(1, 0.7, header_))
    , pill_(new NodeStatusPill(NodeStatusPill::Size::regular, header_))
    , list_(new TessaronSheetScrollArea(this))
    , nodes_(new TessaronNodeList(session, power, list_))
    , primary_(new TessaronPrimaryButton(this))
    , checkAgain_(plainButton(uiText("Check again"), QStringLiteral("tessaron.menuBar.checkAgain"),
                              TessaronTheme::textPrimary(), TessaronTheme::subheadlineSize, this)) {
    setObjectName(QStringLiteral("tessaron.menuBar"));
    TessaronAppearanceHost::apply(*this);
    setFixedWidth(panelWidth);

    dot_->setObjectName(QStringLiteral("tessaron.menuBar.dot"));
    dot_->setFixedSize(8, 8);
    title_->setObjectName(QStringLiteral("tessaron.menuBar.title"));
    title_->setFont(TessaronTheme::font(TessaronTheme::title3Size, QFont::DemiBold));
    // The pill keeps its size; the title takes what is left on its one line, shrinking, then cut.
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    title_->setMinimumWidth(60);
    // One element, read as the title and the pill's words; the dot only repeats the title's colour.
    header_->setObjectName(QStringLiteral("tessaron.menuBar.header"));
    setAccessibleTraits(header_, {.combined = true});
    setAccessibleTraits(dot_, {.invisible = true});
    auto* header = new QHBoxLayout(header_);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(10);
    header->addWidget(dot_);
    header->addWidget(title_, 1);
    header->addSpacing(12);
    header->addWidget(pill_);

    // The list scrolls where the screen cannot hold the whole panel; the header and the buttons stay.
    list_->setObjectName(QStringLiteral("tessaron.menuBar.nodes"));
    list_->setAccessibleName(uiText("Nodes"));
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->verticalScrollBar()->setStyle(&TessaronThinScrollBarStyle::shared());
    list_->viewport()->setBackgroundRole(QPalette::Window);
    // A scroll area gives its content no more than the least it takes: the rows keep their full height.
    nodes_->setSizePolicy(nodes_->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    list_->setWidget(nodes_);
    list_->setVisible(!nodes_->isHidden());
    nodes_->installEventFilter(this);

    primary_->setObjectName(QStringLiteral("tessaron.menuBar.primary"));
    auto* note = plainLabel(uiText("Quitting does not disconnect the tunnel."), this);
    note->setFont(TessaronTheme::captionFont());
    note->setStyleSheet(QStringLiteral("color: %1").arg(TessaronTheme::textSecondary().name()));
    auto* open = plainButton(uiText("Open Tessaron"), QStringLiteral("tessaron.menuBar.open"),
                             TessaronTheme::textSecondary(), TessaronTheme::captionSize, this);
    auto* quit = plainButton(uiText("Quit Tessaron"), QStringLiteral("tessaron.menuBar.quit"),
                             TessaronTheme::textSecondary(), TessaronTheme::captionSize, this);
    auto* footer = new QHBoxLayout;
    footer->addWidget(open);
    footer->addStretch(1);
    footer->addWidget(quit);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addWidget(header_);
    column->addWidget(list_);
    column->addWidget(primary_);
    column->addWidget(checkAgain_);
    column->addWidget(note);
    column->addLayout(footer);

    connect(primary_, &QAbstractButton::clicked, this, &MenuBarContentView::primaryTapped);
    connect(checkAgain_, &QAbstractButton::clicked, &session_, &TessaronSession::recheckConnection);
    connect(open, &QAbstractButton::clicked, this, &MenuBarContentView::openMainWindowRequested);
    connect(quit, &QAbstractButton::clicked, this, &MenuBarContentView::quitRequested);
    const auto follow = [this] {
        refresh();
    };
    connect(&session_, &TessaronSession::phaseChanged, this, follow);
    connect(&session_, &TessaronSession::selectedIDChanged, this, follow);
    connect(&session_, &TessaronSession::isActingChanged, this, follow);
    connect(&session_, &TessaronSession::isConnectRunningChanged, this, follow);
    connect(&session_, &TessaronSession::consentGrantedChanged, this, follow);
    connect(&session_, &TessaronSession::summariesChanged, this, follow);
    connect(&session_, &TessaronSession::latenciesChanged, this, follow);
    connect(&session_, &TessaronSession::nodeHealthChanged, this, follow);
    connect(&session_, &TessaronSession::tunnelBlockedChanged, this, follow);
    connect(&account, &TessaronHomeAccount::changed, this, follow);
    refresh();
}

void MenuBarContentView::refresh() {
    const auto phase = session_.phase();
    dot_->setStyleSheet(QStringLiteral("background: %1; border-radius: 4px;").arg(phaseColor(phase).name()));
    const QString title = phaseTitle(phase);
    title_->setText(title);
    title_->setAccessibleName(title);
    const auto& selected = session_.selectedID();
    pill_->setStatus(selected ? std::optional(session_.linkStatus(*selected)) : std::nullopt);
    const QString pillWords = pill_->accessibleName();
    header_->setAccessibleName(pillWords.isEmpty() ? title_->text()
                                                   : QStringLiteral("%1, %2").arg(title_->text(), pillWords));
    primary_->setText(uiText(session_.primaryTitle().toUtf8().constData()));
    primary_->setEnabled(menuBarPrimary(session_.primaryIntent(), session_.isPrimaryActionEnabled()).enabled);
    checkAgain_->setVisible(phase == TessaronLinkPhase::checkFailed);
}

void MenuBarContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    session_.bootstrap();
}

bool MenuBarContentView::eventFilter(QObject* watched, QEvent* event) {
    // The list hides itself while there are no nodes: its scroll area goes with it, and its spacing.
    if (watched == nodes_ && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        list_->setVisible(event->type() == QEvent::ShowToParent);
    return QWidget::eventFilter(watched, event);
}

void MenuBarContentView::primaryTapped() {
    const auto intent = session_.primaryIntent();
    const auto primary = menuBarPrimary(intent, session_.isPrimaryActionEnabled());
    if (!primary.enabled)
        return;
    if (primary.sheet) {
        session_.setActiveSheet(primary.sheet);
        Q_EMIT openMainWindowRequested();
    } else if (intent == TessaronPrimaryIntent::connect) {
        session_.connect();
    } else {
        session_.userStopTapped();
    }
}

} // namespace tessaron
