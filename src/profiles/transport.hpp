#pragma once

#include <QString>

#include <optional>

namespace tessaron {

// The transport that carries a link: plain TCP, or the XHTTP fallback of profiles that have a section for it.
enum class TessaronTransport { tcp, xhttp };

inline QString rawValue(TessaronTransport transport) {
    return transport == TessaronTransport::tcp ? QStringLiteral("tcp") : QStringLiteral("xhttp");
}

// Any text other than the two raw values is no transport.
inline std::optional<TessaronTransport> transportFromRawValue(QStringView text) {
    if (text == u"tcp")
        return TessaronTransport::tcp;
    if (text == u"xhttp")
        return TessaronTransport::xhttp;
    return std::nullopt;
}

} // namespace tessaron
