#include "profiles/upgrade_gate.hpp"

#include "platform/json_file_preferences.hpp"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonValue>
#include <QThread>

namespace tessaron {

namespace {

const QString minimumBuildKey = QStringLiteral("minimumBuild");
const QString minimumVersionKey = QStringLiteral("minimumVersion");
const QString pageKey = QStringLiteral("page");

// A JSON number without a fraction that fits in 64 bits.
std::optional<qint64> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const qint64 whole = value.toInteger();
    if (double(whole) != value.toDouble())
        return std::nullopt;
    return whole;
}

// The page is opened in the browser, so only an absolute https address is accepted.
std::optional<QUrl> httpsPage(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    QUrl url(value.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().compare(u"https", Qt::CaseInsensitive) != 0 || url.host().isEmpty())
        return std::nullopt;
    return url;
}

bool isSuccess(int status) {
    return status >= 200 && status <= 299;
}

} // namespace

QJsonObject TessaronUpgradeRequirement::toJson() const {
    QJsonObject object{{minimumBuildKey, minimumBuild}, {minimumVersionKey, minimumVersion}};
    if (page)
        object.insert(pageKey, page->toString(QUrl::FullyEncoded));
    return object;
}

std::optional<TessaronUpgradeRequirement> TessaronUpgradeRequirement::fromJson(const QJsonObject& object) {
    const auto build = wholeNumber(object.value(minimumBuildKey));
    const auto version = object.value(minimumVersionKey);
    if (!build || !version.isString())
        return std::nullopt;
    TessaronUpgradeRequirement requirement{*build, version.toString(), std::nullopt};
    const auto page = object.value(pageKey);
    if (!page.isUndefined() && !page.isNull()) {
        requirement.page = httpsPage(page);
        if (!requirement.page)
            return std::nullopt;
    }
    return requirement;
}

std::optional<TessaronUpgradeRequirement>
TessaronUpgradeRequirement::fromUpgradeReply(const QByteArray& body) {
    const auto document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const auto object = document.object();
    const auto error = object.value(QStringLiteral("error"));
    if (!error.isString() || error.toString() != u"upgrade_required")
        return std::nullopt;
    return TessaronUpgradeRequirement{
        .minimumBuild = wholeNumber(object.value(minimumBuildKey)).value_or(0),
        .minimumVersion = object.value(minimumVersionKey).toString(),
        .page = httpsPage(object.value(pageKey)),
    };
}

TessaronServerUpgradeGate::TessaronServerUpgradeGate(Preferences& preferences, QObject* parent)
    : QObject(parent)
    , preferences_(preferences) {
    if (const auto stored = preferences_.data(storageKey)) {
        const auto document = QJsonDocument::fromJson(*stored);
        if (document.isObject())
            requirement_ = TessaronUpgradeRequirement::fromJson(document.object());
    }
}

TessaronServerUpgradeGate& TessaronServerUpgradeGate::shared() {
    static TessaronServerUpgradeGate* const gate = [] {
        // Lives as long as the process. A report from a background thread may be the first use, so the
        // gate is handed to the main thread rather than left on the thread that created it.
        auto* created = new TessaronServerUpgradeGate(standardPreferences());
        if (const auto* application = QCoreApplication::instance())
            created->moveToThread(application->thread());
        return created;
    }();
    return *gate;
}

QMetaObject::Connection
TessaronServerUpgradeGate::subscribe(const QObject* context,
                                     std::function<void(const OptionalUpgradeRequirement&)> receiver) {
    receiver(requirement_);
    return connect(this, &TessaronServerUpgradeGate::requirementChanged, context, std::move(receiver));
}

void TessaronServerUpgradeGate::clear() {
    preferences_.remove(storageKey);
    setRequirement(std::nullopt);
}

void TessaronServerUpgradeGate::observe(int status, const std::optional<QByteArray>& body) {
    if (isSuccess(status)) {
        clear();
        return;
    }
    if (status != upgradeRequiredStatus || !body)
        return;
    if (auto requirement = TessaronUpgradeRequirement::fromUpgradeReply(*body)) {
        preferences_.setValue(storageKey,
                              QJsonDocument(requirement->toJson()).toJson(QJsonDocument::Compact));
        setRequirement(std::move(requirement));
    }
}

void TessaronServerUpgradeGate::report(int status, std::optional<QByteArray> body) {
    if (QThread::currentThread() == thread()) {
        observe(status, body);
        return;
    }
    // Posted to the gate itself, so an observation still queued when the gate goes away is dropped.
    QMetaObject::invokeMethod(
        this, [this, status, body = std::move(body)] { observe(status, body); }, Qt::QueuedConnection);
}

void TessaronServerUpgradeGate::setRequirement(OptionalUpgradeRequirement requirement) {
    if (requirement == requirement_)
        return;
    requirement_ = std::move(requirement);
    Q_EMIT requirementChanged(requirement_);
}

} // namespace tessaron
