#include "session/extension_notice.hpp"

namespace tessaron {

namespace {

const QString notInApplicationsValue = QStringLiteral("notInApplications");
const QString dragToApplicationsValue = QStringLiteral("dragToApplications");

} // namespace

QString rawValue(TessaronExtensionNotice notice) {
    switch (notice) {
    case TessaronExtensionNotice::notInApplications:
        return notInApplicationsValue;
    case TessaronExtensionNotice::dragToApplications:
        return dragToApplicationsValue;
    }
    return {};
}

std::optional<TessaronExtensionNotice> extensionNotice(const QString& rawValue) {
    if (rawValue == notInApplicationsValue)
        return TessaronExtensionNotice::notInApplications;
    if (rawValue == dragToApplicationsValue)
        return TessaronExtensionNotice::dragToApplications;
    return std::nullopt;
}

} // namespace tessaron
