#include "support/https_test_server.hpp"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <httplib.h>

#include <set>
#include <stdexcept>

namespace tessaron::testing {

namespace {

// Made once per test process: generating keys is the slowest part of starting a server.
const QDir& certificateFolder() {
    static const QTemporaryDir folder;
    static const QDir made = [] {
        if (!folder.isValid() || QProcess::execute(QStringLiteral(TESSARON_MAKE_CERTS), {folder.path()}) != 0)
            throw std::runtime_error("could not make the test certificates");
        return QDir(folder.path());
    }();
    return made;
}

std::string pathOf(const QString& fileName) {
    return certificateFolder().filePath(fileName).toStdString();
}

QByteArray bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

// httplib files the peer's and its own address among the request headers; no client sent them.
bool isReceivedHeader(const std::string& name) {
    static const std::set<std::string> added{"LOCAL_ADDR", "LOCAL_PORT", "REMOTE_ADDR", "REMOTE_PORT"};
    return !added.contains(name);
}

HttpsTestServer::Request recorded(const httplib::Request& request) {
    HttpsTestServer::Request record{bytes(request.method), bytes(request.path), {}, bytes(request.body)};
    for (const auto& [name, value] : request.headers) {
        if (isReceivedHeader(name))
            record.headers.append({bytes(name), bytes(value)});
    }
    return record;
}

void apply(const HttpsTestServer::Reply& reply, httplib::Response& response) {
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        response.set_header(name.toStdString(), value.toStdString());
    response.body = reply.body.toStdString();
}

} // namespace

QByteArray HttpsTestServer::Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpsTestServer::HttpsTestServer()
    : server_(std::make_unique<httplib::SSLServer>(pathOf(QStringLiteral("server.pem")).c_str(),
                                                   pathOf(QStringLiteral("server.key")).c_str())) {
    if (!server_->is_valid())
        throw std::runtime_error("the test server could not load its certificate");
    server_->set_tcp_nodelay(true);
    // A client that keeps its connection open would otherwise hold up stop() for the default 5 s.
    server_->set_keep_alive_timeout(1);
    const auto serve = [this](const httplib::Request& request, httplib::Response& response) {
        apply(handle(recorded(request)), response);
    };
    const std::string anyPath = ".*";
    server_->Get(anyPath, serve);
    server_->Post(anyPath, serve);
    server_->Put(anyPath, serve);
    server_->Delete(anyPath, serve);

    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("the test server could not bind to 127.0.0.1");
    thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::yield();
}

HttpsTestServer::~HttpsTestServer() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    server_->stop();
    thread_.join();
}

void HttpsTestServer::on(const QByteArray& method, const QByteArray& path, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[{method, path}] = std::move(handler);
}

QUrl HttpsTestServer::baseUrl() const {
    return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(port_));
}

QUrl HttpsTestServer::url(const QString& path) const {
    return baseUrl().resolved(QUrl(path));
}

QString HttpsTestServer::caPath() const {
    return certificateFolder().filePath(QStringLiteral("ca.pem"));
}

QList<QSslCertificate> HttpsTestServer::caCertificates() const {
    return QSslCertificate::fromPath(caPath());
}

QList<HttpsTestServer::Request> HttpsTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

HttpsTestServer::Reply HttpsTestServer::handle(const Request& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.append(request);
        const auto found = handlers_.find({request.method, request.path});
        if (found == handlers_.end())
            return Reply{.status = 404};
        handler = found->second;
    }
    auto reply = handler(request);
    waitUnlessStopping(reply.delay);
    return reply;
}

void HttpsTestServer::waitUnlessStopping(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    stopping_.wait_for(lock, delay, [this] { return stopped_; });
}

} // namespace tessaron::testing
