#include "addressbook/AddressBookStartup.h"

#include <QFile>

#include "core/AppInfo.h"
#include "model/FileErrors.h"

namespace vm {

Contact* NewMakerEntry()
{
    auto* e = new Contact;
    e->lastName = QStringLiteral("Orvane");
    e->emails.Add("support@velmora.example.org");
    e->webSite = AppInfo::Instance().MakerWebSite().toUtf8();
    e->telephone = "+44 20 7946 0321";
    return e;
}

bool LoadAddressBookAtStart(AddressBook& book, const QString& path,
                            const std::function<bool(AddressBookLoadFailure)>& askContinue)
{
    book.Add(NewMakerEntry());
    if (!QFile::exists(path))
        return true;
    AddressBookLoadFailure failure;
    try {
        book.LoadFromFile(path);
        return true;
    } catch (const MailboxFormatError&) {
        failure = AddressBookLoadFailure::Invalid;
    } catch (const std::exception&) {
        failure = AddressBookLoadFailure::Inaccessible;
    }
    book.Clear();
    book.damagedFile = path;
    return askContinue && askContinue(failure);
}

bool SaveAddressBookAtExit(AddressBook& book, const QString& path,
                           const std::function<bool()>& askGoOn)
{
    try {
        book.SaveToFile(path);
        return true;
    } catch (const std::exception&) {
        return askGoOn && askGoOn();
    }
}

} // namespace vm
