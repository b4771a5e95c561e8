#pragma once
// The address book: the user's contacts, one process-wide owning list,
// loaded from "addressbook.vlab" at start and written back at exit.
//
// File layout (little-endian): signature text "VL320KEX07ADDRESSBOOK",
// int32 entry count, then the entries. A text is a uint16 byte count and the
// bytes; a wide text a uint16 count of UTF-16 code units and UTF-16LE.
// Entry: first name (wide), last name (wide), uint16 address count and that
// many texts, messenger, web site, telephone (texts). Nothing is enciphered;
// bytes after the last entry are ignored.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "core/CommonContainer.h"

namespace vm {

class ByteReader;
class ByteWriter;

// An entry's e-mail addresses, in the order they were added.
class AddressList
{
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Appends; no duplicate check.
    void Add(const QByteArray& address) { items_.append(address); }
    // Exact comparison (letter case matters); -1 when absent.
    int IndexOf(const QByteArray& address) const
    {
        return static_cast<int>(items_.indexOf(address));
    }
    // Empty for an index out of range.
    QByteArray At(int index) const
    {
        return (index >= 0 && index < Count()) ? items_.at(index) : QByteArray();
    }
    void Clear() { items_.clear(); }
    // All addresses joined by "; ".
    QByteArray Joined() const { return items_.join("; "); }

private:
    QList<QByteArray> items_;
};

class Contact
{
public:
    virtual ~Contact() = default;

    QString firstName;
    QString lastName; // last name, or a company's name
    AddressList emails;
    QByteArray messenger;
    QByteArray webSite;
    QByteArray telephone;

    // First name, a blank and last name, trimmed.
    QString DisplayName() const { return (firstName + QLatin1Char(' ') + lastName).trimmed(); }
};

// A recipient of a sent message, for adding recipients to the book.
struct AddressBookRecipient
{
    QString name;
    QByteArray address;
};

// Tells the windows that show the book that entries changed outside them
// (recipients added after a send, a window's edits).
class AddressBookNotifier : public QObject
{
    Q_OBJECT
signals:
    void changed();
};

class AddressBook : public CommonContainer<Contact>
{
public:
    AddressBookNotifier& Notifier() { return notifier_; }
    // Emits the notifier's changed().
    void NotifyChanged() { emit notifier_.changed(); }

    static constexpr char kSignature[] = "VL320KEX07ADDRESSBOOK";

    // Writes the whole book.
    void Write(vm::ByteWriter& out) const;
    // Replaces the content by the stream's. A wrong signature throws
    // MailboxFormatError and leaves the content as it was; a count larger
    // than the entries present or a truncated entry throws it with the book
    // emptied.
    void Read(vm::ByteReader& in);

    // Writes the file atomically (a temporary file renamed over the old one);
    // on failure the old file is untouched. Throws FileCreateError / FileWriteError.
    // When path is damagedFile and that file still exists, it is first copied
    // to a backup beside it (see BackupPath); damagedFile is cleared after a
    // successful save.
    void SaveToFile(const QString& path);
    // A file that failed to load and must not be replaced without keeping a
    // copy of it first (set by the start-up load).
    QString damagedFile;
    // A free backup name for path: path + ".bak", else ".bak1", ".bak2", ...
    static QString BackupPath(const QString& path);
    // Reads the file. Throws FileOpenError when it cannot be read, and the
    // format errors of Read.
    void LoadFromFile(const QString& path);

    // The first entry whose display name equals name exactly, or null.
    Contact* FindByDisplayName(const QString& name) const;
    // Entries that have at least one e-mail address.
    int CountWithEmails() const;

    // Adds the recipients of a sent message, in order, skipping empty
    // addresses: a named recipient whose name is an entry's display name
    // adds the address to that entry unless it holds it already; an unnamed
    // recipient whose address is in some entry adds nothing; any other
    // recipient becomes a new entry (first name = its name). Notifies when
    // anything was added.
    void AddRecipients(const QList<AddressBookRecipient>& recipients);

private:
    AddressBookNotifier notifier_;
};

// The process-wide address book, created empty on first use.
AddressBook& SharedAddressBook();

} // namespace vm
