#pragma once

#include "platform/cancellation.hpp"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <variant>

namespace tessaron {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest {
    // What happens when the body grows past maxBodyBytes.
    enum class Overflow { fail, truncate };

    QByteArray method = "GET";
    QUrl url;
    HttpHeaders headers;
    QByteArray body;
    // The longest the transfer may stall before it is given up.
    std::chrono::milliseconds timeout{60'000};
    qint64 maxBodyBytes = 1 << 20;
    Overflow overflow = Overflow::fail;
    // Only a caller that asks for it follows redirects; otherwise a 3xx is the final reply.
    bool followRedirects = false;
};

struct HttpResponse {
    int status = 0;
    HttpHeaders headers;
    QByteArray body;
    // With Overflow::truncate, true when the body was cut at the cap.
    bool truncated = false;

    // The first header of that name, compared without regard to case.
    QByteArray header(const QByteArray& name) const;
};

struct HttpFailure {
    enum class Kind { cancelled, timedOut, tooLarge, transport };
    Kind kind;
    QString detail;
};

using HttpOutcome = std::variant<HttpResponse, HttpFailure>;

// Sends one HTTPS request without cookies or a cache. TLS errors are never ignored.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) = 0;
};

} // namespace tessaron
