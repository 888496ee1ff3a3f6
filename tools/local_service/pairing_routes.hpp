#pragma once

#include "local_service.hpp"

namespace tessaron::local_service {

// The pairing endpoints: the seeded invitation codes redeem into a group's profiles, and a profile's roster
// reports its group's nodes. The codes are printed at start, for a developer to paste.
void addPairingRoutes(httplib::Server& server, const ServiceContext& context);

} // namespace tessaron::local_service
