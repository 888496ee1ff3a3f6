#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

namespace tessaron {

// One address to connect to, copied out of whatever list a resolver handed back, so that list can be freed
// at once.
struct SocketAddress {
    sockaddr_storage address{};
    socklen_t length = 0;

    int family() const { return address.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

using SocketAddresses = std::vector<SocketAddress>;

// The addresses of a resolver's linked list (the system's addrinfo or the asynchronous resolver's nodes), in
// its order, each with the port set.
template <typename Node> SocketAddresses socketAddresses(const Node* first, int port) {
    SocketAddresses addresses;
    for (const Node* node = first; node; node = node->ai_next) {
        if (node->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress copied;
        std::memcpy(&copied.address, node->ai_addr, node->ai_addrlen);
        copied.length = node->ai_addrlen;
        const auto networkPort = htons(static_cast<uint16_t>(port));
        if (copied.family() == AF_INET)
            reinterpret_cast<sockaddr_in*>(&copied.address)->sin_port = networkPort;
        else if (copied.family() == AF_INET6)
            reinterpret_cast<sockaddr_in6*>(&copied.address)->sin6_port = networkPort;
        else
            continue;
        addresses.push_back(copied);
    }
    return addresses;
}

} // namespace tessaron
