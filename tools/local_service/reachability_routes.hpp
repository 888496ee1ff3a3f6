#pragma once

#include "local_service.hpp"

namespace tessaron::local_service {

// The reachability page that development builds check instead of the public one.
void addReachabilityRoutes(httplib::Server& server, const ServiceContext& context);

} // namespace tessaron::local_service
