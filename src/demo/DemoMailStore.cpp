#include "demo/DemoMailStore.h"

#include <QDateTime>

namespace vm {

void DemoMailStore::AddMaildrop(const QByteArray& login)
{
    std::lock_guard lock(mutex_);
    if (!drops_.contains(login))
        drops_.insert(login, {});
}

bool DemoMailStore::HasMaildrop(const QByteArray& login) const
{
    std::lock_guard lock(mutex_);
    return drops_.contains(login);
}

bool DemoMailStore::Append(const QByteArray& login, DemoMessage message)
{
    auto it = drops_.find(login);
    if (it == drops_.end() || it->size() >= kMaxMessages)
        return false;
    qint64 bytes = message.text.size();
    for (const DemoMessage& m : *it) {
        if (m.uid == message.uid)
            return false;
        bytes += m.text.size();
    }
    if (bytes > kMaxBytes)
        return false;
    it->append(std::move(message));
    return true;
}

bool DemoMailStore::Deliver(const QByteArray& login, const QByteArray& text)
{
    std::lock_guard lock(mutex_);
    // The start time keeps the ids of one run apart from those of an
    // earlier run whose messages a kept data directory still lists.
    static const QByteArray runStamp = QByteArray::number(QDateTime::currentSecsSinceEpoch(), 36);
    const QByteArray uid = "demo-" + runStamp + '-' + QByteArray::number(nextId_++);
    return Append(login, {uid, text});
}

bool DemoMailStore::DeliverWithUid(const QByteArray& login, const QByteArray& uid,
                                   const QByteArray& text)
{
    std::lock_guard lock(mutex_);
    return Append(login, {uid, text});
}

QList<DemoMessage> DemoMailStore::Snapshot(const QByteArray& login) const
{
    std::lock_guard lock(mutex_);
    return drops_.value(login);
}

void DemoMailStore::Remove(const QByteArray& login, const QSet<QByteArray>& uids)
{
    std::lock_guard lock(mutex_);
    auto it = drops_.find(login);
    if (it == drops_.end())
        return;
    it->removeIf([&](const DemoMessage& m) { return uids.contains(m.uid); });
}

int DemoMailStore::Count(const QByteArray& login) const
{
    std::lock_guard lock(mutex_);
    return int(drops_.value(login).size());
}

} // namespace vm
