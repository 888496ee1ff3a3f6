#pragma once

namespace tessaron {

// Gives every scroll area an interface for assistive technologies that answers a question about a child it
// no longer has with no child, where Qt's own reads past the end of its list and crashes. Call once at
// start-up, after the application is made.
void installScrollAreaAccessible();

} // namespace tessaron
