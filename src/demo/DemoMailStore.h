#pragma once
// The demo servers' mail: one maildrop per demo login, each a list of
// messages with a unique id. The POP3 server reads and removes, the SMTP
// server and the arrival timer add; every call may come from any thread.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <mutex>

namespace vm {

struct DemoMessage
{
    QByteArray uid;  // the UIDL id, unique within the store
    QByteArray text; // the whole message, lines ended by CR LF, not dot-stuffed
};

class DemoMailStore
{
public:
    // Bounds that keep a flood of mail from growing without end: a drop
    // refuses mail past either.
    static constexpr int kMaxMessages = 2000;
    static constexpr qint64 kMaxBytes = qint64(256) << 20;

    void AddMaildrop(const QByteArray& login);
    bool HasMaildrop(const QByteArray& login) const;
    // Appends the message with a fresh id; false when the drop is unknown
    // or full.
    bool Deliver(const QByteArray& login, const QByteArray& text);
    // Appends the message with the given id (sample mail, whose ids stay
    // the same from one run to the next); false when the drop is unknown,
    // full or already holds the id.
    bool DeliverWithUid(const QByteArray& login, const QByteArray& uid, const QByteArray& text);
    // The drop's messages as they are now (a POP3 session works on this).
    QList<DemoMessage> Snapshot(const QByteArray& login) const;
    // Removes the messages with these ids; ids no longer there are ignored.
    void Remove(const QByteArray& login, const QSet<QByteArray>& uids);
    int Count(const QByteArray& login) const;

private:
    bool Append(const QByteArray& login, DemoMessage message);

    mutable std::mutex mutex_;
    QHash<QByteArray, QList<DemoMessage>> drops_;
    quint64 nextId_ = 1;
};

} // namespace vm
