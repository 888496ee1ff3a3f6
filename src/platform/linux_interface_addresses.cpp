#include "platform/linux_interface_addresses.hpp"

#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

namespace tessaron {

namespace {

InterfaceAddress entryOf(const sockaddr* address) {
    if (address == nullptr)
        return {};
    switch (address->sa_family) {
    case AF_INET: {
        const auto& in = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
        return {InterfaceAddress::Family::ipv4,
                QByteArray(reinterpret_cast<const char*>(&in.s_addr), sizeof in.s_addr)};
    }
    case AF_INET6: {
        const auto& in6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        return {InterfaceAddress::Family::ipv6,
                QByteArray(reinterpret_cast<const char*>(in6.s6_addr), sizeof in6.s6_addr)};
    }
    default:
        return {InterfaceAddress::Family::other, {}};
    }
}

} // namespace

std::optional<QList<InterfaceAddress>> LinuxInterfaceAddresses::list() const {
    ifaddrs* head = nullptr;
    if (getifaddrs(&head) != 0)
        return std::nullopt;
    // Released on every path, including an allocation failure while copying.
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(head, &freeifaddrs);

    QList<InterfaceAddress> entries;
    for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next)
        entries.append(entryOf(entry->ifa_addr));
    return entries;
}

} // namespace tessaron
