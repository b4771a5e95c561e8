#include "demo/DemoMailStore.h"

#include <QDateTime>
#include <QFile>

#include "core/AtomicFile.h"

namespace vm {

void DemoMailStore::AddMaildrop(const QByteArray& login)
{
    std::lock_guard lock(mutex_);
    if (!drops_.contains(login)) {
        drops_.insert(login, {});
        order_.append(login);
    }
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
    if (!Append(login, {uid, text}))
        return false;
    Persist();
    return true;
}

bool DemoMailStore::DeliverWithUid(const QByteArray& login, const QByteArray& uid,
                                   const QByteArray& text)
{
    std::lock_guard lock(mutex_);
    if (!Append(login, {uid, text}))
        return false;
    Persist();
    return true;
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
    if (it->removeIf([&](const DemoMessage& m) { return uids.contains(m.uid); }) > 0)
        Persist();
}

int DemoMailStore::Count(const QByteArray& login) const
{
    std::lock_guard lock(mutex_);
    return int(drops_.value(login).size());
}

namespace {

// "VMDEMO1", then big-endian: web port (16 bits), number of drops (32), and
// per drop its login and message count, per message its id and text (each
// a 32-bit length and the bytes).
const QByteArray kMagic = "VMDEMO1";
constexpr int kMaxDrops = 16;
constexpr int kMaxIdLength = 1024;

void PutBytes(QByteArray& out, const QByteArray& bytes)
{
    const quint32 n = quint32(bytes.size());
    out += char(n >> 24);
    out += char(n >> 16);
    out += char(n >> 8);
    out += char(n);
    out += bytes;
}

// Reads numbers and byte strings from a block, refusing to read past it.
class Reader
{
public:
    explicit Reader(const QByteArray& data) : data_(data) {}
    bool Number(quint32& v, int bytes)
    {
        if (data_.size() - pos_ < bytes)
            return false;
        v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | quint8(data_[pos_++]);
        return true;
    }
    bool Bytes(QByteArray& out, qint64 limit)
    {
        quint32 n = 0;
        if (!Number(n, 4) || n > limit || data_.size() - pos_ < qint64(n))
            return false;
        out = data_.mid(pos_, n);
        pos_ += n;
        return true;
    }
    bool AtEnd() const { return pos_ == data_.size(); }

private:
    const QByteArray& data_;
    qsizetype pos_ = 0;
};

} // namespace

QByteArray DemoMailStore::Encode(const DemoStoreImage& image)
{
    QByteArray out = kMagic;
    out += char(image.webPort >> 8);
    out += char(image.webPort & 0xff);
    const quint32 drops = quint32(image.drops.size());
    out += QByteArray(1, char(drops >> 24)) + char(drops >> 16) + char(drops >> 8) + char(drops);
    for (const auto& [login, messages] : image.drops) {
        PutBytes(out, login);
        const quint32 n = quint32(messages.size());
        out += QByteArray(1, char(n >> 24)) + char(n >> 16) + char(n >> 8) + char(n);
        for (const DemoMessage& m : messages) {
            PutBytes(out, m.uid);
            PutBytes(out, m.text);
        }
    }
    return out;
}

bool DemoMailStore::Decode(const QByteArray& bytes, DemoStoreImage& image)
{
    if (!bytes.startsWith(kMagic))
        return false;
    const QByteArray body = bytes.mid(kMagic.size());
    Reader in(body);
    DemoStoreImage result;
    quint32 port = 0, drops = 0;
    if (!in.Number(port, 2) || !in.Number(drops, 4) || drops > kMaxDrops)
        return false;
    result.webPort = quint16(port);
    for (quint32 d = 0; d < drops; ++d) {
        QByteArray login;
        quint32 count = 0;
        if (!in.Bytes(login, kMaxIdLength) || !in.Number(count, 4) || count > kMaxMessages)
            return false;
        QList<DemoMessage> messages;
        qint64 total = 0;
        for (quint32 i = 0; i < count; ++i) {
            DemoMessage m;
            if (!in.Bytes(m.uid, kMaxIdLength) || !in.Bytes(m.text, kMaxBytes - total))
                return false;
            total += m.text.size();
            messages.append(std::move(m));
        }
        result.drops.append({login, messages});
    }
    if (!in.AtEnd())
        return false;
    image = std::move(result);
    return true;
}

bool DemoMailStore::ReadFile(const QString& path, DemoStoreImage& image, QString* problem)
{
    if (problem)
        problem->clear();
    QFile file(path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    if (file.size() > kMaxDrops * (kMaxBytes + kMaxMessages * qint64(kMaxIdLength + 8))) {
        if (problem)
            *problem = QStringLiteral("the file is too large");
        return false;
    }
    if (!Decode(file.readAll(), image)) {
        if (problem)
            *problem = QStringLiteral("the file is damaged");
        return false;
    }
    return true;
}

void DemoMailStore::Restore(const DemoStoreImage& image)
{
    std::lock_guard lock(mutex_);
    for (const auto& [login, messages] : image.drops) {
        auto it = drops_.find(login);
        if (it == drops_.end())
            continue;
        it->clear();
        for (const DemoMessage& m : messages)
            Append(login, m);
    }
    Persist();
}

bool DemoMailStore::KeepIn(const QString& path, quint16 webPort, QString* error)
{
    std::lock_guard lock(mutex_);
    const QString before = file_;
    file_ = path;
    webPort_ = webPort;
    if (WriteLocked(error))
        return true;
    file_ = before;
    return false;
}

bool DemoMailStore::WriteLocked(QString* error) const
{
    DemoStoreImage image;
    image.webPort = webPort_;
    for (const QByteArray& login : order_)
        image.drops.append({login, drops_.value(login)});
    return WriteFileAtomically(file_, Encode(image), error);
}

void DemoMailStore::Persist()
{
    // A failed write leaves the previous file; the next change tries again.
    if (!file_.isEmpty())
        WriteLocked(nullptr);
}

} // namespace vm
