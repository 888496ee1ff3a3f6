#include "account_model_fixture.hpp"

#include "profiles/installation_identity_error.hpp"

namespace tessaron::testing {

namespace {

const QString accessGroup = QStringLiteral("test.tessaron.shared");
const QUuid installation = QUuid::fromString(QStringLiteral("3b5e1f0a-8c2d-4e7b-9a61-0d4c7e2f9b15"));

QByteArray bytes(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject accountObject(const QString& id, const std::optional<QString>& activeGrant) {
    QJsonArray grants{QJsonObject{{"id", "grant-old"}, {"type", "invite"}, {"status", "expired"}}};
    if (activeGrant)
        grants.append(QJsonObject{{"id", *activeGrant}, {"type", "invite"}, {"status", "active"}});
    return {
        {"id", id}, {"email", "ann@example.com"}, {"createdAt", "2026-03-05T14:30:00Z"}, {"grants", grants}};
}

} // namespace

QByteArray accountReply(const QString& id, const std::optional<QString>& activeGrant) {
    return bytes(accountObject(id, activeGrant));
}

QByteArray authReply(const QString& token, const QString& accountID, const QStringList& evicted) {
    QJsonObject reply{{"sessionToken", token},
                      {"account", accountObject(accountID, QStringLiteral("grant-1"))}};
    if (!evicted.isEmpty()) {
        QJsonArray devices;
        for (const auto& name : evicted)
            devices.append(QJsonObject{{"deviceName", name}, {"platform", "macos"}});
        reply.insert("evicted", devices);
    }
    return bytes(reply);
}

QByteArray envelopeReply(const TessaronProfile& profile) {
    return bytes(QJsonObject{{"profile", QJsonDocument::fromJson(profile.canonicalJSON()).object()}});
}

QByteArray slotTakenReply(const QString& slot, const QString& deviceName) {
    return bytes(QJsonObject{{"error", "device_slot_taken"}, {"slot", slot}, {"deviceName", deviceName}});
}

AccountModelTest::AccountModelTest() = default;

AccountModelTest::~AccountModelTest() {
    model.reset();
    settle();
}

TessaronAccountModel& AccountModelTest::build(std::optional<bool> refreshOnLaunch, bool withClient) {
    std::optional<TessaronAccountClient> client;
    if (withClient)
        client.emplace(QUrl(QStringLiteral("https://accounts.test")), serviceHandle, harness.clock, nullptr);
    model = std::make_unique<TessaronAccountModel>(
        TessaronAccountServices{
            .client = std::move(client),
            .tokenStore = TessaronSessionTokenStore(harness.keychain, harness.bundle),
            .linkStore = TessaronSubscriptionLinkStore(harness.keychain, harness.bundle),
            .installationID =
                [this] {
                    if (installationFails)
                        throw TessaronInstallationIdentityError(
                            TessaronInstallationIdentityErrorKind::keychainUnavailable);
                    return installation;
                },
            .deviceName = [] { return QStringLiteral("Ann’s Laptop"); },
            .webAuth = web,
            .deviceSwap = center,
        },
        refreshOnLaunch);
    return *model;
}

TessaronSession& AccountModelTest::session() {
    if (!harness.session) {
        harness.grantConsent();
        harness.start();
        track(harness.session->bootstrap());
        settle();
    }
    return *harness.session;
}

void AccountModelTest::storeToken(const QString& token) {
    harness.keychain.setItem(accessGroup, accountKeychainService, tokenAccount, token.toUtf8());
}

std::optional<QString> AccountModelTest::storedToken() const {
    const auto data = harness.keychain.item(accessGroup, accountKeychainService, tokenAccount);
    return data ? std::optional(QString::fromUtf8(*data)) : std::nullopt;
}

std::shared_ptr<Completion> AccountModelTest::run(QCoro::Task<> task) {
    auto completion = track(std::move(task));
    settle();
    return completion;
}

} // namespace tessaron::testing
