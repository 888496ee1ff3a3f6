#pragma once

#include "platform/tessaron_error.hpp"

#include <QString>

namespace tessaron {

// The one short English sentence the user reads for a failure. Only errors written for the user keep
// their own message; anything else is named by its domain and code, so that no internal detail (a path,
// an address, a server's wording) reaches the screen.
class TessaronErrorSanitizer {
public:
    TessaronErrorSanitizer() = delete;

    // Never empty.
    static QString message(const TessaronError& error);
};

} // namespace tessaron
