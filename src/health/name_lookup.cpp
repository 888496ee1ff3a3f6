#include "health/name_lookup.hpp"

#include <ares.h>
#include <poll.h>

#include <atomic>

namespace tessaron {

namespace {

std::atomic<int> lookupsPending{0};

bool initializeLibraryOnce() {
    static const bool initialized = ares_library_init(ARES_LIB_INIT_ALL) == ARES_SUCCESS;
    return initialized;
}

// Files first, then the name servers, whatever /etc/nsswitch.conf says: a name in /etc/hosts never waits for
// a name server.
ares_channel openChannel(const std::string& nameServers) {
    if (!initializeLibraryOnce())
        return nullptr;
    ares_options options{};
    static char filesThenServers[] = "fb";
    options.lookups = filesThenServers;
    ares_channel channel = nullptr;
    if (ares_init_options(&channel, &options, ARES_OPT_LOOKUPS) != ARES_SUCCESS)
        return nullptr;
    if (!nameServers.empty() && ares_set_servers_ports_csv(channel, nameServers.c_str()) != ARES_SUCCESS) {
        ares_destroy(channel);
        return nullptr;
    }
    return channel;
}

} // namespace

NameLookup::NameLookup(const std::string& name, int port, const std::string& nameServers)
    : channel_(openChannel(nameServers))
    , port_(port) {
    ++lookupsPending;
    if (!channel_) {
        done_ = true;
        return;
    }
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ares_getaddrinfo(channel_, name.c_str(), nullptr, &hints, &NameLookup::finish, this);
}

NameLookup::~NameLookup() {
    // Answers a lookup still waiting with ARES_EDESTRUCTION, while this object still stands.
    if (channel_)
        ares_destroy(channel_);
    --lookupsPending;
}

void NameLookup::finish(void* lookup, int status, int /*timeouts*/, ares_addrinfo* result) {
    auto* self = static_cast<NameLookup*>(lookup);
    self->done_ = true;
    if (status == ARES_SUCCESS && result)
        self->addresses_ = socketAddresses(result->nodes, self->port_);
    if (result)
        ares_freeaddrinfo(result);
}

void NameLookup::appendSockets(std::vector<pollfd>& watched) const {
    if (done_)
        return;
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int uses = ares_getsock(channel_, sockets, ARES_GETSOCK_MAXNUM);
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(uses, i))
            events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(uses, i))
            events |= POLLOUT;
        if (events == 0)
            break;
        watched.push_back({.fd = sockets[i], .events = events, .revents = 0});
    }
}

NameLookup::SteadyClock::time_point NameLookup::nextTimeout() const {
    timeval wait{};
    if (done_ || !ares_timeout(channel_, nullptr, &wait))
        return SteadyClock::time_point::max();
    return SteadyClock::now() + std::chrono::seconds(wait.tv_sec) + std::chrono::microseconds(wait.tv_usec);
}

void NameLookup::process(std::span<const pollfd> polled) {
    for (const pollfd& socket : polled) {
        if (done_)
            return;
        if (socket.revents == 0)
            continue;
        const bool readable = socket.revents & (POLLIN | POLLERR | POLLHUP);
        const bool writable = socket.revents & POLLOUT;
        ares_process_fd(channel_, readable ? socket.fd : ARES_SOCKET_BAD,
                        writable ? socket.fd : ARES_SOCKET_BAD);
    }
    if (!done_)
        ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

int NameLookup::pending() {
    return lookupsPending.load();
}

} // namespace tessaron
