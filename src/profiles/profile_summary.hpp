#pragma once

#include "profiles/profile.hpp"

namespace tessaron {

// What lists and the session publish about a profile, without its key material.
struct TessaronProfileSummary {
    QUuid id;
    qint64 version = 0;
    QString name;
    QString server;
    int port = 0;
    TessaronProfile::Security security = TessaronProfile::Security::tls;

    static TessaronProfileSummary summary(const TessaronProfile& profile) {
        return {profile.id, profile.version, profile.name, profile.server, profile.port, profile.security};
    }

    friend bool operator==(const TessaronProfileSummary&, const TessaronProfileSummary&) = default;
};

} // namespace tessaron
