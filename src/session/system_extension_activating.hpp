#pragma once

#include "session/extension_activation.hpp"

#include <qcoro/qcorotask.h>

#include <functional>

namespace tessaron {

// How the session makes sure the tunnel extension is active before it starts a tunnel.
class TessaronSystemExtensionActivating {
public:
    virtual ~TessaronSystemExtensionActivating() = default;

    // Runs one activation to its outcome. `onWaiting`, when given, runs once if the user must approve the
    // extension first. A call while another runs fails at once and leaves the running one alone.
    virtual QCoro::Task<TessaronExtensionActivation> ensureActivated(std::function<void()> onWaiting) = 0;
    // Ends a running activation with cancelled.
    virtual void cancel() = 0;
    // Shows the user where the extension is approved.
    virtual void openExtensionSettings() = 0;
};

} // namespace tessaron
