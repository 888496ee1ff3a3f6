#pragma once

#include "local_service.hpp"

namespace tessaron::local_service {

// The account endpoints, the local page that completes a web sign-in, and the subscription links' target.
// With a data folder, accounts and sessions are kept in it across runs.
void addAccountRoutes(httplib::Server& server, const ServiceContext& context);

} // namespace tessaron::local_service
