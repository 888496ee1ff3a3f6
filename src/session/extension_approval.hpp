#pragma once

namespace tessaron {

// Where the tunnel extension's activation stands, as the views show it.
enum class TessaronExtensionApproval {
    // The user must approve the extension in the system settings.
    waiting,
    // The activation completes after a reboot.
    needsReboot,
    // The last activation ran out of time and may be tried again.
    retry,
};

} // namespace tessaron
