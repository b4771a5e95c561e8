#pragma once
// The demo servers' mail: one maildrop per demo login, each a list of
// messages with a unique id. The POP3 server reads and removes, the SMTP
// server and the arrival timer add; every call may come from any thread.
// Kept in a file (KeepIn), the store writes itself there after every change,
// so a kept data directory shows the servers' mail as it was left.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QSet>

#include <mutex>

namespace vm {

struct DemoMessage
{
    QByteArray uid;  // the UIDL id, unique within the store
    QByteArray text; // the whole message, lines ended by CR LF, not dot-stuffed
};

// The store as its file holds it: the maildrops, and the port of the demo's
// web server that its mail links to.
struct DemoStoreImage
{
    quint16 webPort = 0;
    QList<QPair<QByteArray, QList<DemoMessage>>> drops; // login, messages
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

    // The file form of an image, and back. Decode refuses (false, image
    // unchanged) anything but a complete file within the store's bounds.
    static QByteArray Encode(const DemoStoreImage& image);
    static bool Decode(const QByteArray& bytes, DemoStoreImage& image);
    // Reads an image from path: false when there is no file or it cannot
    // be read or decoded (*problem says which, empty when there is none).
    static bool ReadFile(const QString& path, DemoStoreImage& image, QString* problem);
    // Puts the image's messages into the maildrops of logins the store has
    // (each replaces that drop's messages; bounds as for delivery).
    void Restore(const DemoStoreImage& image);
    // From now on writes the store to path (atomically, owner-only) after
    // every change, with the web server's port; writes it once at once.
    // False, with the reason, when that first write fails (nothing is kept).
    bool KeepIn(const QString& path, quint16 webPort, QString* error = nullptr);

private:
    bool Append(const QByteArray& login, DemoMessage message);
    // Writes the file when the store is kept (the caller holds the lock).
    void Persist();
    bool WriteLocked(QString* error) const;

    mutable std::mutex mutex_;
    QHash<QByteArray, QList<DemoMessage>> drops_;
    QList<QByteArray> order_; // logins in the order their drops were added
    quint64 nextId_ = 1;
    QString file_;            // where the store is kept; empty: memory only
    quint16 webPort_ = 0;
};

} // namespace vm
