#pragma once
// The desktop keyring: items of the freedesktop Secret Service (GNOME
// Keyring, KWallet, KeePassXC) found by their attributes, through libsecret.
//
// Every call ends within a limit: the service's own time-outs are far longer
// (25 s per D-Bus call), and an unlock prompt waits for the user for ever.
// A call waits for the service at most replyMs; once the keyring asks the
// user to unlock it, at most promptMs more. The caller's thread keeps
// processing its timers and queued calls meanwhile (not user input), so a
// window stays painted. A call that is given up is cancelled (an unlock
// prompt is dismissed) and its thread ends by itself.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>
#include <stdexcept>

namespace vm {

class SecretServiceError : public std::runtime_error
{
public:
    enum class Kind {
        Unreachable, // no session bus, or no Secret Service on it
        Locked,      // the keyring stays locked: unlocking was refused, failed or not answered
        TimedOut,    // no answer within the limit
        Failed,      // anything else the service reported
    };
    SecretServiceError(Kind kind, const QString& detail);
    Kind kind;
    QString detail; // the service's own words, may be empty
};

struct SecretServiceLimits
{
    int replyMs = 5000;    // waiting for the service
    int promptMs = 120000; // waiting for the user to unlock the keyring
};

// Attribute names and values of an item; every call of one program uses the
// same names (they form the item's schema).
using SecretAttributes = QList<QPair<QString, QString>>;

class SecretServiceClient
{
public:
    // schemaName is kept with every item stored ("xdg:schema") and limits
    // the searches to such items.
    explicit SecretServiceClient(const QString& schemaName, SecretServiceLimits limits = {});

    // The secret of the item that has all of attributes; none when no item
    // has them. A locked item is unlocked first (the keyring may ask).
    std::optional<QByteArray> Lookup(const SecretAttributes& attributes);
    // Stores secret in the default collection under label, replacing an item
    // with the same attributes. A locked collection is unlocked first.
    void Store(const SecretAttributes& attributes, const QString& label, const QByteArray& secret);
    // Deletes every item that has all of attributes; returns how many.
    int Clear(const SecretAttributes& attributes);

    const SecretServiceLimits& Limits() const { return limits_; }

private:
    QString schemaName_;
    SecretServiceLimits limits_;
};

} // namespace vm
