#pragma once

#include "platform/tessaron_error.hpp"

#include <QtGlobal>

#include <functional>
#include <memory>

namespace tessaron {

namespace detail {
struct CancellationState;
}

// Observes a cancellation request. A default-constructed token is never cancelled.
class CancellationToken {
public:
    using CallbackId = quint64;

    CancellationToken() = default;

    bool isCancelled() const;

    // Runs `callback` once when cancellation is requested; at once when it already was.
    // The returned id removes the callback again; 0 means it already ran or never will.
    CallbackId onCancel(std::function<void()> callback) const;
    void removeCallback(CallbackId id) const;

private:
    friend class CancellationSource;
    explicit CancellationToken(std::shared_ptr<detail::CancellationState> state);

    std::shared_ptr<detail::CancellationState> state_;
};

// Requests cancellation of the work that holds its tokens. Callbacks run on the cancelling thread,
// outside any lock, in registration order.
class CancellationSource {
public:
    CancellationSource();

    CancellationToken token() const;
    void cancel();
    bool isCancelled() const;

private:
    std::shared_ptr<detail::CancellationState> state_;
};

// Thrown by an operation that stopped because its caller cancelled it. It is no failure: callers tell a
// cancelled request from a failed one by this type and show nothing for it.
class CancellationError final : public TessaronError {
public:
    QString domain() const override { return QStringLiteral("CancellationError"); }
    qint64 code() const override { return 0; }
};

} // namespace tessaron
