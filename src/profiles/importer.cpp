#include "profiles/importer.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonDocument>

namespace tessaron {

TessaronProfile TessaronImporter::decodeInvitationJSON(const QByteArray& json, bool assignIDIfMissing,
                                                       bool allowTransportKeys) {
    // Checked before parsing, so an oversized paste costs nothing.
    if (json.size() > TessaronIdentifiers::profileByteCap)
        throw TessaronProfileError::tooLarge();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw TessaronProfileError::malformed();
    return TessaronProfile::fromJSON(document.object(), {.assignIDIfMissing = assignIDIfMissing,
                                                         .allowTransportKeys = allowTransportKeys});
}

} // namespace tessaron
