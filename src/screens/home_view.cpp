#include "screens/home_view.hpp"

#include "platform/power_state.hpp"
#include "screens/connection_hero.hpp"
#include "screens/error_banner.hpp"
#include "screens/extension_status_card.hpp"
#include "screens/home_account.hpp"
#include "screens/home_scroll_bar.hpp"
#include "screens/node_list.hpp"
#include "screens/update_card.hpp"
#include "screens/visual_state.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/focus_keeper.hpp"
#include "widgets/motion.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <functional>
#include <utility>

namespace tessaron {

namespace {

QString text(const char* key, const char* comment = nullptr) {
    return QCoreApplication::translate("Tessaron", key, comment);
}

void paintBlack(QWidget* widget) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    palette.setColor(QPalette::Base, TessaronTheme::background());
    widget->setPalette(palette);
}

// Scrolls a control into view only when a person moves the focus to it. The focus a control hands on as it
// turns disabled (the primary button while it works) lands without moving the page.
class HomeScrollArea final : public QScrollArea {
public:
    HomeScrollArea(QWidget* parent, std::function<void()> personMoves)
        : QScrollArea(parent)
        , personMoves_(std::move(personMoves)) {
        connect(verticalScrollBar(), &QScrollBar::sliderPressed, this, [this] { personMoves_(); });
        // Tab goes from control to control, and the column follows it; Page Up and Down that a control leaves
        // unused still reach the column. It holds the focus only for a working button (the focus keeper's),
        // and readers then name it after the window.
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(QStringLiteral("Tessaron"));
    }

protected:
    bool focusNextPrevChild(bool next) override {
        if (const QWidget* leaving = window()->focusWidget(); leaving && !leaving->isEnabled())
            return QWidget::focusNextPrevChild(next);
        personMoves_();
        return QScrollArea::focusNextPrevChild(next);
    }
    void wheelEvent(QWheelEvent* event) override {
        personMoves_();
        QScrollArea::wheelEvent(event);
    }

private:
    std::function<void()> personMoves_;
};

// Tells whether the person has acted in the application since the watch began: a key, a click or the wheel.
// What the application does by itself (a window shown, the focus it sets, a message) is no act; nor is a
// focus change, which Qt also reports for the Tab reason when a window shows and gives its first control
// the focus.
class FirstPersonAct final : public QObject {
public:
    explicit FirstPersonAct(QObject* parent)
        : QObject(parent) {
        qApp->installEventFilter(this);
    }
    ~FirstPersonAct() override { qApp->removeEventFilter(this); }

    bool happened() const { return happened_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (isAct(*event)) {
            happened_ = true;
            qApp->removeEventFilter(this);
        }
        return false;
    }

private:
    static bool isAct(const QEvent& event) {
        switch (event.type()) {
        // A key comes first as a shortcut override: the press itself may be taken by a filter before this
        // one (Return pressing the focused button).
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }

    bool happened_ = false;
};

} // namespace

bool animationsAllowed(bool reduceMotion, ScenePhase scene, bool lowPower) {
    return !reduceMotion && scene == ScenePhase::active && !lowPower;
}

TessaronNudgeState nudgeState(bool signedIn, bool hasSavedConnections, bool primaryEnabled) {
    const bool nudge = signedIn && hasSavedConnections;
    return {nudge && primaryEnabled, nudge};
}

bool primaryBusy(const std::optional<TessaronExtensionApproval>& approval, TessaronLinkPhase phase,
                 bool isActing) {
    if (approval == TessaronExtensionApproval::waiting)
        return false;
    return phase == TessaronLinkPhase::connecting || phase == TessaronLinkPhase::checking ||
           phase == TessaronLinkPhase::disconnecting || isActing;
}

QString primaryHint(TessaronPrimaryIntent intent) {
    switch (intent) {
    case TessaronPrimaryIntent::connect:
        return text("Installs the Tessaron VPN if needed and starts it.");
    case TessaronPrimaryIntent::stop:
        return text("Stops the Tessaron tunnel.");
    case TessaronPrimaryIntent::reviewPrivacy:
        return text("Shows what Tessaron stores and the one Apple reachability check.");
    case TessaronPrimaryIntent::importInvitation:
        return text("Opens the invitation sheet to add a connection.");
    case TessaronPrimaryIntent::signIn:
        return text("Opens the sign-in sheet. Any sign-in method works.");
    }
    return {};
}

AccountArea accountArea(bool signedIn, bool hasAccount, TessaronLinkPhase phase, bool hasSelectedSummary) {
    if (signedIn)
        return hasAccount ? AccountArea::email : AccountArea::nothing;
    if (phase == TessaronLinkPhase::disconnected && !hasSelectedSummary)
        return AccountArea::signInPrompt;
    return AccountArea::nothing;
}

void performPrimaryAction(TessaronSession& session) {
    const auto openSheet = [&session](TessaronSheet sheet) {
        const auto previous = session.activeSheet();
        session.setActiveSheet(sheet);
        session.activeSheetDidChange(previous);
    };
    switch (session.primaryIntent()) {
    case TessaronPrimaryIntent::connect:
        // Not kept: a second tap goes through the intent again, and the session refuses a second connect.
        session.connect();
        break;
    case TessaronPrimaryIntent::stop:
        session.userStopTapped();
        break;
    case TessaronPrimaryIntent::reviewPrivacy:
        openSheet(TessaronSheet::privacy);
        break;
    case TessaronPrimaryIntent::importInvitation:
        if (session.linkInFlight())
            session.setLastError(text("Wait for the current change to finish."));
        else
            session.requestInvitationImport();
        break;
    case TessaronPrimaryIntent::signIn:
        openSheet(TessaronSheet::signIn);
        break;
    }
}

TessaronHomeView::TessaronHomeView(TessaronHomeServices services, QWidget* parent)
    : QWidget(parent)
    , services_(services) {
    setObjectName(QStringLiteral("tessaron.home"));
    paintBlack(this);

    auto* scroll = new HomeScrollArea(this, [this] { revealBanner_ = false; });
    scroll_ = scroll;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    paintBlack(scroll);
    paintBlack(scroll->viewport());
    scroll->verticalScrollBar()->setStyle(&TessaronThinScrollBarStyle::shared());
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    auto* content = new QWidget();
    paintBlack(content);
    scroll->setWidget(content);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(TessaronTheme::spacingLarge);
    hero_ = new ConnectionHero(content);
    stack->addWidget(hero_);

    auto* column = new QWidget(content);
    column->setMaximumWidth(TessaronTheme::contentMaxWidth);
    auto* items = new QVBoxLayout(column);
    items->setContentsMargins(20, 0, 20, 20);
    items->setSpacing(TessaronTheme::spacingExtraLarge);
    auto* centring = new QHBoxLayout();
    centring->addStretch(0);
    centring->addWidget(column, 1);
    centring->addStretch(0);
    stack->addLayout(centring);
    stack->addStretch(1);

    updateSlot_ = new QVBoxLayout();
    updateSlot_->setContentsMargins(0, 0, 0, 0);
    items->addLayout(updateSlot_);
    updateSlot_->addWidget(new TessaronUpdateCard(column));

    // Two lines at most, broken inside the address where it must: a long address never widens the page.
    email_ = new TessaronFittedLabel(2, 1, column);
    email_->setTipWhenCut(true);
    email_->setFont(TessaronTheme::font(TessaronTheme::subheadlineSize));
    QPalette emailPalette = email_->palette();
    emailPalette.setColor(QPalette::WindowText, TessaronTheme::textPrimary());
    email_->setPalette(emailPalette);
    email_->setObjectName(QStringLiteral("tessaron.accountEmail"));
    emailReveal_ =
        new TessaronReveal(email_, [email = email_] { return 2 * email->fontMetrics().lineSpacing() + 2; });
    signInPrompt_ =
        plainLabel({}, TessaronTheme::font(TessaronTheme::bodySize), TessaronTheme::textSecondary(), column);
    signInPrompt_->setObjectName(QStringLiteral("tessaron.signInPrompt"));
    signInPrompt_->setText(text("Sign in to use Tessaron. Any sign-in method works."));
    items->addWidget(email_);
    items->addWidget(signInPrompt_);

    card_ = new TessaronExtensionStatusCard(services_.session, services_.activator, column);
    items->addWidget(card_);

    primary_ = new TessaronPrimaryButton(column);
    primary_->setObjectName(QStringLiteral("tessaron.connectButton"));
    primaryTitleFade_ = new TessaronCrossfade(primary_);
    primary_->installEventFilter(this);
    items->addWidget(primary_);
    connect(primary_, &QAbstractButton::clicked, this, [this] { performPrimaryAction(services_.session); });

    nodeList_ = new TessaronNodeList(services_.session, services_.sharedPower, column);
    items->addWidget(nodeList_);
    banner_ = new TessaronInlineErrorBanner(services_.session, column);
    items->addWidget(banner_);
    // The banner is the column's last item: once nodes are listed a new message lands below the window's
    // edge, so the page brings it into view as it settles, unless the person is moving the page.
    banner_->installEventFilter(this);
    connect(scroll->verticalScrollBar(), &QScrollBar::rangeChanged, this, &TessaronHomeView::revealBanner);
    // A start opens at the top: until the person first acts, a message (the link that dropped while the
    // application was closed, the service away) waits below, announced to readers as an alert.
    auto* firstAct = new FirstPersonAct(this);
    connect(&services_.session, &TessaronSession::lastErrorChanged, this,
            [this, firstAct](const std::optional<QString>& message) {
                revealBanner_ =
                    message && firstAct->happened() && !scroll_->verticalScrollBar()->isSliderDown();
                QMetaObject::invokeMethod(this, &TessaronHomeView::revealBanner, Qt::QueuedConnection);
            });
    primaryNudge_ = new TessaronNudgeBorder(primary_, 8, 2, 0);

    primaryFocus_ = std::make_unique<TessaronFocusKeeper>(*scroll_);
    // A message that goes (the next try clears it, a dismiss) gives the focus it was lent back to the primary
    // button, in sight, rather than leaving it on the column where Return does nothing.
    connect(banner_, &TessaronInlineErrorBanner::wentWithTheFocus, this, [this] {
        primaryFocus_->owe(primary_);
        scroll_->ensureWidgetVisible(primary_);
    });

    const auto follow = [this] {
        refresh();
    };
    auto& session = services_.session;
    connect(&session, &TessaronSession::phaseChanged, this, follow);
    connect(&session, &TessaronSession::selectedIDChanged, this, follow);
    connect(&session, &TessaronSession::summariesChanged, this, follow);
    connect(&session, &TessaronSession::clientGeoChanged, this, follow);
    connect(&session, &TessaronSession::nodeGeoChanged, this, follow);
    connect(&session, &TessaronSession::latenciesChanged, this, follow);
    connect(&session, &TessaronSession::nodeHealthChanged, this, follow);
    connect(&session, &TessaronSession::extensionApprovalChanged, this, follow);
    connect(&session, &TessaronSession::isActingChanged, this, follow);
    connect(&session, &TessaronSession::consentGrantedChanged, this, follow);
    connect(&session, &TessaronSession::tunnelBlockedChanged, this, follow);
    connect(&services_.account, &TessaronHomeAccount::changed, this, follow);
    connect(&services_.power, &PowerState::lowPowerChanged, this, follow);
    refresh();
    // The window's focus starts on the primary button, where a person's first Return or Space is meant: a
    // window given back its focus by a closing sheet would otherwise hand it to the page. A button still
    // working takes it once it works.
    primaryFocus_->owe(primary_);
}

TessaronHomeView::~TessaronHomeView() = default;

void TessaronHomeView::setScenePhase(ScenePhase phase) {
    scenePhase_ = phase;
    applyScenePhase();
    refresh();
}

// While the button works the focus waits on the column, not on the row Qt would hand it to, and comes back
// when the button works again: a person's next Return or Space presses the button, not a node.
void TessaronHomeView::keepPrimaryFocus(bool enabled) {
    if (!enabled)
        primaryFocus_->park(primary_);
    primary_->setEnabled(enabled);
}

void TessaronHomeView::setReduceMotion(bool reduceMotion) {
    reduceMotion_ = reduceMotion;
    refresh();
}

void TessaronHomeView::applyScenePhase() {
    services_.session.setSceneIsActive(scenePhase_ == ScenePhase::active);
}

void TessaronHomeView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    applyScenePhase();
    // A window coming back from the dock or another desktop shows again spontaneously: that is no new
    // appearance, and the account refresh runs once per appearance. The refresh ends with the view.
    if (event->spontaneous())
        return;
    appearanceRefresh_.start([account = QPointer(&services_.account), session = QPointer(&services_.session)](
                                 CancellationToken token) -> QCoro::Task<> {
        if (account && session)
            return account->refresh(session.data(), token);
        return []() -> QCoro::Task<> {
            co_return;
        }();
    });
}

bool TessaronHomeView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == banner_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        revealBanner();
    if (watched == primary_ && event->type() == QEvent::Paint) {
        primaryDrawn_ = true;
        primary_->removeEventFilter(this);
    }
    return QWidget::eventFilter(watched, event);
}

void TessaronHomeView::revealBanner() {
    if (!revealBanner_ || !banner_->isVisible())
        return;
    scroll_->ensureWidgetVisible(banner_, 0, TessaronTheme::spacingLarge);
    keepFocusInSight();
}

// Bringing the message into view may scroll the focused control (often the button that just failed, above
// the message) out of sight, where a Return would press what nobody sees. The page scrolls no more than the
// message needs, so the two rarely both fit: the focus moves to the message's first action, beside it.
void TessaronHomeView::keepFocusInSight() {
    QWidget* focus = window()->focusWidget();
    // The focus waiting on the column for the working button is the button's: it would come back out of
    // sight.
    if (focus == scroll_ && primaryFocus_->owed())
        focus = primaryFocus_->owed();
    const QWidget* content = scroll_->widget();
    if (!focus || !content->isAncestorOf(focus) || !focus->isVisible())
        return;
    const QWidget* viewport = scroll_->viewport();
    if (viewport->rect().contains(QRect(focus->mapTo(viewport, QPoint()), focus->size())))
        return;
    if (QWidget* action = banner_->firstAction())
        primaryFocus_->owe(action);
}

void TessaronHomeView::refresh() {
    auto& session = services_.session;
    auto& account = services_.account;
    const auto visual = visualState(session.phase());
    const bool animates = animationsAllowed(reduceMotion_, scenePhase_, services_.power.lowPower());

    hero_->setAnimatesOverride(animates);
    hero_->setState(visual);
    hero_->setNodeStatus(session.selectedID() ? std::optional(session.linkStatus(*session.selectedID()))
                                              : std::nullopt);
    const auto selected = session.selectedSummary();
    hero_->setGeography(TessaronHeroGeo::make(session.clientGeo(), session.selectedNodeGeo(),
                                              selected ? std::optional(selected->name) : std::nullopt,
                                              visual));
    setAccessibleTraits(hero_, {.animated = isBusy(visual)});

    const auto email = account.accountEmail();
    const auto area =
        accountArea(account.isSignedIn(), email.has_value(), session.phase(), selected.has_value());
    // The column follows the account line on a spring as it moves in or out.
    if (email)
        email_->setText(*email);
    emailReveal_->setShown(area == AccountArea::email, animates);
    signInPrompt_->setVisible(area == AccountArea::signInPrompt);

    card_->setAnimates(animates);

    const bool busy = primaryBusy(session.extensionApproval(), session.phase(), session.isActing());
    const QString primaryTitle = text(session.primaryTitle().toUtf8().constData());
    if (primaryTitle != primary_->text() && primary_->isVisible() && primaryDrawn_)
        primaryTitleFade_->start(primary_->grab(), animates);
    else if (!animates)
        primaryTitleFade_->finish();
    primary_->setText(primaryTitle);
    primary_->setShowsSpinner(busy && !reduceMotion_);
    primary_->setAnimates(animates);
    keepPrimaryFocus(session.isPrimaryActionEnabled());
    primary_->setAccessibleName(primary_->text());
    primary_->setAccessibleDescription(primaryHint(session.primaryIntent()));
    setAccessibleValue(primary_, title(session.phase()));
    setAccessibleTraits(primary_, {.animated = busy});

    const auto nudge =
        nudgeState(account.isSignedIn(), !session.summaries().isEmpty(), session.isPrimaryActionEnabled());
    primaryNudge_->setActive(nudge.connect);
    primaryNudge_->setAnimates(animates);
    nodeList_->setNudge(nudge, animates);
    nodeList_->setMotionEnvironment(reduceMotion_, scenePhase_ == ScenePhase::active);
    banner_->refresh();
}

} // namespace tessaron
