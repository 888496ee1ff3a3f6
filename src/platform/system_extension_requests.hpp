#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

namespace tessaron {

// The answer of a finished request, as the system reports it. Values outside the named ones can arrive.
enum class SystemExtensionRequestResult : qint64 { completed = 0, willCompleteAfterReboot = 1 };

enum class SystemExtensionReplacementAction { cancel, replace };

// Why a request failed: an error domain and code. Errors of the activation service itself carry `domain`
// and one of `Code`; anything else comes from elsewhere.
struct SystemExtensionError {
    static inline const QString domainName = QStringLiteral("OSSystemExtensionErrorDomain");

    enum Code : qint64 {
        missingEntitlement = 2,
        unsupportedParentBundleLocation = 3,
        extensionNotFound = 4,
        extensionMissingIdentifier = 5,
        duplicateExtensionIdentifier = 6,
        unknownExtensionCategory = 7,
        codeSignatureInvalid = 8,
        validationFailed = 9,
        forbiddenBySystemPolicy = 10,
        requestCanceled = 11,
        requestSuperseded = 12,
        authorizationRequired = 13,
    };

    QString domain;
    qint64 code = 0;

    static SystemExtensionError ofService(Code code) { return {domainName, code}; }
    bool operator==(const SystemExtensionError&) const = default;
};

class SystemExtensionRequest;

// Receives the answers to the requests it was set on. The answers may arrive on any thread, never inside
// SystemExtensionRequests::submit(); an answer for a delegate that no longer exists is dropped.
class SystemExtensionRequestDelegate : public QObject {
public:
    using QObject::QObject;

    // An older copy of the extension is installed: replace it or give up.
    virtual SystemExtensionReplacementAction
    actionForReplacingExtension(const SystemExtensionRequest& request) = 0;
    // The user must approve the extension before the request can go on.
    virtual void requestNeedsUserApproval(const SystemExtensionRequest& request) = 0;
    virtual void requestDidFinish(const SystemExtensionRequest& request,
                                  SystemExtensionRequestResult result) = 0;
    virtual void requestDidFail(const SystemExtensionRequest& request, const SystemExtensionError& error) = 0;
};

// One request to activate the extension with the given identifier. Answers name the request object itself,
// so its identity is what ties an answer to the request.
class SystemExtensionRequest {
public:
    SystemExtensionRequest(QString extensionIdentifier, SystemExtensionRequestDelegate* delegate)
        : extensionIdentifier_(std::move(extensionIdentifier))
        , delegate_(delegate) {}

    const QString& extensionIdentifier() const { return extensionIdentifier_; }
    // Null once the delegate is gone.
    SystemExtensionRequestDelegate* delegate() const { return delegate_; }

private:
    QString extensionIdentifier_;
    QPointer<SystemExtensionRequestDelegate> delegate_;
};

// The operating system's activation of extensions. A submitted request is kept alive until its last answer
// has been delivered, so no other request can take its identity meanwhile.
class SystemExtensionRequests {
public:
    virtual ~SystemExtensionRequests() = default;

    virtual void submit(std::shared_ptr<SystemExtensionRequest> request) = 0;
    // Shows the user where extensions are approved.
    virtual void openApprovalSettings() = 0;
};

} // namespace tessaron
