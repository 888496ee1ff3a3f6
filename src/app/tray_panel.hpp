#pragma once

#include <QFrame>
#include <QRect>

namespace tessaron {

// Where the tray's panel goes, `wanted` being the size its content asks for: beside the icon at `anchor`,
// wholly inside the screen's available `area`, as tall as its content or as the room there allows. Along a
// tray at the top or the bottom of the screen it opens below or above the icon, towards the larger part of
// the screen; beside a tray on a side, to the icon's right or left. Without an anchor (a tray that does not
// say where its icon is) it goes to the area's top-right corner.
QRect trayPanelGeometry(QSize wanted, const QRect& anchor, const QRect& area);

// The tray's panel: a frameless tool window around its content (readers list only windows that are not
// popups), sized to what the content shows before it is placed, and placed again whenever that changes.
// It closes as a popup does, when another window takes the focus or on Escape.
class TessaronTrayPanel final : public QFrame {
    Q_OBJECT
public:
    explicit TessaronTrayPanel(QWidget* content);

    // Opens next to the icon at `anchor` (invalid where the tray does not tell).
    void openBeside(const QRect& anchor);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Measures what the content asks for and places the panel for it.
    void place();

    QRect anchor_;
};

} // namespace tessaron
