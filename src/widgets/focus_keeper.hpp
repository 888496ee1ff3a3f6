#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace tessaron {

// Keeps the keyboard focus of a control while it is off, on a holder that answers no key of its own, and
// hands it back once the control works again. Qt would hand the focus of a control turned off to the next
// one (often Cancel, or a row), where the person's next Return or Escape would land. The focus goes back
// only if it still waits on the holder (or nowhere): a person who moved it meanwhile keeps their place.
// One control is owed the focus at a time; the latest one asked for wins.
//
// Keep it as a member of the widget that owns the holder, never as a child: the base class's destructor
// moves the focus as it deletes the children, and the keeper must stop listening before that.
class TessaronFocusKeeper final : public QObject {
    Q_OBJECT
public:
    enum class Catch {
        // Only the controls named to park() or owe() are kept.
        named,
        // Also any control of the holder that Qt hands the focus on from as it turns off, after the fact.
        whatTurnsOff,
    };

    explicit TessaronFocusKeeper(QWidget& holder, Catch catches = Catch::named);
    ~TessaronFocusKeeper() override;

    // Before `control` turns off: if it has its window's focus, the focus moves to the holder and is owed
    // back to it. Parking first spares the page the scroll and the flash of Qt handing the focus on.
    void park(QWidget* control);
    // `control` is to have the focus: at once if it works, else it waits on the holder until it does.
    // A null control owes nothing.
    void owe(QWidget* control);
    QWidget* owed() const { return owed_; }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void holdFor(QWidget* control);
    void release();
    void focusMoved(QWidget* old, QWidget* now);

    QWidget& holder_;
    QPointer<QWidget> owed_;
};

} // namespace tessaron
