#include "ops/CheckSession.h"

#include <vector>

#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "pop3/Pop3Listing.h"

namespace vm {

bool Pop3Session::FetchSizes(QHash<int, std::int32_t>& sizes, int)
{
    sizes.clear();
    return false;
}

void Pop3Session::SendMessageCommand(MessageCommand, int)
{
}

void Pop3Session::ReceiveMessageReply(MessageCommand command, int n, MessageRecord* rec,
                                      std::int32_t* size)
{
    switch (command) {
    case MessageCommand::Size: {
        const std::int32_t s = MessageSize(n);
        if (size)
            *size = s;
        break;
    }
    case MessageCommand::Headers:
        FetchHeaders(n, *rec);
        break;
    case MessageCommand::Whole:
        FetchWhole(n, *rec);
        break;
    }
}

void Pop3Session::FinishWhole(MessageRecord&)
{
}

UidlNumbers::UidlNumbers(const QList<QByteArray>& lines)
{
    const QList<QByteArray> ids = UidsByNumber(lines);
    numbers_.reserve(ids.size());
    for (int n = 1; n <= int(ids.size()); ++n)
        if (!numbers_.contains(ids.at(n - 1)))
            numbers_.insert(ids.at(n - 1), n);
}

int UidlNumbers::Lookup(const QByteArray& uid) const
{
    const auto it = numbers_.constFind(uid);
    return it == numbers_.cend() ? -1 : it.value();
}

QString DisplayNameOf(const MailAccount& account)
{
    return QString::fromLocal8Bit(account.DisplayName());
}

int RemoveRecordsWhere(Mailbox& mailbox, const std::function<bool(const MessageRecord*)>& gone)
{
    std::vector<MessageRecord*> keep;
    std::vector<MessageRecord*> drop;
    keep.reserve(size_t(mailbox.Count()));
    for (int i = 0; i < mailbox.Count(); ++i) {
        MessageRecord* m = mailbox.At(i);
        if (gone(m))
            drop.push_back(m);
        else
            keep.push_back(m);
    }
    if (drop.empty())
        return 0;
    if (drop.size() == 1) {
        mailbox.Delete(drop.front());
        return 1;
    }
    // Detach every record without destroying it, put the kept ones back in
    // order (which rebuilds the UIDL index), then destroy the others.
    const bool owns = mailbox.Owns();
    mailbox.SetOwns(false);
    mailbox.Clear();
    mailbox.SetOwns(owns);
    for (MessageRecord* m : keep)
        mailbox.Add(m);
    if (owns)
        for (MessageRecord* m : drop)
            delete m;
    return int(drop.size());
}

int MailboxPositions::Of(const MessageRecord* rec)
{
    if (!valid_) {
        map_.clear();
        map_.reserve(mailbox_.Count());
        for (int i = 0; i < mailbox_.Count(); ++i)
            map_.insert(mailbox_.At(i), i);
        valid_ = true;
    }
    return map_.value(rec, -1);
}

void MailboxPositions::Placed(const MessageRecord* rec, int index)
{
    if (valid_)
        map_.insert(rec, index);
}

void MailboxPositions::Forget(const MessageRecord* from)
{
    if (valid_)
        map_.remove(from);
}

} // namespace vm
