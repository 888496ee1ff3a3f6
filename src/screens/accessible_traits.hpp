#pragma once

class QWidget;

namespace tessaron {

struct AccessibleTraits {
    bool selected = false;
    // Updates frequently.
    bool animated = false;
    // A decoration assistive technologies skip.
    bool invisible = false;
    // Blocks everything beneath it.
    bool modal = false;
    // Heads what follows it; reported as the heading role.
    bool heading = false;
};

// Adds the traits to the states the widget reports to assistive technologies.
void setAccessibleTraits(QWidget* widget, AccessibleTraits traits);
AccessibleTraits accessibleTraits(const QWidget* widget);

} // namespace tessaron
