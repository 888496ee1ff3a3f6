#include "session/local_endpoint.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <optional>

namespace tessaron {

namespace {

using Family = InterfaceAddress::Family;

// The address's bytes in network order; inet_pton reads IPv4 only as a strict dotted quad.
std::optional<InterfaceAddress> parseLiteral(const QString& text) {
    // Only plain ASCII can be a literal; a NUL would also cut the text short for inet_pton.
    const auto latin = text.toLatin1();
    if (QString::fromLatin1(latin) != text || latin.contains('\0'))
        return std::nullopt;
    in_addr v4{};
    if (inet_pton(AF_INET, latin.constData(), &v4) == 1)
        return InterfaceAddress{Family::ipv4, QByteArray(reinterpret_cast<const char*>(&v4), sizeof v4)};
    in6_addr v6{};
    if (inet_pton(AF_INET6, latin.constData(), &v6) == 1)
        return InterfaceAddress{Family::ipv6, QByteArray(reinterpret_cast<const char*>(v6.s6_addr), 16)};
    return std::nullopt;
}

// The IPv4 address inside an IPv4-mapped IPv6 address (::ffff:a.b.c.d).
std::optional<QByteArray> mappedIpv4(const QByteArray& ipv6) {
    static const QByteArray prefix = QByteArray(10, '\0') + QByteArray(2, '\xff');
    if (ipv6.size() != 16 || !ipv6.startsWith(prefix))
        return std::nullopt;
    return ipv6.right(4);
}

bool matches(const InterfaceAddress& entry, const InterfaceAddress& input) {
    if (entry.family == Family::ipv6) {
        if (input.family == Family::ipv6)
            return entry.bytes == input.bytes;
        return mappedIpv4(entry.bytes) == input.bytes;
    }
    if (entry.family == Family::ipv4) {
        if (input.family == Family::ipv4)
            return entry.bytes == input.bytes;
        return mappedIpv4(input.bytes) == entry.bytes;
    }
    return false;
}

} // namespace

bool isLocalEndpoint(const QString& host, const InterfaceAddresses& interfaces) {
    const auto text = host.trimmed();
    if (text.isEmpty())
        return false;
    const auto input = parseLiteral(text);
    if (!input)
        return false;
    const auto entries = interfaces.list();
    if (!entries)
        return false;
    for (const auto& entry : *entries) {
        if (matches(entry, *input))
            return true;
    }
    return false;
}

} // namespace tessaron
