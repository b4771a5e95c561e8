#pragma once
// The message list of one account: owning list of message records plus the
// mailbox's check state, and its part of the mailbox file.
//
// Look-up by UIDL goes through a hash index (UIDL -> first record holding it,
// exact letter case) that the mailbox keeps in step with every operation that
// adds, inserts, deletes, removes, replaces, moves or clears records. A
// record's UID must not change while it sits in a mailbox; code that changes
// one anyway, or stores pointers through an iterator (which bypasses the
// mailbox), calls Reindex() afterwards.

#include <QByteArray>
#include <QHash>
#include <QList>

#include <cstdint>

#include "core/DateTime.h"
#include "mime/MessageRecord.h"
#include "core/CommonContainer.h"
#include "model/StorageOptions.h"

namespace vm {

class MailAccount;

class ByteReader;
class ByteWriter;

class Mailbox : public CommonContainer<MessageRecord>
{
public:
    explicit Mailbox(MailAccount* account = nullptr) : account_(account) {}

    // The longest unique id a mailbox file keeps (a server's ids have at most
    // 70 characters); a longer one would come back cut after a restart.
    static constexpr qsizetype kMaxUidLength = 65535;

    // --- container operations, kept in step with the UIDL index ----------
    // Sets the record's owner to this mailbox and appends it.
    int Add(MessageRecord* item) override;
    // Sets the owner and inserts before index (0 <= index <= Count()).
    void Insert(MessageRecord* item, int index) override;
    bool Delete(MessageRecord* item) override;
    bool Delete(int index) override;
    bool Remove(MessageRecord* item) override;
    bool Remove(int index) override;
    bool Move(const MessageRecord* item, int target) override;
    void Clear() override;

    // --- mailbox state ------------------------------------------------------
    MailAccount* Account() const { return account_; }
    void SetAccount(MailAccount* account) { account_ = account; }
    vm::TDateTime LastCheck() const { return lastCheck_; }
    void SetLastCheck(vm::TDateTime t) { lastCheck_ = t; }
    bool Stale() const { return stale_; }
    void SetStale(bool on) { stale_ = on; }
    bool Confirmed() const { return confirmed_; }
    void SetConfirmed(bool on) { confirmed_ = on; }
    bool CheckFailed() const { return checkFailed_; }
    void SetCheckFailed(bool on) { checkFailed_ = on; }

    // The flag rules. After loading the file (also when loading stopped at a
    // bad record): the stored list is shown as current when no record lacks
    // headers, the account stores a password, a last-check time is set and
    // showMessagesOnStartup is on.
    void ApplyStartupRule(bool accountStoresPassword, bool showMessagesOnStartup);
    // A successful check: current, confirmed, no failure, last check = now.
    void MarkCheckSucceeded(vm::TDateTime now);
    // A failed check: only when stale, the login had succeeded, no record
    // lacks headers and some record is fresh, the list becomes current, a
    // last-check time of 0 becomes now and the check-failed flag is set.
    void MarkCheckFailed(bool loginSucceeded, vm::TDateTime now);

    // --- queries and bulk operations ---------------------------------------
    std::int64_t TotalSize() const;
    // Puts rec at index (the old pointer is overwritten, not destroyed) and
    // sets its owner. Returns false for an index out of range.
    bool Replace(int index, MessageRecord* rec);
    int CountNew() const;
    void ClearNew();
    // With unlessKept set, a stale mailbox keeps its fresh marks.
    void ClearFresh(bool unlessKept);
    bool AnyNew() const;
    bool AnyWithoutHeaders() const;
    bool AnyHeadersOnly() const;
    int CountFresh(bool unlessKept) const;
    // Some record of known size (not 0) of at most kilobytes * 1024 bytes that,
    // when headersOnlyToo is set, holds only headers.
    bool AnySmall(int kilobytes, bool headersOnlyToo) const;
    // The first record whose UID equals uidl exactly, or null.
    MessageRecord* FindByUIDL(const QByteArray& uidl) const;
    // The record at index n when its server number is n, else the first
    // record with server number n, or null.
    MessageRecord* FindByServerNumber(int n) const;
    // True when the server's list has as many entries as the mailbox has
    // records and every record's UIDL occurs in it.
    bool SameListAsServer(const QList<QByteArray>& uidls) const;

    // Rebuilds the UIDL index from the records.
    void Reindex();

    // --- mailbox file -------------------------------------------------------
    // Writes last check, record count and the records (nothing but a zero
    // time and count when MessageSaveRange is 5).
    void WriteToStream(vm::ByteWriter& out, const vm::MailboxSaveOptions& options) const;
    // Reads last check (version 1), the record count and the records up to the
    // end of the stream. Throws MailboxContentError at a damaged
    // record, keeping the records read before it. Callers apply the start-up
    // rule afterwards (also after an error).
    void ReadFromStream(vm::ByteReader& in, int version);

    // A hash of everything the mailbox file would hold under options: the
    // records with their stored fields, the holding kind and the identity
    // and size of their texts, and whether a check ever ran. Two equal values
    // mean the file need not be written again (the last-check time alone is
    // left out: a check that found nothing new changes nothing worth a
    // write). Cheap enough to take every second of a 20,000-record mailbox.
    quint64 StateFingerprint(const vm::MailboxSaveOptions& options, quint64 seed = 0) const;

    // The header block of a message text: up to and including the CR LF of
    // the first line that is empty or "." after trimming blanks; the whole
    // text when there is no such line.
    static QByteArray HeaderBlock(const QByteArray& raw);
    // Length of that block.
    static qsizetype HeaderBlockLength(const char* data, qsizetype size);
    // The holding kind written for rec: 0 UIDL only, 1 header block, 2 whole.
    static int HoldingKindFor(const MessageRecord& rec, const vm::MailboxSaveOptions& options);

private:
    struct IndexEntry
    {
        MessageRecord* first = nullptr;
        int count = 0;
    };
    void IndexAdded(MessageRecord* item, int index);
    void IndexRemoved(MessageRecord* item);
    // The first record with uidl, ignoring skip.
    MessageRecord* ScanFirst(const QByteArray& uidl, const MessageRecord* skip) const;

    MailAccount* account_ = nullptr;
    vm::TDateTime lastCheck_ = 0;
    bool stale_ = true;
    bool confirmed_ = false;
    bool checkFailed_ = false;
    QHash<QByteArray, IndexEntry> index_;
};

} // namespace vm
