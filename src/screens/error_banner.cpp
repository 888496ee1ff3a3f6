#include "screens/error_banner.hpp"

#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <mutex>

namespace tessaron {

namespace {

constexpr qreal disabledTextOpacity = 0.45;

QFont outlinedFont() {
    return TessaronTheme::font(TessaronTheme::footnoteSize, QFont::DemiBold);
}

QLabel* messageLabel(QWidget* parent) {
    auto* message = new QLabel(parent);
    message->setFont(TessaronTheme::font(TessaronTheme::footnoteSize));
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    QPalette palette = message->palette();
    palette.setColor(QPalette::WindowText, TessaronTheme::danger());
    message->setPalette(palette);
    return message;
}

// The session's messages are keys of the string table.
QString messageText(const QString& error) {
    return QCoreApplication::translate("Tessaron", error.toUtf8().constData());
}

void dismissError(TessaronSession& session) {
    session.setLastError(std::nullopt);
    session.setSuggestedNodeID(std::nullopt);
}

// The banner is an alert: a screen reader reads an alert as it comes into view, wherever the reader
// stands. A new message in a banner already shown comes into view again.
QAccessibleInterface* alertFactory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && className == QLatin1String(TessaronInlineErrorBanner::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::AlertMessage);
    return nullptr;
}

void announce(QWidget* banner, bool wasShown) {
    if (wasShown) {
        QAccessibleEvent hidden(banner, QAccessible::ObjectHide);
        QAccessible::updateAccessibility(&hidden);
        QAccessibleEvent shown(banner, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
    QAccessibleEvent alert(banner, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

} // namespace

bool bannerOffersRetry(const std::optional<QString>& lastError, TessaronLinkPhase phase,
                       TessaronPrimaryIntent intent) {
    return lastError == TessaronSession::autoDisconnectNotice() && phase == TessaronLinkPhase::disconnected &&
           intent == TessaronPrimaryIntent::connect;
}

TessaronOutlinedButton::TessaronOutlinedButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFont(outlinedFont());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TessaronOutlinedButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 20, metrics.height() + 10};
}

void TessaronOutlinedButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isDown() ? 0.7 : 1);
    painter.setPen(QPen(TessaronTheme::stroke(), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    // A button that would do nothing says so before it is clicked.
    painter.setPen(withOpacity(TessaronTheme::textPrimary(), isEnabled() ? 1.0 : disabledTextOpacity));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

TessaronInlineErrorBanner::TessaronInlineErrorBanner(TessaronSession& session, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , message_(messageLabel(this))
    , tryAgain_(new TessaronOutlinedButton(this))
    , useSuggested_(new TessaronOutlinedButton(this))
    , dismiss_(new TessaronIconButton(QStringLiteral("xmark.circle.fill"), this)) {
    static std::once_flag alertRole;
    std::call_once(alertRole, [] { QAccessible::installFactory(alertFactory); });
    setObjectName(QStringLiteral("tessaron.errorBanner"));
    message_->setObjectName(QStringLiteral("tessaron.errorMessage"));
    message_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    tryAgain_->setObjectName(QStringLiteral("tessaron.tryAgain"));
    tryAgain_->setText(QCoreApplication::translate(
        "Tessaron", "Try again", "Outlined button in the auto-disconnect banner; repeats the connect."));
    useSuggested_->setObjectName(QStringLiteral("tessaron.useSuggestedNode"));
    dismiss_->setObjectName(QStringLiteral("tessaron.dismissError"));
    dismiss_->setAccessibleName(QCoreApplication::translate("Tessaron", "Dismiss error"));
    dismiss_->setTint(withOpacity(TessaronTheme::danger(), 0.75));
    dismiss_->setGlyphSize(12);
    dismiss_->setFixedSize(24, 24);
    // The alert reads its message once, as its name; its actions stay buttons of their own.
    setAccessibleTraits(message_, {.invisible = true});

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(message_, 1);
    row->addWidget(tryAgain_);
    row->addWidget(useSuggested_);
    row->addWidget(dismiss_);

    connect(tryAgain_, &QAbstractButton::clicked, this, [this] { session_.retryConnect(); });
    connect(useSuggested_, &QAbstractButton::clicked, this, [this] { session_.useSuggestedNode(); });
    connect(dismiss_, &QAbstractButton::clicked, this, [this] { dismissError(session_); });
    const auto follow = [this] {
        refresh();
    };
    connect(&session_, &TessaronSession::lastErrorChanged, this, follow);
    connect(&session_, &TessaronSession::suggestedNodeIDChanged, this, follow);
    connect(&session_, &TessaronSession::summariesChanged, this, follow);
    connect(&session_, &TessaronSession::phaseChanged, this, follow);
    connect(&session_, &TessaronSession::selectedIDChanged, this, follow);
    connect(&session_, &TessaronSession::consentGrantedChanged, this, follow);
    refresh();
}

void TessaronInlineErrorBanner::refresh() {
    const auto& error = session_.lastError();
    const bool wasShown = !isHidden();
    const bool heldFocus = holdsTheFocus();
    setVisible(error.has_value());
    if (!error) {
        if (heldFocus)
            Q_EMIT wentWithTheFocus();
        return;
    }
    const QString message = messageText(*error);
    const bool news = !wasShown || message != message_->text();
    message_->setText(message);
    setAccessibleName(message);
    if (news)
        announce(this, wasShown);
    tryAgain_->setVisible(bannerOffersRetry(error, session_.phase(), session_.primaryIntent()));
    const auto suggested = session_.suggestedNodeName();
    useSuggested_->setVisible(suggested.has_value());
    fitSuggestion();
}

QWidget* TessaronInlineErrorBanner::firstAction() const {
    for (QWidget* action : {static_cast<QWidget*>(tryAgain_), static_cast<QWidget*>(useSuggested_),
                            static_cast<QWidget*>(dismiss_)})
        if (action->isVisibleTo(this) && action->isEnabled() && action->focusPolicy() & Qt::TabFocus)
            return action;
    return nullptr;
}

bool TessaronInlineErrorBanner::holdsTheFocus() const {
    const QWidget* focus = window()->focusWidget();
    return focus && isAncestorOf(focus);
}

void TessaronInlineErrorBanner::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitSuggestion();
}

// A long node name is cut so that the button takes at most half the row; the message keeps the rest.
void TessaronInlineErrorBanner::fitSuggestion() {
    const auto suggested = session_.suggestedNodeName();
    if (!suggested)
        return;
    const auto title = [](const QString& name) {
        return QCoreApplication::translate("Tessaron", "Use %1",
                                           "Outlined button beside a failed manual connect. %1 is "
                                           "another node's name.")
            .arg(name);
    };
    const QString whole = title(*suggested);
    // A banner that has just appeared has not been laid out yet: the column gives it its whole width.
    const QLayout* column = parentWidget() ? parentWidget()->layout() : nullptr;
    const int rowWidth = column ? column->contentsRect().width() : width();
    const QFontMetrics metrics(useSuggested_->font());
    const int padding = useSuggested_->sizeHint().width() - metrics.horizontalAdvance(useSuggested_->text());
    const int room = rowWidth / 2 - padding;
    const int nameRoom = room - metrics.horizontalAdvance(title({}));
    const QString shown = metrics.horizontalAdvance(whole) <= room
                              ? whole
                              : title(metrics.elidedText(*suggested, Qt::ElideRight, std::max(nameRoom, 0)));
    useSuggested_->setText(shown);
    useSuggested_->setToolTip(shown == whole ? QString() : whole);
    useSuggested_->setAccessibleName(whole);
}

TessaronErrorBanner::TessaronErrorBanner(TessaronSession& session, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , message_(messageLabel(this)) {
    auto* dismiss = new QPushButton(QCoreApplication::translate("Tessaron", "Dismiss"), this);
    dismiss->setFlat(true);
    dismiss->setCursor(Qt::PointingHandCursor);
    dismiss->setFont(TessaronTheme::font(TessaronTheme::footnoteSize));
    dismiss->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; padding: 0; text-align: left; }")
            .arg(TessaronTheme::textPrimary().name()));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    stack->addWidget(message_);
    stack->addWidget(dismiss, 0, Qt::AlignLeading);
    connect(dismiss, &QAbstractButton::clicked, this, [this] { dismissError(session_); });
    // The banner reads its message once, as its name; its Dismiss stays a button of its own.
    setAccessibleTraits(message_, {.invisible = true});
    connect(&session_, &TessaronSession::lastErrorChanged, this, &TessaronErrorBanner::refresh);
    refresh();
}

void TessaronErrorBanner::refresh() {
    const auto& error = session_.lastError();
    setVisible(error.has_value());
    message_->setText(error ? messageText(*error) : QString());
    // One element that reads the message and its action together.
    setAccessibleName(message_->text());
}

} // namespace tessaron
