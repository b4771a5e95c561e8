#include "addressbook/AddressBook.h"

#include "core/AtomicFile.h"

#include <QFile>
#include <QSaveFile>

#include <memory>

#include "model/BinaryStream.h"
#include "model/FileErrors.h"

namespace vm {


void AddressBook::Write(ByteWriter& out) const
{
    out.Text(QByteArray(kSignature));
    int count = 0;
    for (int i = 0; i < Count(); ++i)
        if (At(i))
            ++count;
    out.I32(count);
    for (int i = 0; i < Count(); ++i) {
        const Contact* e = At(i);
        if (!e)
            continue;
        out.WideText(e->firstName);
        out.WideText(e->lastName);
        const int n = std::min(e->emails.Count(), 0xffff);
        out.U16(static_cast<std::uint16_t>(n));
        for (int k = 0; k < n; ++k)
            out.Text(e->emails.At(k));
        out.Text(e->messenger);
        out.Text(e->webSite);
        out.Text(e->telephone);
        out.MaybeFlush();
    }
}

void AddressBook::Read(ByteReader& in)
{
    using E = MailboxFormatError;
    if (in.Text<E>() != kSignature)
        throw E();
    Clear();
    try {
        const std::int32_t count = in.I32<E>();
        for (std::int32_t i = 0; i < count; ++i) {
            if (in.AtEnd())
                throw E();
            auto e = std::make_unique<Contact>();
            e->firstName = in.WideText<E>();
            e->lastName = in.WideText<E>();
            const std::uint16_t addresses = in.U16<E>();
            for (int k = 0; k < addresses; ++k)
                e->emails.Add(in.Text<E>());
            e->messenger = in.Text<E>();
            e->webSite = in.Text<E>();
            e->telephone = in.Text<E>();
            Add(e.release());
        }
    } catch (...) {
        Clear();
        throw;
    }
}

QString AddressBook::BackupPath(const QString& path)
{
    QString backup = path + QStringLiteral(".bak");
    for (int n = 1; QFile::exists(backup); ++n)
        backup = path + QStringLiteral(".bak") + QString::number(n);
    return backup;
}

void AddressBook::SaveToFile(const QString& path)
{
    if (!damagedFile.isEmpty() && damagedFile == path && QFile::exists(path)) {
        const QString backup = BackupPath(path);
        // Not QFile::copy: that gives the copy the permissions of the damaged
        // file, and the copy holds the same addresses as the new file.
        QFile damaged(path);
        QString reason;
        if (!damaged.open(QIODevice::ReadOnly))
            reason = damaged.errorString();
        else if (!vm::WriteFileAtomically(backup, damaged.readAll(), &reason) && reason.isEmpty())
            reason = QStringLiteral("write error");
        if (!reason.isEmpty())
            throw FileCreateError(QStringLiteral("Cannot keep a copy of \"%1\" as \"%2\". %3")
                                    .arg(path, backup, reason)
                                    .toStdString());
        damagedFile.clear();
    }
    QSaveFile file(path);
    QString reason;
    if (!vm::OpenSaveFile(file, &reason))
        throw FileCreateError(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(path, reason)
                                .toStdString());
    ByteWriter out(&file);
    Write(out);
    out.Flush();
    if (!vm::CommitSaveFile(file, &reason))
        throw FileWriteError(QStringLiteral("Cannot write file \"%1\". %2")
                              .arg(path, reason)
                              .toStdString());
    if (damagedFile == path)
        damagedFile.clear();
}

void AddressBook::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                              .arg(path, file.errorString())
                              .toStdString());
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileOpenError(QStringLiteral("Cannot read file \"%1\". %2")
                              .arg(path, file.errorString())
                              .toStdString());
    ByteReader in(data);
    Read(in);
}

Contact* AddressBook::FindByDisplayName(const QString& name) const
{
    for (int i = 0; i < Count(); ++i)
        if (Contact* e = At(i); e && e->DisplayName() == name)
            return e;
    return nullptr;
}

int AddressBook::CountWithEmails() const
{
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (const Contact* e = At(i); e && e->emails.Count() > 0)
            ++n;
    return n;
}

void AddressBook::AddRecipients(const QList<AddressBookRecipient>& recipients)
{
    bool changed = false;
    for (const AddressBookRecipient& r : recipients) {
        if (r.address.isEmpty())
            continue;
        if (!r.name.isEmpty()) {
            if (Contact* e = FindByDisplayName(r.name)) {
                if (e->emails.IndexOf(r.address) < 0) {
                    e->emails.Add(r.address);
                    changed = true;
                }
                continue;
            }
        } else {
            bool known = false;
            for (int i = 0; i < Count() && !known; ++i)
                known = At(i) && At(i)->emails.IndexOf(r.address) >= 0;
            if (known)
                continue;
        }
        auto* e = new Contact;
        e->firstName = r.name;
        e->emails.Add(r.address);
        Add(e);
        changed = true;
    }
    if (changed)
        emit notifier_.changed();
}


AddressBook& SharedAddressBook()
{
    static auto* book = new AddressBook; // lives until the process ends
    return *book;
}

} // namespace vm
