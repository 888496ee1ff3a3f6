#include "local_service.hpp"

#include <cstdio>

namespace tessaron::local_service {

namespace {

const std::string loopback = "127.0.0.1";

void logRequest(const httplib::Request& request, const httplib::Response& response) {
    // The path without its query: queries may carry invitation codes.
    std::printf("%s %s %s %d\n", request.method.c_str(), request.path.c_str(), request.version.c_str(),
                response.status);
    std::fflush(stdout);
}

} // namespace

std::string ServiceContext::origin() const {
    return "https://" + loopback + ":" + std::to_string(port);
}

void replyWithError(httplib::Response& response, int status, std::string_view error) {
    response.status = status;
    response.set_content("{\"error\":\"" + std::string(error) + "\"}", "application/json");
}

LocalService::LocalService(const std::string& certificatePath, const std::string& keyPath,
                           ServiceContext context)
    : server_(certificatePath.c_str(), keyPath.c_str())
    , context_(std::move(context)) {
    server_.set_tcp_nodelay(true);
    // The library's default also sets SO_REUSEPORT, which lets a second service share a port another one
    // holds; SO_REUSEADDR alone still refuses a port with a listener.
    server_.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server_.set_logger(logRequest);
    // Runs for every error status; only a 404 that no handler filled in is an unknown path.
    server_.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
            if (response.status != 404 || !response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            replyWithError(response, 404, "not_found");
            return httplib::Server::HandlerResponse::Handled;
        }));
}

void LocalService::add(RouteGroup group) {
    group(server_, context_);
}

bool LocalService::bind(int port) {
    port_ = port;
    return server_.bind_to_port(loopback, port);
}

bool LocalService::serve() {
    std::printf("listening on https://%s:%d\n", loopback.c_str(), port_);
    std::fflush(stdout);
    return server_.listen_after_bind();
}

} // namespace tessaron::local_service
