#include "account/session_token_store.hpp"

#include "profiles/keychain_access.hpp"

#include <QStringDecoder>

namespace tessaron {

std::optional<QString> accountKeychainAccessGroup(const BundleInfo& info) {
    return keychainAccessGroup(info);
}

std::optional<QString> decodedUtf8(const QByteArray& data) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool writeAccountItem(Keychain& keychain, const KeychainQuery& query, const QByteArray& data) {
    const auto existing = keychain.copyData(query);
    if (existing.status == keychain_status::itemNotFound)
        return keychain.add(query, data) == keychain_status::success;
    if (existing.status == keychain_status::success)
        return keychain.update(query, data) == keychain_status::success;
    return false;
}

TessaronSessionTokenStore::TessaronSessionTokenStore(Keychain& keychain, const BundleInfo& info)
    : keychain_(&keychain)
    , info_(&info) {}

TessaronSessionTokenStore TessaronSessionTokenStore::fixed(std::optional<QString> token) {
    TessaronSessionTokenStore store;
    store.fixed_ = std::move(token);
    return store;
}

KeychainQuery TessaronSessionTokenStore::baseQuery(const QString& accessGroup) {
    return {.accessGroup = accessGroup, .service = accountKeychainService, .account = keychainAccount};
}

std::optional<QByteArray> TessaronSessionTokenStore::readKeychainData() const {
    const auto group = keychain_ ? accountKeychainAccessGroup(*info_) : std::nullopt;
    if (!group)
        return std::nullopt;
    auto result = keychain_->copyData(baseQuery(*group));
    if (result.status != keychain_status::success)
        return std::nullopt;
    return std::move(result.value);
}

std::optional<QString> TessaronSessionTokenStore::load() const {
    if (!keychain_)
        return fixed_;
    const auto data = readKeychainData();
    if (!data || data->isEmpty() || data->size() > maximumBytes)
        return std::nullopt;
    return decodedUtf8(*data);
}

bool TessaronSessionTokenStore::save(const QString& token) const {
    if (!keychain_)
        return false;
    const QByteArray data = token.toUtf8();
    if (data.isEmpty() || data.size() > maximumBytes)
        return false;
    const auto group = accountKeychainAccessGroup(*info_);
    if (!group)
        return false;
    return writeAccountItem(*keychain_, baseQuery(*group), data);
}

void TessaronSessionTokenStore::remove() const {
    if (!keychain_)
        return;
    if (const auto group = accountKeychainAccessGroup(*info_))
        keychain_->remove(baseQuery(*group));
}

} // namespace tessaron
