// tessaron-local-service PORT CERTIFICATE KEY [DATA_FOLDER]
// Plays the remote endpoints on https://127.0.0.1:PORT for development builds, and the seeded nodes on the
// same port of 127.0.0.2 and up. TESSARON_LOCAL_SERVICE_EXTRA_NODES=N adds N managed nodes to the account's
// group, on 127.1.0.1 and up, for measuring the client with a long node list.
#include "account_routes.hpp"
#include "identity_routes.hpp"
#include "local_service.hpp"
#include "node_listeners.hpp"
#include "pairing_routes.hpp"
#include "reachability_routes.hpp"
#include "update_routes.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

using namespace tessaron::local_service;

namespace {

// The groups of endpoints the service plays; a new group adds its registering function here.
constexpr RouteGroup routeGroups[] = {
    addAccountRoutes, addIdentityRoutes, addPairingRoutes, addReachabilityRoutes, addUpdateRoutes,
};

int usage() {
    std::fprintf(stderr, "usage: tessaron-local-service PORT CERTIFICATE KEY [DATA_FOLDER]\n");
    return 2;
}

std::optional<int> extraNodesFromEnvironment() {
    const char* value = std::getenv("TESSARON_LOCAL_SERVICE_EXTRA_NODES");
    if (!value || *value == 0)
        return 0;
    const std::string_view text(value);
    int count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 0 ||
        count > SeedCatalogue::maximumExtraAccountNodes)
        return std::nullopt;
    return count;
}

std::optional<int> portFrom(std::string_view text) {
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4 || argc > 5)
        return usage();
    const auto port = portFrom(argv[1]);
    if (!port)
        return usage();

    const auto extraNodes = extraNodesFromEnvironment();
    if (!extraNodes) {
        std::fprintf(stderr, "TESSARON_LOCAL_SERVICE_EXTRA_NODES must be a count from 0 to %d\n",
                     SeedCatalogue::maximumExtraAccountNodes);
        return 2;
    }

    ServiceContext context;
    context.port = *port;
    context.seeds = SeedCatalogue(*port, *extraNodes);
    if (argc == 5) {
        context.dataFolder = argv[4];
        std::error_code error;
        std::filesystem::create_directories(context.dataFolder, error);
        if (error) {
            std::fprintf(stderr, "cannot create %s: %s\n", argv[4], error.message().c_str());
            return 1;
        }
    }

    LocalService service(argv[2], argv[3], context);
    if (!service.isValid()) {
        std::fprintf(stderr, "cannot load the certificate %s or the key %s\n", argv[2], argv[3]);
        return 1;
    }
    for (auto group : routeGroups)
        service.add(group);
    // Every port is this service's alone, or it does not start: a half-started service would answer for
    // another one's nodes.
    if (!service.bind(*port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d: the port is taken (another service?)\n", *port);
        return 1;
    }
    const auto nodeAddresses = context.seeds.nodeAddresses();
    const NodeListeners nodes(nodeAddresses, *port);
    if (nodes.listeningCount() != nodeAddresses.size()) {
        std::fprintf(stderr, "not started: every node must listen on port %d\n", *port);
        return 1;
    }
    return service.serve() ? 0 : 1;
}
