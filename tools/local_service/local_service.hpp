#pragma once

#include "seed_catalogue.hpp"

#include <httplib.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace tessaron::local_service {

// What every group of endpoints may use besides the server itself.
struct ServiceContext {
    // Where groups keep what they serve and record; empty when the service was started without one.
    std::filesystem::path dataFolder;
    // The HTTPS port on 127.0.0.1; the seeded nodes listen on the same port of their own addresses.
    int port = 0;
    SeedCatalogue seeds;

    // "https://127.0.0.1:PORT", for links that must lead back to this service.
    std::string origin() const;
};

// Registers one group of endpoints (reachability, pairing, account, diagnostics, release feed). Handlers
// run on the server's worker threads, so a group that keeps state guards it itself.
using RouteGroup = void (*)(httplib::Server& server, const ServiceContext& context);

// Answers with {"error": "<error>"} and the given status. `error` is a fixed code such as "not_found",
// written as it is.
void replyWithError(httplib::Response& response, int status, std::string_view error);

// The development stand-in for the remote service: HTTPS on loopback only, one line per request on
// stdout, and a JSON 404 for any path no group claims.
class LocalService {
public:
    LocalService(const std::string& certificatePath, const std::string& keyPath, ServiceContext context);

    // False when the certificate or key could not be loaded.
    bool isValid() const { return server_.is_valid(); }
    void add(RouteGroup group);
    // Takes the port on 127.0.0.1 for this process alone; false when anyone holds it already.
    bool bind(int port);
    // Serves on the bound port until the process ends.
    bool serve();

private:
    httplib::SSLServer server_;
    ServiceContext context_;
    int port_ = 0;
};

} // namespace tessaron::local_service
