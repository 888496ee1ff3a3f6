#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

class QMessageBox;
class QWidget;

namespace tessaron {

// The product's icon: four white tiles in a ring of the flow colours, on black.
QIcon productIcon();

// Places a window that is about to be shown inside the available area of its screen: centred over
// `anchor` when there is one, else on the screen.
void placeInsideScreen(QWidget& window, const QWidget* anchor = nullptr);

// The theme's look for everything the application shows, the standard dialogs, menus and tooltips
// included: the dark palette, the product's icon, message boxes wide enough for their title and a focus
// ring over the control that has the focus while the keyboard moves it. Lives as long as the application.
class ApplicationLook final : public QObject {
    Q_OBJECT
public:
    ApplicationLook();
    ~ApplicationLook() override;

    // Gives every window the product's icon. Apart from the rest: rendering it loads the icon engine, which
    // the first picture of a window can do without.
    void showProductIcon();

    // The control that shows the focus ring; none while the mouse leads.
    QWidget* focusRingHost() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followFocus(QWidget& widget, Qt::FocusReason reason);
    void moveRing(QWidget* host);

    // Owned by the control it rings, so it goes with it.
    QPointer<QWidget> ring_;
    bool keyboardLeads_ = false;
};

// A message box at least as wide as its title needs beside a window manager's buttons.
void widenForTitle(QMessageBox& box);

} // namespace tessaron
