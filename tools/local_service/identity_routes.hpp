#pragma once

#include "local_service.hpp"

namespace tessaron::local_service {

// "tessaron-local-service <pid>" at /local-service/identity: whoever started the service tells from it that
// the listener on the port is the process it started, not another program that took the port first.
void addIdentityRoutes(httplib::Server& server, const ServiceContext& context);

} // namespace tessaron::local_service
