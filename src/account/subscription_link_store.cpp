#include "account/subscription_link_store.hpp"

#include "account/session_token_store.hpp"

namespace tessaron {

TessaronSubscriptionLinkStore::TessaronSubscriptionLinkStore(Keychain& keychain, const BundleInfo& info)
    : keychain_(&keychain)
    , info_(&info) {}

std::optional<QString> TessaronSubscriptionLinkStore::accountKey(const QString& accountID) {
    const auto bytes = accountID.toUtf8().size();
    if (bytes == 0 || bytes > maximumAccountIDBytes)
        return std::nullopt;
    return accountKeyPrefix + accountID;
}

KeychainQuery TessaronSubscriptionLinkStore::baseQuery(const QString& accessGroup, const QString& account) {
    return {.accessGroup = accessGroup, .service = accountKeychainService, .account = account};
}

std::optional<KeychainQuery> TessaronSubscriptionLinkStore::queryFor(const QString& accountID) const {
    const auto group = accountKeychainAccessGroup(*info_);
    const auto key = accountKey(accountID);
    if (!group || !key)
        return std::nullopt;
    return baseQuery(*group, *key);
}

std::optional<QByteArray> TessaronSubscriptionLinkStore::readData(const QString& accountID) const {
    const auto query = queryFor(accountID);
    if (!query)
        return std::nullopt;
    auto result = keychain_->copyData(*query);
    if (result.status != keychain_status::success)
        return std::nullopt;
    return std::move(result.value);
}

std::optional<QUrl> TessaronSubscriptionLinkStore::readURL(const QString& accountID) const {
    const auto data = readData(accountID);
    const auto text = data ? decodedUtf8(*data) : std::nullopt;
    if (!text)
        return std::nullopt;
    const QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QStringLiteral("https"))
        return std::nullopt;
    return url;
}

void TessaronSubscriptionLinkStore::write(const QUrl& url, const QString& accountID) const {
    const QByteArray data = url.toString(QUrl::FullyEncoded).toUtf8();
    if (data.size() > maximumURLBytes)
        return;
    if (const auto query = queryFor(accountID))
        writeAccountItem(*keychain_, *query, data);
}

void TessaronSubscriptionLinkStore::remove(const QString& accountID) const {
    if (const auto query = queryFor(accountID))
        keychain_->remove(*query);
}

void TessaronSubscriptionLinkStore::removeAll() const {
    const auto group = accountKeychainAccessGroup(*info_);
    if (!group)
        return;
    const auto items = keychain_->copyAll(
        {.accessGroup = *group, .service = accountKeychainService, .account = std::nullopt});
    if (items.status != keychain_status::success)
        return;
    for (const auto& item : items.value) {
        if (item.account.startsWith(accountKeyPrefix))
            keychain_->remove(baseQuery(*group, item.account));
    }
}

} // namespace tessaron
