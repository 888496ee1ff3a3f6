#include "support/https_test_server.hpp"

#include <QProcess>
#include <QTemporaryDir>

#include <httplib.h>

#include <set>
#include <stdexcept>

namespace tessaron::testing {

namespace {

// Made once per test process: generating keys is the slowest part of starting a server.
QString certificateFile(const QString& name) {
    static const QTemporaryDir folder;
    static const bool made =
        folder.isValid() && QProcess::execute(QStringLiteral(TESSARON_MAKE_CERTS), {folder.path()}) == 0;
    if (!made)
        throw std::runtime_error("could not make the test certificates");
    return folder.filePath(name);
}

QByteArray bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

HttpsTestServer::Request recorded(const httplib::Request& request) {
    // httplib files the peer's and its own address among the request headers; no client sent them.
    static const std::set<std::string> added{"LOCAL_ADDR", "LOCAL_PORT", "REMOTE_ADDR", "REMOTE_PORT"};
    HttpsTestServer::Request record{bytes(request.method), bytes(request.path), {}, bytes(request.body)};
    for (const auto& [name, value] : request.headers) {
        if (!added.contains(name))
            record.headers.append({bytes(name), bytes(value)});
    }
    return record;
}

} // namespace

HttpsTestServer::HttpsTestServer()
    : server_(std::make_unique<httplib::SSLServer>(
          certificateFile(QStringLiteral("server.pem")).toStdString().c_str(),
          certificateFile(QStringLiteral("server.key")).toStdString().c_str())) {
    if (!server_->is_valid())
        throw std::runtime_error("the test server could not load its certificate");
    server_->set_tcp_nodelay(true);
    // A client that keeps its connection open would otherwise hold up stop() for the default 5 s.
    server_->set_keep_alive_timeout(1);
    const auto serve = [this](const httplib::Request& request, httplib::Response& response) {
        const auto reply = handle(recorded(request));
        response.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            response.set_header(name.toStdString(), value.toStdString());
        response.body = reply.body.toStdString();
    };
    server_->Get(".*", serve).Post(".*", serve).Put(".*", serve).Delete(".*", serve);

    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("the test server could not bind to 127.0.0.1");
    thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::yield();
}

HttpsTestServer::~HttpsTestServer() {
    std::unique_lock lock(mutex_);
    stopped_ = true;
    lock.unlock();
    stopping_.notify_all();
    server_->stop();
    thread_.join();
}

QString HttpsTestServer::caPath() const {
    return certificateFile(QStringLiteral("ca.pem"));
}

HttpsTestServer::Reply HttpsTestServer::handle(const Request& request) {
    std::unique_lock lock(mutex_);
    requests_.append(request);
    const auto found = handlers_.find({request.method, request.path});
    if (found == handlers_.end())
        return Reply{.status = 404};
    const auto handler = found->second;
    lock.unlock();
    auto reply = handler(request);
    lock.lock();
    // Stopping the server ends the wait.
    stopping_.wait_for(lock, reply.delay, [this] { return stopped_; });
    return reply;
}

} // namespace tessaron::testing
