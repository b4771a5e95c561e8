#include "model/Mailbox.h"

#include <QSet>

#include <cstring>
#include <memory>

#include "model/BinaryStream.h"
#include "model/FileErrors.h"

namespace vm {


// --- UIDL index -------------------------------------------------------------

MessageRecord* Mailbox::ScanFirst(const QByteArray& uidl, const MessageRecord* skip) const
{
    for (int i = 0; i < Count(); ++i) {
        MessageRecord* m = At(i);
        if (m && m != skip && m->UID == uidl)
            return m;
    }
    return nullptr;
}

void Mailbox::IndexAdded(MessageRecord* item, int index)
{
    if (!item)
        return;
    IndexEntry& e = index_[item->UID];
    if (e.count == 0) {
        e.first = item;
    } else if (index < Count() - 1) {
        // Inserted before the end: it wins when it now stands before the
        // previous first record (only reached when a UIDL occurs twice).
        if (IndexOf(e.first) > index)
            e.first = item;
    }
    ++e.count;
}

void Mailbox::IndexRemoved(MessageRecord* item)
{
    if (!item)
        return;
    auto it = index_.find(item->UID);
    if (it == index_.end())
        return;
    if (--it->count <= 0) {
        index_.erase(it);
        return;
    }
    if (it->first == item)
        it->first = ScanFirst(item->UID, item);
}

void Mailbox::Reindex()
{
    index_.clear();
    index_.reserve(Count());
    for (int i = 0; i < Count(); ++i) {
        MessageRecord* m = At(i);
        if (!m)
            continue;
        IndexEntry& e = index_[m->UID];
        if (e.count++ == 0)
            e.first = m;
    }
}

// --- container operations ---------------------------------------------------

int Mailbox::Add(MessageRecord* item)
{
    if (item)
        item->owner = this;
    const int i = CommonContainer::Add(item);
    IndexAdded(item, i);
    return i;
}

void Mailbox::Insert(MessageRecord* item, int index)
{
    if (item)
        item->owner = this;
    CommonContainer::Insert(item, index);
    IndexAdded(item, index);
}

bool Mailbox::Delete(MessageRecord* item)
{
    const int i = IndexOf(item);
    return i >= 0 && Delete(i);
}

bool Mailbox::Delete(int index)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()))
        return false;
    IndexRemoved(At(index));
    return CommonContainer::Delete(index);
}

bool Mailbox::Remove(MessageRecord* item)
{
    const int i = IndexOf(item);
    return i >= 0 && Remove(i);
}

bool Mailbox::Remove(int index)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()))
        return false;
    IndexRemoved(At(index));
    return CommonContainer::Remove(index);
}

bool Mailbox::Move(const MessageRecord* item, int target)
{
    if (!CommonContainer::Move(item, target))
        return false;
    if (item) {
        auto it = index_.find(item->UID);
        if (it != index_.end() && it->count > 1)
            it->first = ScanFirst(item->UID, nullptr);
    }
    return true;
}

void Mailbox::Clear()
{
    index_.clear();
    CommonContainer::Clear();
}

bool Mailbox::Replace(int index, MessageRecord* rec)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()))
        return false;
    IndexRemoved(At(index));
    if (rec)
        rec->owner = this;
    SetAt(index, rec);
    IndexAdded(rec, index);
    return true;
}

// --- flag rules -------------------------------------------------------------

void Mailbox::ApplyStartupRule(bool accountStoresPassword, bool showMessagesOnStartup)
{
    if (!AnyWithoutHeaders() && accountStoresPassword && lastCheck_ != 0 && showMessagesOnStartup) {
        stale_ = false;
        confirmed_ = true;
    }
}

void Mailbox::MarkCheckSucceeded(vm::TDateTime now)
{
    stale_ = false;
    confirmed_ = true;
    checkFailed_ = false;
    lastCheck_ = now;
}

void Mailbox::MarkCheckFailed(bool loginSucceeded, vm::TDateTime now)
{
    if (!stale_ || !loginSucceeded || AnyWithoutHeaders() || CountFresh(false) == 0)
        return;
    stale_ = false;
    if (lastCheck_ == 0)
        lastCheck_ = now;
    checkFailed_ = true;
}

// --- queries ----------------------------------------------------------------

std::int64_t Mailbox::TotalSize() const
{
    std::int64_t total = 0;
    for (int i = 0; i < Count(); ++i)
        if (const MessageRecord* m = At(i))
            total += m->size;
    return total;
}

int Mailbox::CountNew() const
{
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (const MessageRecord* m = At(i); m && m->IsNew())
            ++n;
    return n;
}

void Mailbox::ClearNew()
{
    for (int i = 0; i < Count(); ++i)
        if (MessageRecord* m = At(i))
            m->SetNew(false);
}

void Mailbox::ClearFresh(bool unlessKept)
{
    if (unlessKept && stale_)
        return;
    for (int i = 0; i < Count(); ++i)
        if (MessageRecord* m = At(i))
            m->fresh = false;
}

bool Mailbox::AnyNew() const
{
    for (int i = LastIndex(); i >= 0; --i)
        if (const MessageRecord* m = At(i); m && m->IsNew())
            return true;
    return false;
}

bool Mailbox::AnyWithoutHeaders() const
{
    for (int i = 0; i < Count(); ++i)
        if (const MessageRecord* m = At(i); m && m->noHeaders)
            return true;
    return false;
}

bool Mailbox::AnyHeadersOnly() const
{
    for (int i = 0; i < Count(); ++i)
        if (const MessageRecord* m = At(i); m && !m->noHeaders && m->headersOnly)
            return true;
    return false;
}

int Mailbox::CountFresh(bool unlessKept) const
{
    if (unlessKept && stale_)
        return 0;
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (const MessageRecord* m = At(i); m && m->fresh)
            ++n;
    return n;
}

bool Mailbox::AnySmall(int kilobytes, bool headersOnlyToo) const
{
    const std::int64_t limit = std::int64_t(kilobytes) * 1024;
    for (int i = 0; i < Count(); ++i) {
        const MessageRecord* m = At(i);
        if (m && m->size != 0 && m->size <= limit && (!headersOnlyToo || m->headersOnly))
            return true;
    }
    return false;
}

MessageRecord* Mailbox::FindByUIDL(const QByteArray& uidl) const
{
    const auto it = index_.constFind(uidl);
    return it == index_.cend() ? nullptr : it->first;
}

MessageRecord* Mailbox::FindByServerNumber(int n) const
{
    if (n >= 0 && n < Count()) {
        MessageRecord* m = At(n);
        if (m && m->serverNumber == n)
            return m;
    }
    for (int i = 0; i < Count(); ++i)
        if (MessageRecord* m = At(i); m && m->serverNumber == n)
            return m;
    return nullptr;
}

bool Mailbox::SameListAsServer(const QList<QByteArray>& uidls) const
{
    if (uidls.size() != Count())
        return false;
    QSet<QByteArray> server;
    server.reserve(uidls.size());
    for (const QByteArray& u : uidls)
        server.insert(u);
    for (int i = 0; i < Count(); ++i) {
        const MessageRecord* m = At(i);
        if (!m || !server.contains(m->UID))
            return false;
    }
    return true;
}

// --- mailbox file -----------------------------------------------------------

qsizetype Mailbox::HeaderBlockLength(const char* data, qsizetype size)
{
    qsizetype pos = 0;
    while (pos < size) {
        // Next CR LF at or after pos.
        const char* lf = nullptr;
        for (qsizetype from = pos; from < size;) {
            const void* hit = std::memchr(data + from, '\n', size_t(size - from));
            if (!hit)
                break;
            const char* h = static_cast<const char*>(hit);
            if (h > data + pos && h[-1] == '\r') {
                lf = h;
                break;
            }
            from = (h - data) + 1;
        }
        if (!lf)
            return size;
        const char* b = data + pos;
        const char* e = lf - 1; // the CR
        while (b < e && static_cast<unsigned char>(*b) <= ' ')
            ++b;
        while (e > b && static_cast<unsigned char>(e[-1]) <= ' ')
            --e;
        const qsizetype next = (lf - data) + 1;
        if (b == e || (e - b == 1 && *b == '.'))
            return next;
        pos = next;
    }
    return size;
}

QByteArray Mailbox::HeaderBlock(const QByteArray& raw)
{
    return raw.left(HeaderBlockLength(raw.constData(), raw.size()));
}

int Mailbox::HoldingKindFor(const MessageRecord& rec, const vm::MailboxSaveOptions& o)
{
    if (o.MessageSaveRange == 0 || rec.noHeaders)
        return 0;
    if (o.MessageSaveRange == 1 || rec.headersOnly)
        return 1;
    const std::int64_t size = rec.size;
    int kind = 1;
    if (o.MessageSaveRange == 2 ||
        (o.MessageSaveRange == 3 && size <= std::int64_t(o.MaximumSaveSize) * 1024) ||
        (o.MessageSaveRange == 4 && size >= std::int64_t(o.MinimumSaveSize) * 1024))
        kind = 2;
    const bool old = rec.Date == 0 || rec.Date < o.OldMessagesThreshold;
    if (kind == 2 && o.OldMessagesSaveHeaders && old)
        kind = 1;
    return kind;
}

quint64 Mailbox::StateFingerprint(const vm::MailboxSaveOptions& options, quint64 seed) const
{
    size_t h = qHashMulti(size_t(seed), options.MessageSaveRange, lastCheck_ != 0, Count());
    if (options.MessageSaveRange == 5)
        return h;
    for (int i = 0; i < Count(); ++i) {
        const MessageRecord* m = At(i);
        if (!m) {
            h = qHash(i, h);
            continue;
        }
        // A record replaced by another (whole retrieval) has another text
        // buffer even when its size happens to be the same.
        h = qHash(QByteArrayView(m->UID), h);
        h = qHashMulti(h, m->fresh, m->serverNumber, m->size, m->IsNew(), m->receiptState,
                       m->attachmentCount, m->headersOnly, m->noHeaders,
                       HoldingKindFor(*m, options), m->raw.size(), quintptr(m->raw.constData()));
    }
    return h;
}

void Mailbox::WriteToStream(ByteWriter& out, const vm::MailboxSaveOptions& options) const
{
    if (options.MessageSaveRange == 5) {
        out.F64(0);
        out.I32(0);
        return;
    }
    int count = 0;
    for (int i = 0; i < Count(); ++i)
        if (At(i))
            ++count;
    out.F64(lastCheck_);
    out.I32(count);
    for (int i = 0; i < Count(); ++i) {
        const MessageRecord* m = At(i);
        if (!m)
            continue;
        const int kind = HoldingKindFor(*m, options);
        out.Text(m->UID);
        out.Bool(m->fresh);
        out.I32(m->serverNumber);
        out.I32(m->size);
        out.Bool(m->IsNew());
        out.U8(m->receiptState);
        // A whole message kept as its header block only loses its parts, so
        // its attachment count is taken now if nobody has asked for it yet
        // (counting caches the result in the record).
        std::int32_t attachments = m->attachmentCount;
        if (kind == 1 && !m->headersOnly && attachments < 0)
            attachments = const_cast<MessageRecord*>(m)->VisibleAttachmentCount();
        out.I32(attachments);
        out.U8(static_cast<std::uint8_t>(kind));
        if (kind == 0)
            continue;
        qsizetype len = m->raw.size();
        if (kind == 1 && !m->headersOnly)
            len = HeaderBlockLength(m->raw.constData(), m->raw.size());
        out.Length(len);
        out.Shared(m->raw, len);
        out.MaybeFlush();
    }
}

void Mailbox::ReadFromStream(ByteReader& in, int version)
{
    using EBad = MailboxContentError;
    lastCheck_ = version >= 1 ? in.F64<EBad>() : 0;
    (void)in.I32<EBad>(); // record count: the records run to the end of the stream
    while (!in.AtEnd()) {
        auto rec = std::make_unique<MessageRecord>();
        const std::uint16_t uidLength = in.U16<EBad>();
        in.Need<EBad>(qsizetype(uidLength) + (version >= 1 ? 16 : 11));
        rec->UID = in.Bytes<EBad>(uidLength);
        if (version >= 1) {
            rec->fresh = in.Bool<EBad>();
            rec->serverNumber = in.I32<EBad>();
        }
        rec->size = in.I32<EBad>();
        rec->SetNew(in.Bool<EBad>());
        const std::uint8_t receipt = in.U8<EBad>();
        rec->receiptState = (receipt >= 1 && receipt <= 3) ? receipt : 0;
        rec->attachmentCount = in.I32<EBad>();
        const std::uint8_t kind = in.U8<EBad>();
        if (kind >= 3)
            throw EBad();
        if (kind == 0) {
            rec->noHeaders = true;
            rec->headersOnly = true;
        } else {
            const std::int32_t length = in.I32<EBad>();
            rec->raw = in.Bytes<EBad>(length); // a negative length fails here too
            rec->noHeaders = false;
            rec->headersOnly = kind == 1;
            // Parsed when first needed, the way the check parses it (header
            // block; a whole message's parts later still), so a restart
            // changes nothing shown. Only the date is read now.
            rec->ParseLater();
        }
        Add(rec.release());
    }
}

} // namespace vm
