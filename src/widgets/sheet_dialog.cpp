#include "widgets/sheet_dialog.hpp"

#include "widgets/return_presses_button.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

namespace tessaron {

namespace {

// The frame the window manager gave the window, or, before it gave one, the frame it is taken to give.
QMargins frameOf(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    if (!window.isVisible() || frame == inner)
        return assumedFrame();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

// The screen a sheet belongs on: its parent window's, where the person looks.
QRect availableArea(const QWidget& window) {
    const QWidget* parent = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    const QScreen* screen = parent && parent->screen() ? parent->screen() : window.screen();
    return (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
}

int clampedStart(int start, int length, int areaStart, int areaLength) {
    return std::clamp(start, areaStart, std::max(areaStart, areaStart + areaLength - length));
}

// Moves the window so that its frame, title bar included, starts at `frameTopLeft`. Until the window
// manager framed it, the window itself is moved, by the frame it is taken to get.
void moveFrameTo(QWidget& window, QPoint frameTopLeft) {
    const bool framed = window.isVisible() && window.frameGeometry() != window.geometry();
    const QMargins frame = frameOf(window);
    const QPoint target = framed ? frameTopLeft : frameTopLeft + QPoint(frame.left(), frame.top());
    if (target != window.pos())
        window.move(target);
}

// The window's frame moved, as little as it takes, into the area: the title bar never above its top.
QRect clampedFrame(const QWidget& window, QRect outer) {
    const QRect area = availableArea(window);
    outer.moveTo(clampedStart(outer.left(), outer.width(), area.left(), area.width()),
                 clampedStart(outer.top(), outer.height(), area.top(), area.height()));
    return outer;
}

} // namespace

// A control turned off while the sheet works hands its focus on to the next one, often Cancel, where the
// person's next Return would close the sheet: the sheet keeps the focus instead, and gives it back to the
// control once it works again (the field of a refused code, to correct it).
TessaronSheetDialog::TessaronSheetDialog(QWidget* parent)
    : QDialog(parent)
    , focusKeeper_(*this, TessaronFocusKeeper::Catch::whatTurnsOff) {
    // The shortcuts of the window it covers (Settings…, Quit) work while the sheet has the focus.
    if (parent)
        addActions(parent->window()->actions());
    pressFocusedButtonsOnReturn();
}

TessaronSheetDialog::~TessaronSheetDialog() = default;

bool TessaronSheetDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // After the layout took the change in: a step, a message line or a page that came or went.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
        fitToContent();
    // Opened where its host did not put it: centred on the window it covers, inside that window's screen.
    if (event->type() == QEvent::Show && !event->spontaneous() && !testAttribute(Qt::WA_Moved))
        placeOver(*this, parentWidget() ? parentWidget()->window() : nullptr);
    // The window manager may place it again once it is shown, at a corner or reaching past the screen's end.
    if (event->type() == QEvent::Move && isVisible())
        keepWithinScreen(*this);
    return handled;
}

void TessaronSheetDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TessaronSheetDialog::fitToContent() {
    if (!layout())
        return;
    const int content = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                      : layout()->totalSizeHint().height();
    const QMargins frame = frameOf(*this);
    const int room = std::max(minimumHeight(), availableArea(*this).height() - frame.top() - frame.bottom());
    const int fitted = std::clamp(content, minimumHeight(), std::min(room, maximumHeight()));
    const int narrowed = std::min(width(), std::max(minimumWidth(), roomOnScreen(*this).width()));
    if (fitted != height() || narrowed != width())
        resize(narrowed, fitted);
    keepWithinScreen(*this);
}

QSize roomOnScreen(const QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const QMargins assumed = assumedFrame();
    const QSize frame = window.isVisible()
                            ? window.frameGeometry().size() - window.size()
                            : QSize(assumed.left() + assumed.right(), assumed.top() + assumed.bottom());
    return (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
}

QMargins assumedFrame() {
    return {4, 28, 4, 4};
}

QSize boundedByScreen(const QWidget& window, QSize wanted) {
    return wanted.boundedTo(roomOnScreen(window));
}

void keepWithinScreen(QWidget& window) {
    moveFrameTo(window, clampedFrame(window, window.geometry().marginsAdded(frameOf(window))).topLeft());
}

void placeOver(QWidget& window, const QWidget* over) {
    QRect outer = window.geometry().marginsAdded(frameOf(window));
    outer.moveCenter(over && over->isVisible() ? over->frameGeometry().center()
                                               : availableArea(window).center());
    moveFrameTo(window, clampedFrame(window, outer).topLeft());
}

TessaronSheetScrollArea::TessaronSheetScrollArea(QWidget* parent)
    : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes from control to control (the column follows it), never onto the unnamed column itself.
    setFocusPolicy(Qt::NoFocus);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
}

TessaronSheetScrollArea::~TessaronSheetScrollArea() {
    disconnect(qApp, nullptr, this, nullptr);
}

// A page's main action takes the focus as the page comes, before the page is laid out: the column follows
// it now and once more after the layout, where it really stands.
void TessaronSheetScrollArea::followFocus(QWidget* now) {
    if (!now || !widget() || !widget()->isAncestorOf(now))
        return;
    reveal(now);
    QMetaObject::invokeMethod(
        this, [this, control = QPointer(now)] { reveal(control); }, Qt::QueuedConnection);
}

void TessaronSheetScrollArea::reveal(QWidget* control) {
    if (control && control->hasFocus())
        ensureWidgetVisible(control);
}

QSize TessaronSheetScrollArea::sizeHint() const {
    const QWidget* content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    const QSize wanted = content->sizeHint();
    const int width = viewport()->width();
    const int height = content->hasHeightForWidth() ? content->heightForWidth(width) : wanted.height();
    return {wanted.width(), height};
}

// The height it asks for is its content's at its width: a new width (the first layout gives it its real one)
// is a new height, which the sheet, showing or about to, must measure again. Without this, a sheet laid out
// once before it shows keeps the height measured at the column's first, narrow width.
void TessaronSheetScrollArea::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        updateGeometry();
}

bool TessaronSheetScrollArea::eventFilter(QObject* watched, QEvent* event) {
    // The content's own layout changed: the sheet around it measures again.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

} // namespace tessaron
