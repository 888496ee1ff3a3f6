#pragma once

#include "widgets/focus_keeper.hpp"

#include <QDialog>
#include <QScrollArea>

namespace tessaron {

// The window of a sheet. Return belongs to what has the focus: a field runs its own action (Continue,
// the code, Activate) and the sheet stays, a focused button is pressed; no default button is ever pressed.
// Escape rejects it, as its Cancel or Close does. The sheet is as tall as its content, within the screen.
class TessaronSheetDialog : public QDialog {
    Q_OBJECT
public:
    explicit TessaronSheetDialog(QWidget* parent = nullptr);
    ~TessaronSheetDialog() override;

    bool event(QEvent* event) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The sheet holds the focus of a control turned off while it works; a page may name its own.
    TessaronFocusKeeper& focusKeeper() { return focusKeeper_; }

private:
    void fitToContent();

    TessaronFocusKeeper focusKeeper_;
};

// Moves a window, as little as needed, so that its frame, title bar included, lies within the available area
// of its parent's screen (its own without a parent).
void keepWithinScreen(QWidget& window);
// Centres a window's frame on `over` (on the screen without one), then keeps it within the screen.
void placeOver(QWidget& window, const QWidget* over);
// The most a window's contents can take on its screen's available area, its frame left out. At twice the
// scale a screen holds half as much: sizes and least sizes are bounded by this, and the contents scroll.
QSize roomOnScreen(const QWidget& window);
// The frame a window manager is taken to give a window before it is shown: a title bar and thin borders.
QMargins assumedFrame();
QSize boundedByScreen(const QWidget& window, QSize wanted);

// A sheet's scrolling column: it asks for the whole height of its content at its width, so that the
// sheet grows to show it all and only what does not fit on the screen scrolls. A control in it that takes
// the focus is scrolled into view, whatever gave the focus (Qt's own scroll area follows only Tab).
class TessaronSheetScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit TessaronSheetScrollArea(QWidget* parent = nullptr);
    ~TessaronSheetScrollArea() override;

    QSize sizeHint() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void followFocus(QWidget* now);
    void reveal(QWidget* control);
};

} // namespace tessaron
