#pragma once
// A keyring in memory for tests of what the program does with its secrets.
// Every call is logged ("read ID KIND", "write ID KIND", "remove ID KIND"),
// so a test states the exact calls it expects and any other call fails it;
// a test can make reads fail, or writes from a given one on.

#include <QMap>
#include <QPair>
#include <QStringList>

#include "model/AccountSecrets.h"

namespace vm::test {

class FakeVault : public SecretVault
{
public:
    struct Item
    {
        QString label;
        QByteArray secret;
    };
    using Key = QPair<QString, QByteArray>; // account id, kind

    std::optional<QByteArray> Read(const QString& id, const QByteArray& kind) override
    {
        calls.append(QStringLiteral("read %1 %2").arg(id, QString::fromUtf8(kind)));
        if (failReads)
            throw KeyringError(QStringLiteral("the test keyring is down"));
        const auto it = items.constFind({id, kind});
        return it == items.cend() ? std::nullopt : std::optional<QByteArray>(it->secret);
    }

    void Write(const QString& id, const QByteArray& kind, const QString& label,
               const QByteArray& secret) override
    {
        calls.append(QStringLiteral("write %1 %2").arg(id, QString::fromUtf8(kind)));
        if (failWritesFrom >= 0 && writes++ >= failWritesFrom)
            throw KeyringError(QStringLiteral("the test keyring is full"));
        items[{id, kind}] = {label, secret};
    }

    void Remove(const QString& id, const QByteArray& kind) override
    {
        calls.append(QStringLiteral("remove %1 %2").arg(id, QString::fromUtf8(kind)));
        if (failRemoves)
            throw KeyringError(QStringLiteral("the test keyring keeps everything"));
        for (auto it = items.begin(); it != items.end();)
            it = it.key().first == id && (kind.isEmpty() || it.key().second == kind)
                     ? items.erase(it)
                     : std::next(it);
    }

    // The secrets held, "ID KIND=SECRET" each, in key order.
    QStringList Held() const
    {
        QStringList out;
        for (auto it = items.cbegin(); it != items.cend(); ++it)
            out.append(QStringLiteral("%1 %2=%3")
                           .arg(it.key().first, QString::fromUtf8(it.key().second),
                                QString::fromUtf8(it->secret)));
        return out;
    }

    QMap<Key, Item> items;
    QStringList calls;
    bool failReads = false;
    bool failRemoves = false;
    int failWritesFrom = -1; // the index of the first write that fails; -1 none
    int writes = 0;
};

} // namespace vm::test
