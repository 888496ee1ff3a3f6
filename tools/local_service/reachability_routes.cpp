#include "reachability_routes.hpp"

namespace tessaron::local_service {

void addReachabilityRoutes(httplib::Server& server, const ServiceContext&) {
    server.Get("/success.txt", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("Success", "text/plain");
    });
}

} // namespace tessaron::local_service
