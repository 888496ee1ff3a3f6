#include "app/application_look.hpp"

#include "widgets/appearance_host.hpp"
#include "widgets/sheet_dialog.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QApplication>
#include <QFocusEvent>
#include <QFocusFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QToolTip>

#include <algorithm>

namespace tessaron {

namespace {

// Room for a window manager's icon and buttons beside a title.
constexpr int titleBarDecoration = 160;
// A message box's margins and the space between its icon and its text.
constexpr int messageBoxMargins = 60;
constexpr int ringWidth = 2;

// Lies over the control with the focus, as its topmost child, so neither the control's own children nor a
// clipping parent hide it. Screen readers skip focus frames.
class FocusRing final : public QFocusFrame {
public:
    using QFocusFrame::QFocusFrame;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(TessaronTheme::flowBlue(), ringWidth));
        const qreal inset = ringWidth / 2.0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 6, 6);
    }
};

bool takesKeyboardFocus(const QWidget& widget) {
    return !widget.isWindow() && (widget.focusPolicy() & Qt::TabFocus);
}

int clampedStart(int start, int length, int areaStart, int areaLength) {
    return std::clamp(start, areaStart, std::max(areaStart, areaStart + areaLength - length));
}

} // namespace

QIcon productIcon() {
    static const QIcon icon(QStringLiteral(":/tessaron/app/tessaron.svg"));
    return icon;
}

void placeInsideScreen(QWidget& window, const QWidget* anchor) {
    QScreen* screen = anchor ? anchor->screen() : window.screen();
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    // Until a window has been shown its frame is unknown; the anchor's frame stands in for it, or else the
    // frame the screen's room was measured with.
    const QMargins frame = anchor && anchor->isVisible()
                               ? QMargins(anchor->geometry().left() - anchor->frameGeometry().left(),
                                          anchor->geometry().top() - anchor->frameGeometry().top(),
                                          anchor->frameGeometry().right() - anchor->geometry().right(),
                                          anchor->frameGeometry().bottom() - anchor->geometry().bottom())
                               : assumedFrame();
    QRect outer = QRect(QPoint(), window.size()).marginsAdded(frame);
    outer.moveCenter(anchor && anchor->isVisible() ? anchor->frameGeometry().center() : area.center());
    window.move(clampedStart(outer.left(), outer.width(), area.left(), area.width()),
                clampedStart(outer.top(), outer.height(), area.top(), area.height()));
}

void widenForTitle(QMessageBox& box) {
    auto* text = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!text)
        return;
    const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + titleBarDecoration;
    // The box sizes itself around its text; the icon column and the margins take the rest.
    const auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
    const int iconColumn = (icon ? icon->sizeHint().width() : 0) + messageBoxMargins;
    // A minimum of its own replaces the text's, so it is set only where it asks for more.
    if (const int wanted = titleWidth - iconColumn; wanted > text->minimumSizeHint().width())
        text->setMinimumWidth(wanted);
}

ApplicationLook::ApplicationLook() {
    const QPalette palette = TessaronAppearanceHost::palette();
    QApplication::setPalette(palette);
    QToolTip::setPalette(palette);
    qApp->installEventFilter(this);
}

void ApplicationLook::showProductIcon() {
    QApplication::setWindowIcon(productIcon());
}

ApplicationLook::~ApplicationLook() {
    moveRing(nullptr);
}

QWidget* ApplicationLook::focusRingHost() const {
    return ring_ ? ring_->parentWidget() : nullptr;
}

bool ApplicationLook::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        // Qt also gives a window's first control the focus for the Tab reason: only a key press counts.
        // Escape leads too: going back from a page hands the focus to the control that opened it, also one
        // a click opened, and the person who pressed a key looks for where the focus went.
        if (const int key = static_cast<QKeyEvent*>(event)->key();
            key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Escape)
            keyboardLeads_ = true;
        break;
    case QEvent::FocusIn:
        if (watched->isWidgetType())
            followFocus(*static_cast<QWidget*>(watched), static_cast<QFocusEvent*>(event)->reason());
        break;
    case QEvent::MouseButtonPress:
        keyboardLeads_ = false;
        moveRing(nullptr);
        break;
    case QEvent::Resize:
        if (ring_ && watched == ring_->parent())
            ring_->resize(static_cast<QResizeEvent*>(event)->size());
        break;
    case QEvent::Show:
        if (auto* box = qobject_cast<QMessageBox*>(watched))
            widenForTitle(*box);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void ApplicationLook::followFocus(QWidget& widget, Qt::FocusReason reason) {
    if (reason == Qt::MouseFocusReason)
        keyboardLeads_ = false;
    moveRing(keyboardLeads_ && takesKeyboardFocus(widget) ? &widget : nullptr);
}

void ApplicationLook::moveRing(QWidget* host) {
    if (!host) {
        delete ring_;
        return;
    }
    if (!ring_)
        ring_ = new FocusRing;
    ring_->setParent(host);
    ring_->setGeometry(host->rect());
    ring_->raise();
    ring_->show();
}

} // namespace tessaron
