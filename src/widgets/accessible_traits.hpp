#pragma once

class QString;
class QWidget;

namespace tessaron {

struct AccessibleTraits {
    bool selected = false;
    // Updates frequently.
    bool animated = false;
    // A decoration assistive technologies skip.
    bool invisible = false;
    // Blocks everything beneath it: while it shows, it stands alone among its parent's children for
    // assistive technologies, once the parent lets it (`letModalChildrenCover`).
    bool modal = false;
    // Heads what follows it; reported as the heading role.
    bool heading = false;
    // A window of its own (a plain widget would read as a filler); reported as the window role.
    bool window = false;
    // One element whose name says what its children show; they are not read one by one.
    bool combined = false;
};

// Adds the traits to the states the widget reports to assistive technologies. A button with traits or a
// value, and a combined element, reads as one element; the button can be pressed through its interface.
void setAccessibleTraits(QWidget* widget, AccessibleTraits traits);
AccessibleTraits accessibleTraits(const QWidget* widget);
// A modal child covers `host` whole and opaque: while one shows, assistive technologies meet it alone of the
// host's children, as the keyboard and the pointer do; what it covers leaves their tree, nothing painted
// changes. A window keeps the window role.
void letModalChildrenCover(QWidget* host);
// What assistive technologies read as the widget's value, after its name: a button's current state.
void setAccessibleValue(QWidget* widget, const QString& value);

} // namespace tessaron
