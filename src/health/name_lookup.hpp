#pragma once

#include "health/socket_address.hpp"

#include <chrono>
#include <span>
#include <string>
#include <vector>

struct ares_channeldata;
struct ares_addrinfo;
struct pollfd;

namespace tessaron {

// One name looked up by the asynchronous resolver, on a channel of its own, driven by the thread that polls
// its sockets: it holds no thread while it waits for a name server. Dropping it cancels the lookup and
// closes its sockets at once, so a lookup its caller gave up keeps nothing another lookup needs. One thread
// creates, drives and drops it.
class NameLookup final {
public:
    using SteadyClock = std::chrono::steady_clock;

    // Names in /etc/hosts (such as localhost) are answered from the file; other names ask the name servers,
    // "address:port" separated by commas, or the system's (/etc/resolv.conf) when none are named. May be
    // done on return.
    NameLookup(const std::string& name, int port, const std::string& nameServers);
    ~NameLookup();
    NameLookup(const NameLookup&) = delete;
    NameLookup& operator=(const NameLookup&) = delete;

    bool isDone() const { return done_; }
    // In the resolver's order; empty when the name did not resolve.
    const SocketAddresses& addresses() const { return addresses_; }

    void appendSockets(std::vector<pollfd>& watched) const;
    // When the lookup must be driven again whatever its sockets do (a query to resend or give up).
    SteadyClock::time_point nextTimeout() const;
    // Reads and writes what the polled sockets allow, and resends or gives up what timed out.
    void process(std::span<const pollfd> polled);

    // Lookups not yet dropped, in the whole process.
    static int pending();

private:
    static void finish(void* lookup, int status, int timeouts, ares_addrinfo* result);

    ares_channeldata* channel_ = nullptr;
    int port_;
    bool done_ = false;
    SocketAddresses addresses_;
};

} // namespace tessaron
