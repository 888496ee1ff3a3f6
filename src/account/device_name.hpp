#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessaron {

// The name this computer goes by at the account service: the pretty host name the user gave it, else the
// host name, else "Mac" (the service's word for the computer slot), cut to 64 user-perceived characters.
// Read afresh at every call, so a rename shows at the next sign-in.
QString currentDeviceName();

// The rule behind currentDeviceName(), from the names the system reports.
QString deviceName(const std::optional<QString>& prettyHostName, const QString& hostName);

// PRETTY_HOSTNAME from the contents of /etc/machine-info (where hostnamectl keeps it), unquoted.
std::optional<QString> prettyHostNameFromMachineInfo(const QByteArray& machineInfo);

} // namespace tessaron
