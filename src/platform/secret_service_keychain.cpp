// GLib's headers (libsecret) come before any Qt header: Qt's keyword macros break them. Reading items by
// their D-Bus paths, which the listing does, is part of libsecret's API that may still change.
#define SECRET_API_SUBJECT_TO_CHANGE
#include <libsecret/secret.h>

#include "platform/secret_service_keychain.hpp"

#include "platform/system_log.hpp"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaron {

namespace {

constexpr auto accessGroupAttribute = "access-group";
constexpr auto serviceAttribute = "service";
constexpr auto accountAttribute = "account";

// Filled member by member, so the struct's reserved members stay zero.
const SecretSchema genericPasswordSchema = [] {
    SecretSchema schema{};
    schema.name = "com.hallmere.tessaron.GenericPassword";
    schema.flags = SECRET_SCHEMA_NONE;
    schema.attributes[0] = {accessGroupAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {serviceAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[2] = {accountAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
    return schema;
}();

// A locked item still exists: adding beside it would make a duplicate.
constexpr auto anyItem = SECRET_SEARCH_ALL;
const auto unlockedItems = SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK);
const auto unlockedItemsWithSecrets =
    SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);

// The first version of a persistent reference: this prefix, then the item's access group, service and
// account as a compact JSON array. It names the item by what identifies it, so it holds as long as the
// item exists, across updates and in every process of the user.
const QByteArray referencePrefix = QByteArrayLiteral("tessaron-keychain-item/1:");

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct SecretValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;
using Items = std::vector<GObjectPtr<SecretItem>>;

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("keychain"));
    return log;
}

// Cancels the libsecret calls of one operation once the operation has run past its limit.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds limit)
        : cancellable_(g_cancellable_new())
        , watchdog_(cancelAfter, cancellable_.get(), limit) {}

    GCancellable* cancellable() const { return cancellable_.get(); }

private:
    static void cancelAfter(std::stop_token finished, GCancellable* cancellable,
                            std::chrono::milliseconds limit) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        if (!wake.wait_for(lock, finished, limit, [&finished] { return finished.stop_requested(); }))
            g_cancellable_cancel(cancellable);
    }

    GObjectPtr<GCancellable> cancellable_;
    std::jthread watchdog_; // declared last: stopped and joined before the cancellable is released
};

// One operation on the Secret Service. libsecret keeps one connection and one session per process, so
// operations take turns process-wide; the deadline starts once the turn has come.
class Operation {
public:
    explicit Operation(std::chrono::milliseconds limit)
        : turn_(turnMutex)
        , deadline_(limit) {}

    GCancellable* cancellable() const { return deadline_.cancellable(); }

    // libsecret keeps talking to the daemon that answered first, by its unique bus name. Once that daemon
    // is gone (restarted, or crashed and started again) every call fails with ServiceUnknown until the
    // cached connection is dropped; then one more attempt reaches whichever daemon serves now.
    template <typename Attempt> auto run(Attempt attempt) {
        auto result = attempt(*this);
        if (!lostDaemon_)
            return result;
        lostDaemon_ = false;
        secret_service_disconnect();
        return attempt(*this);
    }

    // Whatever libsecret reports means the service could not be reached, refused, or ran out of time.
    qint32 fail(GError* error) {
        lostDaemon_ = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN);
        log().error(
            QStringLiteral("failed %1 %2")
                .arg(QString::fromUtf8(g_quark_to_string(error->domain)), QString::number(error->code)));
        g_error_free(error);
        return keychain_status::notAvailable;
    }

private:
    static inline std::mutex turnMutex;
    std::lock_guard<std::mutex> turn_;
    Deadline deadline_;
    bool lostDaemon_ = false;
};

// A main context of the calling thread's own for the asynchronous calls of one step, which runs what was
// posted to it before it goes. Releasing an unlock's result ends its prompt's D-Bus signal subscriptions,
// and GLib frees what each subscription kept in an idle call posted to the thread's context. libsecret's
// synchronous unlock releases its result after it stopped using its context, so those frees never run
// (16 bytes a prompt): the unlock here releases its result while this context is the thread's.
class ThreadContext {
public:
    ThreadContext()
        : context_(g_main_context_new()) {
        g_main_context_push_thread_default(context_);
    }
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;
    ~ThreadContext() {
        while (g_main_context_iteration(context_, FALSE)) {
        }
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }

    template <typename Done> void runUntil(Done done) const {
        while (!done())
            g_main_context_iteration(context_, TRUE);
    }

private:
    GMainContext* context_;
};

// The attributes a query matches on, with the UTF-8 text the table points into.
class QueryAttributes {
public:
    explicit QueryAttributes(const KeychainQuery& query)
        : accessGroup_(query.accessGroup.toUtf8())
        , service_(query.service.toUtf8())
        , account_(query.account.value_or(QString()).toUtf8())
        , table_(g_hash_table_new(g_str_hash, g_str_equal)) {
        insert(accessGroupAttribute, accessGroup_);
        insert(serviceAttribute, service_);
        if (query.account)
            insert(accountAttribute, account_);
    }

    GHashTable* table() const { return table_.get(); }

private:
    void insert(const char* name, const QByteArray& value) {
        g_hash_table_insert(table_.get(), const_cast<char*>(name), const_cast<char*>(value.constData()));
    }

    const QByteArray accessGroup_;
    const QByteArray service_;
    const QByteArray account_;
    HashTablePtr table_;
};

// The items the query matches; itemNotFound when there is none.
KeychainResult<Items> find(const KeychainQuery& query, SecretSearchFlags flags, Operation& operation) {
    const QueryAttributes attributes(query);
    GError* error = nullptr;
    GList* found = secret_service_search_sync(nullptr, &genericPasswordSchema, attributes.table(), flags,
                                              operation.cancellable(), &error);
    if (error)
        return {operation.fail(error), {}};
    Items items;
    for (GList* link = found; link; link = link->next)
        items.emplace_back(static_cast<SecretItem*>(link->data));
    g_list_free(found);
    if (items.empty())
        return {keychain_status::itemNotFound, {}};
    return {keychain_status::success, std::move(items)};
}

// An item whose unlock was refused stays locked, and its secret out of reach.
qint32 refusedUnlock(Operation& operation) {
    return operation.fail(g_error_new_literal(SECRET_ERROR, SECRET_ERROR_IS_LOCKED, "locked"));
}

// The secret the search loaded.
KeychainResult<QByteArray> secretOf(SecretItem* item, Operation& operation) {
    const SecretValuePtr secret(secret_item_get_secret(item));
    if (!secret)
        return {refusedUnlock(operation), {}};
    gsize length = 0;
    const gchar* bytes = secret_value_get(secret.get(), &length);
    return {keychain_status::success, QByteArray(bytes, qsizetype(length))};
}

SecretValuePtr secretValue(const QByteArray& data) {
    return SecretValuePtr(secret_value_new(data.constData(), data.size(), "application/octet-stream"));
}

KeychainResult<QByteArray> readData(const KeychainQuery& query, Operation& operation) {
    const auto found = find(query, unlockedItemsWithSecrets, operation);
    if (found.status != keychain_status::success)
        return {found.status, {}};
    return secretOf(found.value.front().get(), operation);
}

// Object paths of items, terminated by a null pointer as libsecret takes them.
class ItemPaths {
public:
    // Takes over a list libsecret handed out.
    void take(gchar** found) {
        for (gchar** path = found; path && *path; ++path)
            paths_.emplace_back(*path);
        g_strfreev(found);
    }
    void add(const ItemPaths& other) {
        paths_.insert(paths_.end(), other.paths_.begin(), other.paths_.end());
    }
    bool empty() const { return paths_.empty(); }
    std::size_t size() const { return paths_.size(); }
    const char* operator[](std::size_t index) const { return paths_[index].c_str(); }
    std::vector<const gchar*> terminated() const {
        std::vector<const gchar*> list;
        for (const auto& path : paths_)
            list.push_back(path.c_str());
        list.push_back(nullptr);
        return list;
    }

private:
    std::vector<std::string> paths_;
};

void unlockAnswered(GObject*, GAsyncResult* result, gpointer answer) {
    static_cast<GObjectPtr<GAsyncResult>*>(answer)->reset(G_ASYNC_RESULT(g_object_ref(result)));
}

// Unlocks the items, which may ask the person at the keyring's prompt; success once every one is open.
qint32 unlock(SecretService* service, const ItemPaths& locked, Operation& operation) {
    const ThreadContext context;
    GObjectPtr<GAsyncResult> answer; // released before the context runs what its release posted
    secret_service_unlock_dbus_paths(service, locked.terminated().data(), operation.cancellable(),
                                     unlockAnswered, &answer);
    context.runUntil([&answer] { return answer != nullptr; });
    GError* error = nullptr;
    const auto count = secret_service_unlock_dbus_paths_finish(service, answer.get(), nullptr, &error);
    if (error)
        return operation.fail(error);
    if (count < gint(locked.size()))
        return refusedUnlock(operation);
    return keychain_status::success;
}

// The paths of every item the query matches, with those that were locked unlocked first; itemNotFound when
// there is none. A locked item whose unlock is refused is unreadable, as a search that loads secrets finds
// it.
KeychainResult<ItemPaths> unlockedPaths(SecretService* service, const KeychainQuery& query,
                                        Operation& operation) {
    const QueryAttributes attributes(query);
    gchar** unlocked = nullptr;
    gchar** locked = nullptr;
    GError* error = nullptr;
    secret_service_search_for_dbus_paths_sync(service, &genericPasswordSchema, attributes.table(),
                                              operation.cancellable(), &unlocked, &locked, &error);
    if (error)
        return {operation.fail(error), {}};
    ItemPaths paths;
    paths.take(unlocked);
    ItemPaths stillLocked;
    stillLocked.take(locked);
    if (!stillLocked.empty()) {
        if (const auto status = unlock(service, stillLocked, operation); status != keychain_status::success)
            return {status, {}};
        paths.add(stillLocked);
    }
    if (paths.empty())
        return {keychain_status::itemNotFound, {}};
    return {keychain_status::success, std::move(paths)};
}

// Every item's secret and account. All the questions go out before the first answer is awaited: the daemon
// answers them one after another, but none waits for the answer to the one before, which a list of a hundred
// items would feel.
class ItemReads {
public:
    explicit ItemReads(const ItemPaths& paths)
        : paths_(paths)
        , terminated_(paths.terminated())
        , accounts_(paths.size()) {}
    ItemReads(const ItemReads&) = delete;
    ItemReads& operator=(const ItemReads&) = delete;
    ~ItemReads() {
        while (auto** error = firstError())
            g_error_free(std::exchange(*error, nullptr));
    }

    KeychainResult<QList<KeychainItem>> read(SecretService* service, Operation& operation) {
        const ThreadContext context;
        secret_service_get_secrets_for_dbus_paths(service, terminated_.data(), operation.cancellable(),
                                                  secretsAnswered, &secrets_);
        auto* connection = g_dbus_proxy_get_connection(G_DBUS_PROXY(service));
        const auto* name = g_dbus_proxy_get_name(G_DBUS_PROXY(service));
        for (std::size_t index = 0; index < paths_.size(); ++index) {
            g_dbus_connection_call(connection, name, paths_[index], "org.freedesktop.DBus.Properties", "Get",
                                   g_variant_new("(ss)", "org.freedesktop.Secret.Item", "Attributes"),
                                   G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, operation.cancellable(),
                                   accountAnswered, &accounts_[index]);
        }
        context.runUntil([this] { return allAnswered(); });
        return items(operation);
    }

private:
    struct Secrets {
        bool done = false;
        HashTablePtr values;
        GError* error = nullptr;
    };
    struct Account {
        bool done = false;
        VariantPtr reply;
        GError* error = nullptr;
    };

    static void secretsAnswered(GObject* service, GAsyncResult* result, gpointer data) {
        auto& secrets = *static_cast<Secrets*>(data);
        secrets.values.reset(secret_service_get_secrets_for_dbus_paths_finish(SECRET_SERVICE(service), result,
                                                                              &secrets.error));
        secrets.done = true;
    }
    static void accountAnswered(GObject* connection, GAsyncResult* result, gpointer data) {
        auto& account = *static_cast<Account*>(data);
        account.reply.reset(
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &account.error));
        account.done = true;
    }

    bool allAnswered() const {
        return secrets_.done &&
               std::ranges::all_of(accounts_, [](const Account& account) { return account.done; });
    }
    // Where the first failure is kept, if there was one.
    GError** firstError() {
        if (secrets_.error)
            return &secrets_.error;
        for (auto& account : accounts_) {
            if (account.error)
                return &account.error;
        }
        return nullptr;
    }

    static QString accountOf(GVariant* reply) {
        GVariant* attributes = nullptr;
        g_variant_get(reply, "(v)", &attributes);
        const VariantPtr owned(attributes);
        const gchar* account = nullptr;
        g_variant_lookup(attributes, accountAttribute, "&s", &account);
        return QString::fromUtf8(account);
    }

    KeychainResult<QList<KeychainItem>> items(Operation& operation) {
        // fail() takes the first failure over; the destructor frees any other.
        if (auto** error = firstError())
            return {operation.fail(std::exchange(*error, nullptr)), {}};
        QList<KeychainItem> items;
        for (std::size_t index = 0; index < paths_.size(); ++index) {
            auto* secret =
                static_cast<SecretValue*>(g_hash_table_lookup(secrets_.values.get(), paths_[index]));
            if (!secret)
                return {refusedUnlock(operation), {}};
            gsize length = 0;
            const gchar* bytes = secret_value_get(secret, &length);
            items.append({accountOf(accounts_[index].reply.get()), QByteArray(bytes, qsizetype(length))});
        }
        return {keychain_status::success, items};
    }

    const ItemPaths& paths_;
    std::vector<const gchar*> terminated_;
    Secrets secrets_;
    std::vector<Account> accounts_;
};

// One search, then every secret and account asked for together: a search that loads the items themselves
// makes each item's object with round trips of its own, one item after another.
KeychainResult<QList<KeychainItem>> readAll(const KeychainQuery& query, Operation& operation) {
    GError* error = nullptr;
    const GObjectPtr<SecretService> service(
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, operation.cancellable(), &error));
    if (error)
        return {operation.fail(error), {}};
    const auto found =
        unlockedPaths(service.get(), {query.accessGroup, query.service, std::nullopt}, operation);
    if (found.status != keychain_status::success)
        return {found.status, {}};
    auto read = ItemReads(found.value).read(service.get(), operation);
    std::sort(read.value.begin(), read.value.end(),
              [](const auto& a, const auto& b) { return a.account < b.account; });
    return read;
}

qint32 addItem(const KeychainQuery& query, const QByteArray& data, Operation& operation) {
    const auto found = find(query, anyItem, operation);
    if (found.status == keychain_status::success)
        return keychain_status::duplicateItem;
    if (found.status != keychain_status::itemNotFound)
        return found.status;
    const QueryAttributes attributes(query);
    // What a password manager shows for the item.
    const auto label = QStringLiteral("%1 (%2)").arg(query.service, *query.account).toUtf8();
    GError* error = nullptr;
    secret_password_storev_binary_sync(&genericPasswordSchema, attributes.table(), SECRET_COLLECTION_DEFAULT,
                                       label.constData(), secretValue(data).get(), operation.cancellable(),
                                       &error);
    return error ? operation.fail(error) : keychain_status::success;
}

qint32 updateItem(const KeychainQuery& query, const QByteArray& data, Operation& operation) {
    const auto found = find(query, unlockedItems, operation);
    if (found.status != keychain_status::success)
        return found.status;
    // Changing the secret in place keeps the item in whichever collection holds it.
    const auto secret = secretValue(data);
    for (const auto& item : found.value) {
        GError* error = nullptr;
        secret_item_set_secret_sync(item.get(), secret.get(), operation.cancellable(), &error);
        if (error)
            return operation.fail(error);
    }
    return keychain_status::success;
}

// Item by item: clearing by attributes skips items that stay locked and reports them as not found, which
// callers take for removed.
qint32 removeItems(const KeychainQuery& query, Operation& operation) {
    const auto found = find(query, unlockedItems, operation);
    if (found.status != keychain_status::success)
        return found.status;
    for (const auto& item : found.value) {
        GError* error = nullptr;
        secret_item_delete_sync(item.get(), operation.cancellable(), &error);
        if (error)
            return operation.fail(error);
    }
    return keychain_status::success;
}

KeychainResult<QByteArray> referenceTo(const KeychainQuery& query, Operation& operation) {
    const auto found = find(query, anyItem, operation);
    if (found.status != keychain_status::success)
        return {found.status, {}};
    const QJsonArray identity{query.accessGroup, query.service, *query.account};
    return {keychain_status::success,
            referencePrefix + QJsonDocument(identity).toJson(QJsonDocument::Compact)};
}

std::optional<KeychainQuery> queryOf(const QByteArray& reference) {
    if (!reference.startsWith(referencePrefix))
        return std::nullopt;
    QJsonParseError error;
    const auto identity = QJsonDocument::fromJson(reference.mid(referencePrefix.size()), &error).array();
    if (error.error != QJsonParseError::NoError || identity.size() != 3 ||
        !std::all_of(identity.begin(), identity.end(), [](const auto& field) { return field.isString(); }))
        return std::nullopt;
    return KeychainQuery{identity[0].toString(), identity[1].toString(), identity[2].toString()};
}

} // namespace

// One thread that runs the keychain's work in the order it arrived.
class SecretServiceKeychain::Worker {
public:
    Worker()
        : thread_([this](std::stop_token stop) { serve(stop); }) {}

    void add(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

private:
    void serve(std::stop_token stop) {
        while (auto job = next(stop))
            job();
    }

    // Empty once the worker is stopping.
    std::function<void()> next(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); }))
            return {};
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        return job;
    }

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> jobs_;
    std::jthread thread_; // declared last: joined before the queue goes
};

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds operationLimit)
    : operationLimit_(operationLimit)
    , worker_(std::make_unique<Worker>()) {}

SecretServiceKeychain::~SecretServiceKeychain() = default;

void SecretServiceKeychain::dispatch(std::function<void()> job) {
    worker_->add(std::move(job));
}

KeychainResult<QByteArray> SecretServiceKeychain::copyData(const KeychainQuery& query) {
    if (!query.account)
        return {keychain_status::badParameter, {}};
    return Operation(operationLimit_).run([&](Operation& operation) { return readData(query, operation); });
}

KeychainResult<QList<KeychainItem>> SecretServiceKeychain::copyAll(const KeychainQuery& query) {
    return Operation(operationLimit_).run([&](Operation& operation) { return readAll(query, operation); });
}

qint32 SecretServiceKeychain::add(const KeychainQuery& query, const QByteArray& data) {
    if (!query.account)
        return keychain_status::badParameter;
    return Operation(operationLimit_).run([&](Operation& operation) {
        return addItem(query, data, operation);
    });
}

qint32 SecretServiceKeychain::update(const KeychainQuery& query, const QByteArray& data) {
    if (!query.account)
        return keychain_status::badParameter;
    return Operation(operationLimit_).run([&](Operation& operation) {
        return updateItem(query, data, operation);
    });
}

qint32 SecretServiceKeychain::remove(const KeychainQuery& query) {
    return Operation(operationLimit_).run([&](Operation& operation) {
        return removeItems(query, operation);
    });
}

KeychainResult<QByteArray> SecretServiceKeychain::persistentRef(const KeychainQuery& query) {
    if (!query.account)
        return {keychain_status::badParameter, {}};
    return Operation(operationLimit_).run([&](Operation& operation) {
        return referenceTo(query, operation);
    });
}

KeychainResult<QByteArray> SecretServiceKeychain::resolve(const QByteArray& persistentRef) {
    const auto query = queryOf(persistentRef);
    if (!query)
        return {keychain_status::itemNotFound, {}};
    return copyData(*query);
}

Keychain& systemKeychain() {
    // Never destroyed: quitting must not wait for a keyring that does not answer.
    static auto* keychain = new SecretServiceKeychain;
    return *keychain;
}

} // namespace tessaron
