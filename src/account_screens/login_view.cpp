#include "account_screens/login_view.hpp"
#include "widgets/string_table.hpp"

#include "account_screens/account_buttons.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/code_field.hpp"
#include "account_screens/link_text.hpp"
#include "account_screens/sheet_frame.hpp"
#include "platform/reduce_motion_observer.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace std::chrono_literals;

namespace tessaron {
namespace {

constexpr auto countdownTick = 1s;
constexpr auto automaticCloseDelay = 1200ms;

QColor muted() {
    return TessaronTheme::textSecondary();
}
QFont body() {
    return TessaronTheme::font(TessaronTheme::bodySize);
}
QFont subheadline() {
    return TessaronTheme::font(TessaronTheme::subheadlineSize);
}

QString normalizedEmail(const QString& email) {
    return email.trimmed().toLower();
}

// A line field with a rounded one-point outline in the sign-in sheet's field colour.
QLineEdit* outlinedField(const QString& placeholder) {
    auto* field = new QLineEdit;
    field->setPlaceholderText(placeholder);
    field->setFont(body());
    field->setFixedHeight(36);
    field->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: white; padding: 0 12px;"
                                        " border: 1px solid rgba(255, 255, 255, 46); border-radius: 8px; }"));
    return field;
}

QPushButton* plainButton(const QString& text, const QColor& color) {
    QPushButton* button = flatTextButton(text, color);
    button->setFont(subheadline());
    return button;
}

// "or" between two separator lines.
class OrDivider final : public QWidget {
public:
    OrDivider() {
        setFixedHeight(20);
        setAccessibleTraits(this, {.invisible = true});
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFont font = TessaronTheme::font(12);
        const QString text = uiText("or");
        const int textWidth = QFontMetrics(font).horizontalAdvance(text);
        const int middle = height() / 2;
        const int gap = 12;
        const int left = (width() - textWidth) / 2;
        const QColor line = withOpacity(Qt::white, 0.15);
        painter.fillRect(0, middle, left - gap, 1, line);
        painter.fillRect(left + textWidth + gap, middle, width() - left - textWidth - gap, 1, line);
        painter.setFont(font);
        painter.setPen(muted());
        painter.drawText(rect(), Qt::AlignCenter, text);
    }
};

// The success mark of the done step.
class CheckMark final : public QWidget {
public:
    CheckMark() {
        setFixedSize(40, 40);
        setAccessibleTraits(this, {.invisible = true});
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(TessaronTheme::success());
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRectF(2, 2, 36, 36));
        QPainterPath tick;
        tick.moveTo(12, 20.5);
        tick.lineTo(17.5, 26);
        tick.lineTo(28, 14.5);
        painter.setPen(QPen(Qt::black, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
};

QVBoxLayout* stepColumn(QWidget* page, int spacing) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->setAlignment(Qt::AlignTop);
    return layout;
}

} // namespace

QList<TessaronOAuthProvider> offeredProviders(const std::optional<TessaronProviders>& providers) {
    QList<TessaronOAuthProvider> offered;
    if (providers && providers->google)
        offered.append(TessaronOAuthProvider::google);
    if (providers && providers->whop)
        offered.append(TessaronOAuthProvider::whop);
    return offered;
}

TessaronLoginView::TessaronLoginView(AccountScreenModel& model, TessaronSession* session, Clock& clock,
                                     const ReduceMotionObserver* reduceMotion, QWidget* parent)
    : TessaronSheetDialog(parent)
    , model_(model)
    , session_(session)
    , countdown_(clock)
    , automaticClose_(clock) {
    const SheetFrame frame =
        buildSheetFrame(*this, QString(), uiText("Cancel"), QStringLiteral("tessaron.signIn.cancel"), 20);
    cancel_ = frame.cancelButton;
    setWindowTitle(uiText("Sign in"));
    frame.column->setContentsMargins(28, 24, 28, 20);
    setFixedWidth(width);

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    auto* title = plainLabel(uiText("Sign in"), TessaronTheme::font(26, QFont::DemiBold), Qt::white);
    setAccessibleTraits(title, {.heading = true});
    header->addWidget(title);
    header->addWidget(
        plainLabel(uiText("One email. One iPhone or iPad, one Mac."), TessaronTheme::font(13), muted()));
    frame.column->addLayout(header);

    error_ = plainLabel({}, TessaronTheme::font(TessaronTheme::footnoteSize), TessaronTheme::danger());
    setAccessibleTraits(error_, {.animated = true});
    frame.column->addWidget(error_);

    steps_ = new QWidget;
    auto* stepsLayout = new QVBoxLayout(steps_);
    stepsLayout->setContentsMargins(0, 0, 0, 0);
    emailStep_ = buildEmailStep();
    codeStep_ = buildCodeStep(clock);
    doneStep_ = buildDoneStep();
    for (QWidget* step : {emailStep_, codeStep_, doneStep_})
        stepsLayout->addWidget(step);
    frame.column->addWidget(steps_);

    connect(&model_, &AccountScreenModel::changed, this, &TessaronLoginView::refresh);
    if (reduceMotion) {
        reduceMotion_ = reduceMotion->reduceMotion();
        connect(reduceMotion, &ReduceMotionObserver::reduceMotionChanged, this,
                &TessaronLoginView::setReduceMotion);
    }
    refresh();
}

QWidget* TessaronLoginView::buildEmailStep() {
    auto* page = new QWidget;
    auto* layout = stepColumn(page, 14);
    email_ = outlinedField(uiText("Email"));
    email_->setObjectName(QStringLiteral("tessaron.signIn.email"));
    email_->setAccessibleName(uiText("Email"));
    email_->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoPredictiveText);
    connect(email_, &QLineEdit::textEdited, this, [this](const QString& text) { model_.setEmail(text); });
    // An address the model would refuse changes nothing: the dimmed "Continue" already tells why.
    connect(email_, &QLineEdit::returnPressed, this, [this] { model_.startEmailSignIn(); });
    layout->addWidget(email_);

    continue_ =
        new TessaronOutlinedTextButton(uiText("Continue"), TessaronOutlinedTextButton::signInPrimary());
    continue_->setObjectName(QStringLiteral("tessaron.signIn.continue"));
    connect(continue_, &QAbstractButton::clicked, this, [this] { model_.startEmailSignIn(); });
    layout->addWidget(continue_);

    auto* divider = new OrDivider;
    divider->setObjectName(QStringLiteral("tessaron.signIn.or"));
    layout->addWidget(divider);
    providerColumn_ = new QVBoxLayout;
    providerColumn_->setSpacing(10);
    layout->addLayout(providerColumn_);
    return page;
}

QWidget* TessaronLoginView::buildCodeStep(Clock& clock) {
    auto* page = new QWidget;
    auto* layout = stepColumn(page, 20);
    auto* prompt = new QVBoxLayout;
    prompt->setSpacing(8);
    prompt->addWidget(plainLabel(uiText("Enter the 6-digit code sent to"), body(), muted()));
    codeAddress_ = TessaronLinkText::address(body(), Qt::white);
    prompt->addWidget(codeAddress_);
    layout->addLayout(prompt);

    code_ = new TessaronCodeField(clock);
    code_->setObjectName(QStringLiteral("tessaron.signIn.code"));
    code_->setPlaceholderText(uiText("Code"));
    code_->setAccessibleName(uiText("Code"));
    code_->setAlignment(Qt::AlignCenter);
    code_->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhNoPredictiveText);
    connect(code_, &QLineEdit::textEdited, this, &TessaronLoginView::codeEdited);
    // The model verifies only a whole code, once at a time.
    connect(code_, &QLineEdit::returnPressed, this, [this] { model_.verifyEmailCode(session_.data()); });
    auto* underlined = new QWidget;
    auto* field = new QVBoxLayout(underlined);
    field->setContentsMargins(0, 0, 0, 0);
    field->setSpacing(0);
    field->addWidget(code_);
    field->addWidget(new TessaronHairline);
    layout->addWidget(underlined);

    resend_ = plainButton(uiText("Resend code"), Qt::white);
    resend_->setObjectName(QStringLiteral("tessaron.signIn.resend"));
    connect(resend_, &QAbstractButton::clicked, this, [this] { model_.startEmailSignIn(); });
    resendWait_ = plainLabel({}, subheadline(), muted());
    differentEmail_ = plainButton(uiText("Use a different email"), muted());
    differentEmail_->setObjectName(QStringLiteral("tessaron.signIn.differentEmail"));
    connect(differentEmail_, &QAbstractButton::clicked, this, [this] { model_.resetLoginFlow(); });
    layout->addWidget(resend_);
    layout->addWidget(resendWait_);
    layout->addWidget(differentEmail_);
    return page;
}

QWidget* TessaronLoginView::buildDoneStep() {
    auto* page = new QWidget;
    auto* layout = stepColumn(page, 20);
    layout->addWidget(new CheckMark);
    auto* who = new QVBoxLayout;
    who->setSpacing(8);
    who->addWidget(plainLabel(uiText("Signed in as"), body(), muted()));
    signedInAddress_ = TessaronLinkText::address(body(), Qt::white);
    who->addWidget(signedInAddress_);
    evicted_ = plainLabel({}, body(), muted());
    evicted_->setObjectName(QStringLiteral("tessaron.signIn.evicted"));
    who->addWidget(evicted_);
    layout->addLayout(who);
    auto* done = new TessaronOutlinedTextButton(uiText("Done"), TessaronOutlinedTextButton::signInPrimary());
    done->setObjectName(QStringLiteral("tessaron.signIn.done"));
    connect(done, &QAbstractButton::clicked, this, &QDialog::accept);
    layout->addWidget(done);
    return page;
}

void TessaronLoginView::rebuildProviders() {
    qDeleteAll(providerButtons_);
    providerButtons_.clear();
    for (TessaronOAuthProvider provider : offeredProviders(model_.providers())) {
        const bool google = provider == TessaronOAuthProvider::google;
        auto* button = new TessaronOutlinedTextButton(google ? uiText("Continue with Google")
                                                             : uiText("Continue with Whop"),
                                                      TessaronOutlinedTextButton::provider());
        button->setObjectName(google ? QStringLiteral("tessaron.signIn.google")
                                     : QStringLiteral("tessaron.signIn.whop"));
        connect(button, &QAbstractButton::clicked, this, [this, provider] { startWebSignIn(provider); });
        providerColumn_->addWidget(button);
        button->show();
        providerButtons_.append(button);
    }
}

void TessaronLoginView::startWebSignIn(TessaronOAuthProvider provider) {
    webSignInStarted_ = true;
    model_.signIn(provider, session_.data());
}

void TessaronLoginView::codeEdited(const QString& text) {
    // The redraw that follows writes back only the digits the flow kept.
    const bool completed = model_.acceptCode(text);
    if (completed)
        model_.verifyEmailCode(session_.data());
}

void TessaronLoginView::fadeIn(QWidget* step) {
    auto* effect = new QGraphicsOpacityEffect(step);
    step->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", step);
    fade->setDuration(350);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    // The effect goes with the animation, so a finished step draws directly again.
    connect(fade, &QPropertyAnimation::finished, step, [step] { step->setGraphicsEffect(nullptr); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void TessaronLoginView::setReduceMotion(bool reduceMotion) {
    reduceMotion_ = reduceMotion;
    refresh();
}

void TessaronLoginView::runCountdown() {
    countdown_.cancel();
    if (!isVisible() || model_.flow().step != TessaronLoginFlow::Step::code ||
        model_.flow().resendRemaining < 1)
        return;
    countdown_.start(countdownTick, [this] {
        model_.countDownResend();
        runCountdown();
    });
}

void TessaronLoginView::scheduleAutomaticClose() {
    automaticClose_.cancel();
    const auto selected = [this] {
        return session_ && session_->selectedID().has_value();
    };
    if (!isVisible() || model_.flow().step != TessaronLoginFlow::Step::done || !selected())
        return;
    automaticClose_.start(automaticCloseDelay, [this, selected] {
        if (model_.flow().step == TessaronLoginFlow::Step::done && selected())
            accept();
    });
}

// A restore from a minimise (a spontaneous show) is no new appearance, and a minimise no disappearance.
void TessaronLoginView::showEvent(QShowEvent* event) {
    TessaronSheetDialog::showEvent(event);
    if (event->spontaneous())
        return;
    shownStep_.reset();
    refresh();
    startRefresh(appearance_, model_, session_);
}

void TessaronLoginView::hideEvent(QHideEvent* event) {
    TessaronSheetDialog::hideEvent(event);
    if (event->spontaneous())
        return;
    countdown_.cancel();
    automaticClose_.cancel();
    appearance_.cancel();
}

// The done step has no Cancel, so Escape, its key, does nothing there.
void TessaronLoginView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && model_.flow().step == TessaronLoginFlow::Step::done) {
        event->accept();
        return;
    }
    TessaronSheetDialog::keyPressEvent(event);
}

// The person types where the step asks: into its field. A field turned off while busy hands the focus
// on; it comes back once the answer is there (a wrong code is typed again). The done step asks for nothing:
// the sheet keeps the focus, so a Return still meant for the code cannot close it unread (Tab reaches Done).
void TessaronLoginView::focusStep(bool stepChanged, bool busyEnded) {
    const auto step = model_.flow().step;
    QWidget* wanted = step == TessaronLoginFlow::Step::email  ? static_cast<QWidget*>(email_)
                      : step == TessaronLoginFlow::Step::code ? static_cast<QWidget*>(code_)
                                                              : this;
    if ((stepChanged || busyEnded) && wanted->isEnabled())
        wanted->setFocus(Qt::OtherFocusReason);
}

void TessaronLoginView::done(int result) {
    // No browser sheet to dismiss here: a web sign-in still waiting ends with the view.
    if (webSignInStarted_ && model_.isBusy())
        model_.cancelWebSignIn();
    webSignInStarted_ = false;
    TessaronSheetDialog::done(result);
}

void TessaronLoginView::refresh() {
    const TessaronLoginFlow& flow = model_.flow();
    const bool busy = model_.isBusy();
    if (!busy)
        webSignInStarted_ = false;

    const auto& error = model_.lastError();
    error_->setVisible(error.has_value());
    error_->setText(error ? QCoreApplication::translate("Tessaron", error->toUtf8().constData()) : QString());
    error_->setObjectName(error && model_.lastErrorIsOAuthCallback()
                              ? QStringLiteral("tessaron.signIn.oauthError")
                              : QString());

    QWidget* step = flow.step == TessaronLoginFlow::Step::email  ? emailStep_
                    : flow.step == TessaronLoginFlow::Step::code ? codeStep_
                                                                 : doneStep_;
    for (QWidget* candidate : steps_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        candidate->setVisible(candidate == step);
    if (shownStep_ && shownStep_ != flow.step && !reduceMotion_)
        fadeIn(step);
    cancel_->setVisible(flow.step != TessaronLoginFlow::Step::done);

    if (email_->text() != flow.email)
        email_->setText(flow.email);
    continue_->setEnabled(flow.isEmailPlausible() && !busy);
    continue_->setBusy(busy);
    if (model_.providers() != shownProviders_) {
        shownProviders_ = model_.providers();
        rebuildProviders();
    }
    for (auto* button : providerButtons_) {
        button->setEnabled(!busy);
        button->setBusy(busy);
    }

    codeAddress_->setLink(normalizedEmail(flow.email));
    if (code_->text() != flow.code)
        code_->setText(flow.code);
    code_->setEnabled(!busy);
    resend_->setVisible(flow.resendRemaining < 1);
    resend_->setEnabled(!busy);
    resendWait_->setVisible(flow.resendRemaining >= 1);
    resendWait_->setText(
        uiText("Resend in %lld s").replace(QStringLiteral("%lld"), QString::number(flow.resendRemaining)));
    differentEmail_->setEnabled(!busy);

    signedInAddress_->setLink(model_.account() ? model_.account()->email : normalizedEmail(flow.email));
    const QStringList& evicted = model_.lastEvictedDeviceNames();
    evicted_->setVisible(!evicted.isEmpty());
    evicted_->setText(
        uiText("Signed out on %@.").replace(QStringLiteral("%@"), evicted.join(QStringLiteral(", "))));

    const bool stepChanged = shownStep_ != flow.step;
    focusStep(stepChanged, shownBusy_ && !busy);
    shownBusy_ = busy;
    const bool newCode = flow.resendRemaining > shownResendRemaining_;
    shownResendRemaining_ = flow.resendRemaining;
    if (stepChanged || newCode)
        runCountdown();
    if (stepChanged)
        scheduleAutomaticClose();
    shownStep_ = flow.step;
}

} // namespace tessaron
