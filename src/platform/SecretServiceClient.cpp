// libsecret comes first: GLib names a structure member "signals", which Qt's
// headers turn into a keyword.
#include <libsecret/secret.h>

#include "platform/SecretServiceClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace vm {

SecretServiceError::SecretServiceError(Kind k, const QString& d)
    : std::runtime_error(d.toStdString()), kind(k), detail(d)
{
}

namespace {

using Kind = SecretServiceError::Kind;

// What a call's thread and its caller share; the one that finishes last
// frees it, so a call that was given up can still end on its own.
struct CallState
{
    CallState() : cancellable(g_cancellable_new()) {}
    ~CallState() { g_object_unref(cancellable); }
    CallState(const CallState&) = delete;
    CallState& operator=(const CallState&) = delete;

    GCancellable* cancellable;
    std::atomic<bool> done{false};
    std::atomic<bool> prompting{false}; // the keyring is asking the user
    // Written by the call's thread before done is set.
    std::optional<SecretServiceError> error;
    std::optional<QByteArray> secret;
    int count = 0;
};

SecretServiceError FromGError(const GError* e, Kind otherwise)
{
    const QString detail = QString::fromUtf8(e->message);
    if (e->domain == G_IO_ERROR &&
        (e->code == G_IO_ERROR_CANCELLED || e->code == G_IO_ERROR_TIMED_OUT))
        return {Kind::TimedOut, detail};
    if (e->domain == G_DBUS_ERROR &&
        (e->code == G_DBUS_ERROR_SERVICE_UNKNOWN || e->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
         e->code == G_DBUS_ERROR_NO_SERVER || e->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED ||
         e->code == G_DBUS_ERROR_SPAWN_CHILD_EXITED || e->code == G_DBUS_ERROR_SPAWN_FAILED ||
         e->code == G_DBUS_ERROR_DISCONNECTED))
        return {Kind::Unreachable, detail};
    if (e->domain == G_DBUS_ERROR && e->code == G_DBUS_ERROR_TIMEOUT)
        return {Kind::TimedOut, detail};
    return {otherwise, detail};
}

// Throws the error of a failed libsecret call (and frees it).
void ThrowIf(GError* error, Kind otherwise = Kind::Failed)
{
    if (!error)
        return;
    const SecretServiceError e = FromGError(error, otherwise);
    g_error_free(error);
    throw e;
}

struct Schema
{
    Schema(const QString& name, const SecretAttributes& attributes)
    {
        GHashTable* types = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
        for (const auto& a : attributes)
            g_hash_table_insert(types, g_strdup(a.first.toUtf8().constData()),
                                GINT_TO_POINTER(SECRET_SCHEMA_ATTRIBUTE_STRING));
        schema = secret_schema_newv(name.toUtf8().constData(), SECRET_SCHEMA_NONE, types);
        g_hash_table_unref(types);
    }
    ~Schema() { secret_schema_unref(schema); }
    Schema(const Schema&) = delete;
    Schema& operator=(const Schema&) = delete;
    SecretSchema* schema;
};

struct Attributes
{
    explicit Attributes(const SecretAttributes& attributes)
        : table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free))
    {
        for (const auto& a : attributes)
            g_hash_table_insert(table, g_strdup(a.first.toUtf8().constData()),
                                g_strdup(a.second.toUtf8().constData()));
    }
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    GHashTable* table;
};

// The service on the session bus, with a session for passing secrets.
// Every failure to reach it is "unreachable".
::SecretService* Connect(CallState& s)
{
    GError* error = nullptr;
    ::SecretService* service =
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, s.cancellable, &error);
    ThrowIf(error, Kind::Unreachable);
    if (!service)
        throw SecretServiceError(Kind::Unreachable, QString());
    return service;
}

// Unlocks objects (items or collections); the keyring may ask the user.
// Throws Locked when not every one of them was unlocked.
void Unlock(CallState& s, ::SecretService* service, GList* objects)
{
    s.prompting = true;
    GError* error = nullptr;
    GList* unlocked = nullptr;
    const gint count = secret_service_unlock_sync(service, objects, s.cancellable, &unlocked, &error);
    s.prompting = false;
    g_list_free_full(unlocked, g_object_unref);
    ThrowIf(error, Kind::Locked);
    if (count < static_cast<gint>(g_list_length(objects)))
        throw SecretServiceError(Kind::Locked, QString());
}

// Every item that has the attributes, unlocked.
GList* FindUnlocked(CallState& s, ::SecretService* service, const QString& schemaName,
                    const SecretAttributes& attributes)
{
    const Schema schema(schemaName, attributes);
    const Attributes attrs(attributes);
    GError* error = nullptr;
    GList* items = secret_service_search_sync(service, schema.schema, attrs.table,
                                              SECRET_SEARCH_ALL, s.cancellable, &error);
    ThrowIf(error);
    GList* locked = nullptr;
    for (GList* i = items; i; i = i->next)
        if (secret_item_get_locked(SECRET_ITEM(i->data)))
            locked = g_list_append(locked, i->data);
    if (locked) {
        try {
            Unlock(s, service, locked);
        } catch (...) {
            g_list_free(locked);
            g_list_free_full(items, g_object_unref);
            throw;
        }
        g_list_free(locked);
    }
    return items;
}

// Runs job on a thread of its own and waits for it within the limits.
void RunLimited(const SecretServiceLimits& limits, const std::shared_ptr<CallState>& state,
                std::function<void(CallState&)> job)
{
    std::thread([state, job = std::move(job)] {
        try {
            job(*state);
        } catch (const SecretServiceError& e) {
            state->error = e;
        } catch (const std::exception& e) {
            state->error = SecretServiceError(Kind::Failed, QString::fromUtf8(e.what()));
        }
        state->done.store(true, std::memory_order_release);
    }).detach();

    QElapsedTimer clock;
    clock.start();
    qint64 deadline = limits.replyMs;
    bool wasPrompting = false;
    const auto finishedOrOverdue = [&] {
        if (state->done.load(std::memory_order_acquire))
            return true;
        const bool prompting = state->prompting.load();
        if (prompting != wasPrompting) {
            // The user gets promptMs for the prompt; the service replyMs after it.
            deadline = std::max(deadline, clock.elapsed() + (prompting ? limits.promptMs
                                                                       : limits.replyMs));
            wasPrompting = prompting;
        }
        return clock.elapsed() > deadline;
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (finishedOrOverdue())
                loop.quit();
        });
        tick.start(10);
        if (!finishedOrOverdue())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    } else {
        while (!finishedOrOverdue())
            QThread::msleep(10);
    }
    if (!state->done.load(std::memory_order_acquire)) {
        // An unlock prompt nobody answered leaves the keyring locked.
        const Kind kind = state->prompting.load() ? Kind::Locked : Kind::TimedOut;
        g_cancellable_cancel(state->cancellable);
        throw SecretServiceError(kind, QString());
    }
    if (state->error)
        throw *state->error;
}

} // namespace

SecretServiceClient::SecretServiceClient(const QString& schemaName, SecretServiceLimits limits)
    : schemaName_(schemaName), limits_(limits)
{
}

std::optional<QByteArray> SecretServiceClient::Lookup(const SecretAttributes& attributes)
{
    auto state = std::make_shared<CallState>();
    RunLimited(limits_, state, [schemaName = schemaName_, attributes](CallState& s) {
        ::SecretService* service = Connect(s);
        GList* items = FindUnlocked(s, service, schemaName, attributes);
        g_object_unref(service);
        if (!items)
            return;
        SecretItem* item = SECRET_ITEM(items->data);
        GError* error = nullptr;
        secret_item_load_secret_sync(item, s.cancellable, &error);
        SecretValue* value = error ? nullptr : secret_item_get_secret(item);
        g_list_free_full(items, g_object_unref);
        ThrowIf(error);
        if (!value)
            throw SecretServiceError(Kind::Locked, QString());
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        s.secret = QByteArray(bytes, static_cast<qsizetype>(length));
        secret_value_unref(value);
    });
    return state->secret;
}

void SecretServiceClient::Store(const SecretAttributes& attributes, const QString& label,
                          const QByteArray& secret)
{
    auto state = std::make_shared<CallState>();
    RunLimited(limits_, state, [schemaName = schemaName_, attributes, label, secret](CallState& s) {
        ::SecretService* service = Connect(s);
        GError* error = nullptr;
        SecretCollection* collection = secret_collection_for_alias_sync(
            service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, s.cancellable, &error);
        if (error || !collection) {
            g_object_unref(service);
            ThrowIf(error);
            throw SecretServiceError(Kind::Failed, QStringLiteral("no default keyring"));
        }
        try {
            if (secret_collection_get_locked(collection)) {
                GList* objects = g_list_append(nullptr, collection);
                try {
                    Unlock(s, service, objects);
                } catch (...) {
                    g_list_free(objects);
                    throw;
                }
                g_list_free(objects);
            }
            const Schema schema(schemaName, attributes);
            const Attributes attrs(attributes);
            SecretValue* value = secret_value_new(secret.constData(), secret.size(), "text/plain");
            SecretItem* item = secret_item_create_sync(
                collection, schema.schema, attrs.table, label.toUtf8().constData(), value,
                SECRET_ITEM_CREATE_REPLACE, s.cancellable, &error);
            secret_value_unref(value);
            if (item)
                g_object_unref(item);
            ThrowIf(error);
        } catch (...) {
            g_object_unref(collection);
            g_object_unref(service);
            throw;
        }
        g_object_unref(collection);
        g_object_unref(service);
    });
}

int SecretServiceClient::Clear(const SecretAttributes& attributes)
{
    auto state = std::make_shared<CallState>();
    RunLimited(limits_, state, [schemaName = schemaName_, attributes](CallState& s) {
        ::SecretService* service = Connect(s);
        GList* items = nullptr;
        try {
            items = FindUnlocked(s, service, schemaName, attributes);
        } catch (...) {
            g_object_unref(service);
            throw;
        }
        g_object_unref(service);
        GError* error = nullptr;
        for (GList* i = items; i && !error; i = i->next)
            if (secret_item_delete_sync(SECRET_ITEM(i->data), s.cancellable, &error))
                ++s.count;
        g_list_free_full(items, g_object_unref);
        ThrowIf(error);
    });
    return state->count;
}

} // namespace vm
