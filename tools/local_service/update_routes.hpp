#pragma once

#include "local_service.hpp"

namespace tessaron::local_service {

// The diagnostics endpoint, and the release feed and download page of a build whose web base URL points
// here. The feed serves "release.json" from the data folder when there is one, so a developer can announce
// a newer or required release; otherwise it names a release older than any build.
void addUpdateRoutes(httplib::Server& server, const ServiceContext& context);

} // namespace tessaron::local_service
