#pragma once

namespace tessaron {

// The sheet the main window shows over its content.
enum class TessaronSheet {
    privacy,
    importInvitation,
    settings,
    signIn,
};

} // namespace tessaron
