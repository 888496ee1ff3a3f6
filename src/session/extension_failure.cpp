#include "session/extension_failure.hpp"

#include "platform/bundle_info.hpp"
#include "platform/system_extension_requests.hpp"

#include <QCoreApplication>

namespace tessaron {

namespace {

const char* const context = "SystemExtensionActivator";

ExtensionFailureClass serviceFailureClass(qint64 code) {
    using Error = SystemExtensionError;
    switch (code) {
    case Error::unsupportedParentBundleLocation:
        return ExtensionFailureClass::refusedLocation;
    case Error::missingEntitlement:
    case Error::extensionNotFound:
    case Error::extensionMissingIdentifier:
    case Error::unknownExtensionCategory:
    case Error::codeSignatureInvalid:
    case Error::validationFailed:
        return ExtensionFailureClass::unusableCopy;
    case Error::forbiddenBySystemPolicy:
        return ExtensionFailureClass::forbiddenByPolicy;
    case Error::requestCanceled:
    case Error::authorizationRequired:
        return ExtensionFailureClass::awaitsApproval;
    default:
        return ExtensionFailureClass::didNotStart;
    }
}

} // namespace

ExtensionFailureClass extensionFailureClass(const QString& domain, qint64 code) {
    if (domain != SystemExtensionError::domainName)
        return ExtensionFailureClass::didNotStart;
    return serviceFailureClass(code);
}

QString extensionFailureMessage(ExtensionFailureClass failureClass) {
    switch (failureClass) {
    case ExtensionFailureClass::awaitsApproval:
    case ExtensionFailureClass::refusedLocation:
        return {};
    case ExtensionFailureClass::unusableCopy:
        return QCoreApplication::translate(
                   context, "This copy of Tessaron can't install its network extension. Download "
                            "the latest Tessaron from %1, move it to Applications, and open it "
                            "again.")
            .arg(ProgramLocations::builtIn().downloadPage.host());
    case ExtensionFailureClass::forbiddenByPolicy:
        return QCoreApplication::translate(
            context, "Your Mac's management policy blocks Tessaron's network extension.");
    case ExtensionFailureClass::didNotStart:
        break;
    }
    return QCoreApplication::translate(context,
                                       "Tessaron's network extension didn't start. Try Connect again.");
}

} // namespace tessaron
