#pragma once

#include "platform/http_transport.hpp"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace httplib {
class SSLServer;
}

namespace tessaron::testing {

// An HTTPS server on 127.0.0.1 (an ephemeral port) with a certificate from a test CA made for this test
// process. Tests register handlers per method (GET, POST, PUT or DELETE) and path; every request is recorded
// before it is handled. Handlers run on the server's own threads.
class HttpsTestServer {
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        HttpHeaders headers;
        QByteArray body;

        // The first header of that name, compared without regard to case.
        QByteArray header(const QByteArray& name) const {
            for (const auto& [key, value] : headers) {
                if (key.compare(name, Qt::CaseInsensitive) == 0)
                    return value;
            }
            return {};
        }
    };

    struct Reply {
        int status = 200;
        HttpHeaders headers{};
        QByteArray body{};
        // Held back this long before anything is sent; stopping the server ends the wait.
        std::chrono::milliseconds delay{0};
    };

    using Handler = std::function<Reply(const Request&)>;

    // A reply that never comes while the server runs.
    static Reply silence() { return Reply{.delay = std::chrono::hours(1)}; }

    HttpsTestServer();
    ~HttpsTestServer();

    // Unregistered method and path pairs get 404.
    void on(const QByteArray& method, const QByteArray& path, Handler handler) {
        std::lock_guard lock(mutex_);
        handlers_[{method, path}] = std::move(handler);
    }

    QUrl baseUrl() const { return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(port_)); }
    QUrl url(const QString& path) const { return baseUrl().resolved(QUrl(path)); }
    // The PEM file of the CA that signed the server's certificate, and its certificates.
    QString caPath() const;
    QList<QSslCertificate> caCertificates() const { return QSslCertificate::fromPath(caPath()); }

    QList<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    Reply handle(const Request& request);

    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    std::map<std::pair<QByteArray, QByteArray>, Handler> handlers_;
    QList<Request> requests_;
};

} // namespace tessaron::testing
