#pragma once

#include "platform/bundle_info.hpp"
#include "platform/clock.hpp"
#include "platform/http_transport.hpp"

#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <optional>

namespace tessaron {

enum class TessaronProbeResult { success, failure, cancelled };

// Why one attempt of the reachability check failed.
struct TessaronProbeFailure {
    enum class Kind { http, timeout, noSuccess, error };

    Kind kind = Kind::error;
    // The reply's status, for Kind::http.
    int status = 0;

    static TessaronProbeFailure http(int status) { return {Kind::http, status}; }
    static TessaronProbeFailure timeout() { return {Kind::timeout, 0}; }
    static TessaronProbeFailure noSuccess() { return {Kind::noSuccess, 0}; }
    static TessaronProbeFailure error() { return {Kind::error, 0}; }

    // The reason as the connection log shows it: "http 511", "timeout", "no Success" or "error".
    QString reason() const;

    bool operator==(const TessaronProbeFailure&) const = default;
};

struct TessaronProbeOutcome {
    TessaronProbeResult result = TessaronProbeResult::failure;
    // Present exactly when the result is a failure.
    std::optional<TessaronProbeFailure> failure;

    bool operator==(const TessaronProbeOutcome&) const = default;
};

struct ReachabilityTimeouts {
    // The longest the reply may stall.
    std::chrono::milliseconds stall{5000};
    // The longest one attempt may take in all, however steadily the bytes trickle in.
    std::chrono::milliseconds total{6000};
};

// Does a plain web request reach the internet? Fetches the reachability page, whose body holds the word
// "Success", up to three times with waits of 1 s and 2 s between failures. Every attempt that ends in
// success or failure leaves one line in the connection log. Holds no state between runs.
class ConnectionHealthChecker {
public:
    using LogLine = std::function<void(const QString& line)>;

    static constexpr qint64 bodyLimit = 8192;
    static constexpr int maxAttempts = 3;

    // The transport and the clock must outlive every run.
    ConnectionHealthChecker(HttpTransport& transport, Clock& clock, LogLine log,
                            QUrl page = BundleInfo::main().locations().reachabilityPage,
                            ReachabilityTimeouts timeouts = {});

    // Safe to drop the checker while a run is in flight: the run keeps its own copy of it.
    QCoro::Task<TessaronProbeResult> run(CancellationToken cancellation = {}) const;
    // One attempt, numbered `attempt` in its log line.
    QCoro::Task<TessaronProbeOutcome> probeOnce(int attempt, CancellationToken cancellation = {}) const;

private:
    static QCoro::Task<TessaronProbeResult> runAttempts(ConnectionHealthChecker checker,
                                                        CancellationToken cancellation);
    static QCoro::Task<TessaronProbeOutcome> attempt(ConnectionHealthChecker checker, int number,
                                                     CancellationToken cancellation);
    static QCoro::Task<HttpOutcome> fetch(ConnectionHealthChecker checker, CancellationToken cancellation,
                                          std::shared_ptr<bool> ranOutOfTime);
    void logOutcome(int number, const TessaronProbeOutcome& outcome, Clock::Duration elapsed) const;

    HttpTransport* transport_;
    Clock* clock_;
    LogLine log_;
    QUrl page_;
    ReachabilityTimeouts timeouts_;
};

} // namespace tessaron
