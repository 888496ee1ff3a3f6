#include "identity_routes.hpp"

#include <unistd.h>

namespace tessaron::local_service {

void addIdentityRoutes(httplib::Server& server, const ServiceContext&) {
    server.Get("/local-service/identity", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("tessaron-local-service " + std::to_string(::getpid()) + "\n", "text/plain");
    });
}

} // namespace tessaron::local_service
