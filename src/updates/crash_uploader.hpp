#pragma once

#include "platform/cancellation.hpp"
#include "platform/clock.hpp"
#include "platform/http_transport.hpp"
#include "updates/crash_report.hpp"

#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <optional>

namespace tessaron {

// Sends one report; true only when the diagnostics endpoint took it. Never fails towards the caller.
class TessaronCrashReportUploader {
public:
    virtual ~TessaronCrashReportUploader() = default;
    virtual QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken cancellation = {}) = 0;
};

// Posts reports to "/v1/diagnostics/crash" on the pairing service's origin. Every HTTP reply, whatever its
// status, goes to `replyObserver` (the server upgrade gate); only 202 counts as delivered. Redirects are
// followed as the transport follows them, so the final reply is the one that counts. The whole exchange
// ends after `exchangeLimit`, so an endpoint that drips its reply cannot hold an upload, nor the quit that
// waits for it, open.
class PairingCrashUploader final : public TessaronCrashReportUploader {
public:
    using ReplyObserver = std::function<void(int status, std::optional<QByteArray> body)>;

    static constexpr int acceptedStatus = 202;
    static constexpr qint64 observedBodyLimit = 131'072;
    static constexpr std::chrono::seconds exchangeLimit{15};

    // `baseURL` is the pairing service's https base, none when the bundle names none. `buildLabel` is
    // asked afresh for every request. The transport and the clock belong to the uploading thread.
    PairingCrashUploader(std::optional<QUrl> baseURL, HttpTransport& transport, Clock& clock,
                         ReplyObserver replyObserver, std::function<QString()> buildLabel);

    // The base's scheme and authority; none for a base without an https origin. Its path does not matter:
    // the endpoint's path is absolute.
    static std::optional<QUrl> normalizedBaseURL(const std::optional<QUrl>& baseURL);

    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken cancellation = {}) override;

private:
    std::optional<QUrl> endpoint_;
    HttpTransport& transport_;
    Clock& clock_;
    ReplyObserver replyObserver_;
    std::function<QString()> buildLabel_;
};

} // namespace tessaron
