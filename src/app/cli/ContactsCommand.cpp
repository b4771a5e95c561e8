#include "app/cli/ContactsCommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>

#include "addressbook/AddressBook.h"
#include "addressbook/AddressBookStartup.h"
#include "addressbook/VCard.h"
#include "app/cli/CheckCommand.h"
#include "core/AppInfo.h"
#include "core/AtomicFile.h"
#include "core/TerminalText.h"
#include "platform/SingleInstance.h"
#include "send/SendRequest.h"

namespace vm {

namespace {

using namespace cli;

// The book as the window program would have it: the file's content, or the
// maker's entry when there is no file yet. False (after a message) when the
// file cannot be read.
bool LoadBook(AddressBook& book)
{
    const QString path = AppInfo::Instance().AddressBookFilePath();
    bool failed = false;
    LoadAddressBookAtStart(book, path, [&](AddressBookLoadFailure f) {
        failed = true;
        Err(f == AddressBookLoadFailure::Invalid
                ? QStringLiteral("the address book %1 is damaged").arg(path)
                : QStringLiteral("the address book %1 cannot be read").arg(path));
        return false;
    });
    return !failed;
}

QJsonObject ToJson(const Contact& c)
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), c.DisplayName());
    o.insert(QStringLiteral("firstName"), c.firstName);
    o.insert(QStringLiteral("lastName"), c.lastName);
    QJsonArray emails;
    for (int i = 0; i < c.emails.Count(); ++i)
        emails.append(QString::fromUtf8(c.emails.At(i)));
    o.insert(QStringLiteral("emails"), emails);
    o.insert(QStringLiteral("phone"), QString::fromUtf8(c.telephone));
    o.insert(QStringLiteral("messenger"), QString::fromUtf8(c.messenger));
    o.insert(QStringLiteral("website"), QString::fromUtf8(c.webSite));
    return o;
}

} // namespace

int RunContactsCommand(const QStringList& args)
{
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else {
            Err(QStringLiteral("usage: velmora --contacts [--json]"));
            return kExitUsage;
        }
    }
    AddressBook book;
    if (!LoadBook(book))
        return kExitFailed;
    QJsonArray array;
    for (int i = 0; i < book.Count(); ++i) {
        const Contact* c = book.At(i);
        if (!c)
            continue;
        if (json)
            array.append(ToJson(*c));
        else
            Out(TerminalField(c->DisplayName()) + QLatin1Char('\t') +
                TerminalField(QString::fromUtf8(c->emails.Joined())));
    }
    if (json)
        Out(TerminalSafeJson(
            QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed()));
    return kExitOk;
}

int RunImportContactsCommand(const QStringList& args)
{
    if (args.size() != 1 || args.first().startsWith(QLatin1String("--"))) {
        Err(QStringLiteral("usage: velmora --import-contacts FILE.vcf"));
        return kExitUsage;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        Err(QStringLiteral("cannot read %1: %2").arg(args.first(), file.errorString()));
        return kExitFailed;
    }
    if (file.size() > 64 * 1024 * 1024) {
        Err(QStringLiteral("%1 is too large for a vCard file").arg(args.first()));
        return kExitFailed;
    }
    const std::vector<VCardContact> cards = ReadVCards(file.readAll());
    if (cards.empty()) {
        Err(QStringLiteral("%1 holds no vCard").arg(args.first()));
        return kExitFailed;
    }

    std::unique_ptr<SingleInstance> lock;
    if (!LoadBasics() || !LockDataDirectory(lock))
        return kExitFailed;
    AddressBook book;
    if (!LoadBook(book))
        return kExitFailed;

    // Only addresses the sender would accept enter the book.
    const VCardImportResult result = ImportVCards(
        book, cards, [](const QByteArray& a) { return IsSendableAddress(a); },
        [](const QByteArray& a, const QString& name) {
            Err(QStringLiteral("left out the address \"%1\" of %2")
                    .arg(QString::fromUtf8(a), name));
        });
    try {
        book.SaveToFile(AppInfo::Instance().AddressBookFilePath());
    } catch (const std::exception& e) {
        Err(QStringLiteral("cannot save the address book: %1")
                .arg(QString::fromLocal8Bit(e.what())));
        return kExitFailed;
    }
    Out(QStringLiteral("%1 new, %2 updated").arg(result.added).arg(result.updated));
    if (result.notes > 0)
        Err(QStringLiteral("the address book keeps no notes: %1 note(s) left out")
                .arg(result.notes));
    return kExitOk;
}

int RunExportContactsCommand(const QStringList& args)
{
    QString path;
    VCardVersion version = VCardVersion::V4;
    bool wrong = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--vcard3"))
            version = VCardVersion::V3;
        else if (path.isEmpty() && !a.isEmpty() && !a.startsWith(QLatin1String("--")))
            path = a; // "-" is standard output
        else
            wrong = true;
    }
    if (path.isEmpty() || wrong) {
        Err(QStringLiteral("usage: velmora --export-contacts FILE.vcf [--vcard3]"));
        return kExitUsage;
    }
    AddressBook book;
    if (!LoadBook(book))
        return kExitFailed;
    const QByteArray data = WriteVCards(book, version);
    if (path == QLatin1String("-")) {
        std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    QString error;
    if (!WriteFileAtomically(path, data, &error)) {
        Err(QStringLiteral("cannot write %1: %2").arg(path, error));
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace vm
