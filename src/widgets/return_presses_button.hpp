#pragma once

namespace tessaron {

// Return on a focused button presses it, as Space does, in every window of the application: the home
// column, the update cover, Settings, the tray panel and the sheets. Checkable controls (the switches) keep
// Space alone. Only a Return sent to the button itself counts: one that a field passed on after its own
// action (which may have moved the focus to a button) is not. Installed once; safe to ask for again.
void pressFocusedButtonsOnReturn();

} // namespace tessaron
