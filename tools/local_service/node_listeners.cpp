#include "node_listeners.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessaron::local_service {

namespace {

// Beyond this many open connections a new one is closed at once, so a runaway client cannot use up the
// process's file descriptors.
constexpr std::size_t maximumHeldConnections = 256;

int listenOn(const std::string& address, int port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1) {
        std::fprintf(stderr, "node address %s is not an IPv4 address\n", address.c_str());
        return -1;
    }
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0)
        return -1;
    const int reuse = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress) != 0 ||
        listen(listener, SOMAXCONN) != 0) {
        std::fprintf(stderr, "cannot listen on node %s:%d: %s\n", address.c_str(), port,
                     std::strerror(errno));
        close(listener);
        return -1;
    }
    return listener;
}

} // namespace

NodeListeners::NodeListeners(const std::vector<std::string>& addresses, int port) {
    for (const std::string& address : addresses) {
        if (const int listener = listenOn(address, port); listener >= 0)
            listeners_.push_back(listener);
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "cannot serve the nodes: %s\n", std::strerror(errno));
        return;
    }
    thread_ = std::thread([this] { serve(); });
}

NodeListeners::~NodeListeners() {
    if (thread_.joinable()) {
        const char stop = 0;
        [[maybe_unused]] const auto written = write(wake_[1], &stop, 1);
        thread_.join();
    }
    for (const int descriptor : listeners_)
        close(descriptor);
    for (const int descriptor : connections_)
        close(descriptor);
    for (const int descriptor : wake_) {
        if (descriptor >= 0)
            close(descriptor);
    }
}

void NodeListeners::serve() {
    std::vector<pollfd> watched;
    for (;;) {
        watched.clear();
        watched.push_back({wake_[0], POLLIN, 0});
        for (const int listener : listeners_)
            watched.push_back({listener, POLLIN, 0});
        for (const int connection : connections_)
            watched.push_back({connection, POLLIN, 0});
        if (poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "node listeners stopped: %s\n", std::strerror(errno));
            return;
        }
        if (watched[0].revents != 0)
            return;

        const auto listenerEntries = watched.begin() + 1;
        const auto connectionEntries = listenerEntries + static_cast<std::ptrdiff_t>(listeners_.size());
        std::vector<int> stillOpen;
        for (auto entry = connectionEntries; entry != watched.end(); ++entry) {
            if (entry->revents == 0 || drain(entry->fd))
                stillOpen.push_back(entry->fd);
        }
        connections_ = std::move(stillOpen);
        for (auto entry = listenerEntries; entry != connectionEntries; ++entry) {
            if (entry->revents != 0)
                acceptOn(entry->fd);
        }
    }
}

void NodeListeners::acceptOn(int listener) {
    for (;;) {
        const int connection = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (connection < 0)
            return;
        if (connections_.size() >= maximumHeldConnections)
            close(connection);
        else
            connections_.push_back(connection);
    }
}

bool NodeListeners::drain(int connection) {
    // A bounded number of reads per wake-up, so one busy sender cannot starve the other connections.
    char discarded[16384];
    for (int read = 0; read < 16; ++read) {
        const ssize_t received = recv(connection, discarded, sizeof discarded, 0);
        if (received > 0 || (received < 0 && errno == EINTR))
            continue;
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        close(connection);
        return false;
    }
    return true;
}

} // namespace tessaron::local_service
