#pragma once

#include "platform/keychain.hpp"

#include <chrono>
#include <memory>

namespace tessaron {

// The Keychain on the desktop's Secret Service, through libsecret. Items live in the default collection
// under a schema of our own, keyed by access group, service and account. The Secret Service never
// synchronises items to other machines, so nothing needs turning off for that.
//
// Every failure to reach the service, an unlock the user refused, or a call that ran past the operation
// limit answers keychain_status::notAvailable. Work handed to run() goes to a thread of the keychain's own.
class SecretServiceKeychain final : public Keychain {
public:
    // libsecret waits without end on a bus that never answers and on an unlock prompt nobody answers; each
    // operation is cancelled once it has run this long.
    static constexpr std::chrono::milliseconds defaultOperationLimit = std::chrono::seconds(30);

    explicit SecretServiceKeychain(std::chrono::milliseconds operationLimit = defaultOperationLimit);
    // Waits for the work that runs, drops the work that waits.
    ~SecretServiceKeychain() override;

    KeychainResult<QByteArray> copyData(const KeychainQuery& query) override;
    KeychainResult<QList<KeychainItem>> copyAll(const KeychainQuery& query) override;
    qint32 add(const KeychainQuery& query, const QByteArray& data) override;
    qint32 update(const KeychainQuery& query, const QByteArray& data) override;
    qint32 remove(const KeychainQuery& query) override;
    KeychainResult<QByteArray> persistentRef(const KeychainQuery& query) override;
    KeychainResult<QByteArray> resolve(const QByteArray& persistentRef) override;

protected:
    void dispatch(std::function<void()> job) override;

private:
    class Worker;

    std::chrono::milliseconds operationLimit_;
    std::unique_ptr<Worker> worker_;
};

} // namespace tessaron
