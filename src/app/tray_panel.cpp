#include "app/tray_panel.hpp"

#include "widgets/accessible_traits.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaron {

namespace {

// Between the icon and the panel.
constexpr int gap = 4;

// The start of a run of `length` moved into the run of `room` that starts at `from`; at `from` when it is
// the longer.
int within(int start, int length, int from, int room) {
    return std::clamp(start, from, from + std::max(0, room - length));
}

// Qt lays out the children of a widget only while it is shown, and keeps what it measured of each part
// until that part asks to be measured again, which a part that is not shown may never do: a window measured
// before it first shows (or after its content changed while it was hidden) would take the heights its parts
// had when they were last measured, and grow once shown, or show its rows over each other. Every part is
// measured again, its layout brought up to date and asked to lay out what it holds (a scroll area sizes its
// content then), innermost first, so that the window's measure holds from its first frame on.
void layOutFully(QWidget& window) {
    window.ensurePolished();
    const auto widgets = window.findChildren<QWidget*>();
    // Children come after their parents in the list: backwards, each is laid out before its parent.
    for (auto child = widgets.crbegin(); child != widgets.crend(); ++child) {
        (*child)->updateGeometry();
        if (QLayout* layout = (*child)->layout())
            layout->activate();
        QEvent request(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(*child, &request);
    }
    window.layout()->activate();
}

} // namespace

QRect trayPanelGeometry(QSize wanted, const QRect& anchor, const QRect& area) {
    const int width = std::min(wanted.width(), area.width());
    const int tallest = std::min(wanted.height(), area.height());
    if (!anchor.isValid())
        return {area.left() + area.width() - width, area.top(), width, tallest};
    const int above = anchor.top() - gap - area.top();
    const int below = area.top() + area.height() - (anchor.top() + anchor.height()) - gap;
    const int fromSide =
        std::min(anchor.left() - area.left(), area.left() + area.width() - (anchor.left() + anchor.width()));
    if (fromSide < std::min(above, below)) {
        // A tray on a side of the screen: the panel stands beside it, centred on the icon.
        const int rightOfIcon = anchor.left() + anchor.width() + gap;
        const bool right = area.left() + area.width() - rightOfIcon >= width;
        return {within(right ? rightOfIcon : anchor.left() - gap - width, width, area.left(), area.width()),
                within(anchor.center().y() - tallest / 2, tallest, area.top(), area.height()), width,
                tallest};
    }
    // A tray along the top or the bottom: the panel opens towards the screen's larger part, centred on the
    // icon, and no taller than the room there.
    const bool down = below >= above;
    const int height = std::clamp(down ? below : above, 0, tallest);
    const int top = down ? anchor.top() + anchor.height() + gap : anchor.top() - gap - height;
    return {within(anchor.center().x() - width / 2, width, area.left(), area.width()),
            within(top, height, area.top(), area.height()), width, height};
}

TessaronTrayPanel::TessaronTrayPanel(QWidget* content)
    : QFrame(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("tessaron.menuBar.panel"));
    setWindowTitle(QStringLiteral("Tessaron"));
    setAccessibleTraits(this, {.window = true});
    // A hairline edge keeps the black panel apart from a dark desktop.
    setFrameShape(QFrame::Box);
    QPalette edge = palette();
    edge.setColor(QPalette::WindowText, TessaronTheme::stroke());
    edge.setColor(QPalette::Window, TessaronTheme::background());
    setPalette(edge);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    // The panel sizes itself: its content asks, the room on the screen decides.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(content);
}

void TessaronTrayPanel::openBeside(const QRect& anchor) {
    anchor_ = anchor;
    layOutFully(*this);
    place();
    show();
    raise();
    activateWindow();
}

bool TessaronTrayPanel::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate)
        hide();
    const bool handled = QFrame::event(event);
    // What the content shows changed while open (rows came or went, "Check again" showed): measured and
    // placed again, still beside the icon and inside the screen.
    if (event->type() == QEvent::LayoutRequest && isVisible())
        place();
    return handled;
}

void TessaronTrayPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        hide();
    else
        QFrame::keyPressEvent(event);
}

void TessaronTrayPanel::place() {
    const QScreen* screen = anchor_.isValid() ? QGuiApplication::screenAt(anchor_.center()) : nullptr;
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    const QLayout& column = *layout();
    const QSize hint = column.totalSizeHint();
    const int wanted = column.hasHeightForWidth() ? column.totalHeightForWidth(hint.width()) : hint.height();
    setGeometry(trayPanelGeometry({hint.width(), wanted}, anchor_, area));
}

} // namespace tessaron
