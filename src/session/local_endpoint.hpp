#pragma once

#include "platform/interface_addresses.hpp"

#include <QString>

namespace tessaron {

// Whether a server text is an address literal of one of this machine's own interfaces, loopback included:
// a tunnel pointed there would route its own traffic into itself. Host names are never looked up, and a
// literal in brackets or with a zone is no literal here. Every failure answers no.
bool isLocalEndpoint(const QString& host, const InterfaceAddresses& interfaces);

} // namespace tessaron
