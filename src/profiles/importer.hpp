#pragma once

#include "profiles/profile.hpp"

#include <QByteArray>

namespace tessaron {

// Turns profile JSON from outside (an invitation, a Keychain item) into a validated profile.
struct TessaronImporter {
    // Throws TessaronProfileError: tooLarge over the profile cap, malformed unless the text is a JSON
    // object, and otherwise whatever the field validation refuses.
    static TessaronProfile decodeInvitationJSON(const QByteArray& json, bool assignIDIfMissing,
                                                bool allowTransportKeys);
};

} // namespace tessaron
