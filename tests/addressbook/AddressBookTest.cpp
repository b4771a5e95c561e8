// The address book model, its file and the start-up and exit steps.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "addressbook/AddressBookStartup.h"
#include "addressbook/AddressBook.h"
#include "model/BinaryStream.h"
#include "model/FileErrors.h"

using namespace vm;

namespace {

Contact* Entry(const QString& first, const QString& last,
                        const QList<QByteArray>& emails = {})
{
    auto* e = new Contact;
    e->firstName = first;
    e->lastName = last;
    for (const auto& m : emails)
        e->emails.Add(m);
    return e;
}

QByteArray Bytes(const AddressBook& book)
{
    vm::ByteWriter w;
    book.Write(w);
    return w.Buffer();
}

void ReadBytes(AddressBook& book, const QByteArray& data)
{
    vm::ByteReader r(data);
    book.Read(r);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

TEST(AddressBook, DisplayNamesAndEmails)
{
    std::unique_ptr<Contact> e(Entry("Anna", ""));
    EXPECT_EQ(e->DisplayName(), "Anna");
    e->firstName.clear();
    e->lastName = "ACME Ltd";
    EXPECT_EQ(e->DisplayName(), "ACME Ltd");
    e->emails.Add("a@x");
    e->emails.Add("b@x");
    EXPECT_EQ(e->emails.IndexOf("B@x"), -1);
    EXPECT_EQ(e->emails.IndexOf("b@x"), 1);
    EXPECT_EQ(e->emails.At(-1), "");
    EXPECT_EQ(e->emails.At(2), "");
    EXPECT_EQ(e->emails.Joined(), "a@x; b@x");
}

TEST(AddressBook, FileLayout)
{
    AddressBook book;
    auto* e = Entry(QString::fromUtf8("\xc3\x89va"), "B", {"e@x"});
    e->telephone = "12";
    book.Add(e);
    QByteArray expected("\x15\x00VL320KEX07ADDRESSBOOK", 23);
    expected += QByteArray("\x01\x00\x00\x00", 4);
    expected += QByteArray("\x03\x00\xc9\x00"
                           "v\x00"
                           "a\x00",
                           8); // wide "Éva"
    expected += QByteArray("\x01\x00"
                           "B\x00",
                           4);
    expected += QByteArray("\x01\x00\x03\x00"
                           "e@x",
                           7);
    expected += QByteArray("\x00\x00\x00\x00\x02\x00"
                           "12",
                           8);
    EXPECT_EQ(Bytes(book).toHex().toStdString(), expected.toHex().toStdString());
}

TEST(AddressBook, RoundTripAndTrailingBytes)
{
    AddressBook book;
    auto* e = Entry(QString::fromUtf8("Zo\xc3\xab \xf0\x9f\x98\x80"),
                    QString::fromUtf8("\xe6\x9d\x8e"), {"z@x", "Z@x"});
    e->messenger = "icq:1";
    e->webSite = "https://z.example";
    book.Add(e);
    book.Add(Entry("", "Empty"));
    AddressBook back;
    ReadBytes(back, Bytes(book) + "trailing junk");
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.At(0)->firstName, e->firstName);
    EXPECT_EQ(back.At(0)->lastName, e->lastName);
    EXPECT_EQ(back.At(0)->emails.Joined(), "z@x; Z@x");
    EXPECT_EQ(back.At(0)->webSite, "https://z.example");
    EXPECT_EQ(back.At(0)->messenger, "icq:1");
    EXPECT_EQ(back.At(1)->emails.Count(), 0);
    EXPECT_EQ(back.FindByDisplayName("Empty"), back.At(1));
    EXPECT_EQ(back.CountWithEmails(), 1);
}

TEST(AddressBook, ReadErrors)
{
    AddressBook book;
    book.Add(Entry("Keep", "Me", {"k@x"}));
    book.Add(Entry("Second", "", {"s@x"}));
    const QByteArray good = Bytes(book);

    AddressBook target;
    target.Add(Entry("Old", "Entry"));
    QByteArray wrongSig = good;
    wrongSig[5] = 'X';
    EXPECT_THROW(ReadBytes(target, wrongSig), MailboxFormatError);
    EXPECT_EQ(target.Count(), 1); // kept what it held

    QByteArray countThree = good;
    countThree[23] = 3;
    EXPECT_THROW(ReadBytes(target, countThree), MailboxFormatError);
    EXPECT_EQ(target.Count(), 0);

    target.Add(Entry("Old", "Entry"));
    EXPECT_THROW(ReadBytes(target, good.left(good.size() - 2)), MailboxFormatError);
    EXPECT_EQ(target.Count(), 0);
}

TEST(AddressBook, AddRecipients)
{
    AddressBook book;
    book.Add(Entry("Anna", "Berg", {"anna@x"}));
    book.AddRecipients({{"Anna Berg", "anna@x"}, // already held
                        {"Anna Berg", "ANNA@x"}, // case differs: added
                        {"", "anna@x"},          // unnamed, known: nothing
                        {"Carl", "c@x"},         // new entry
                        {"Carl", "c2@x"},        // same name: same entry
                        {"Dora", "anna@x"},      // named, not in book: new entry
                        {"Nobody", ""}});        // no address: skipped
    ASSERT_EQ(book.Count(), 3);
    EXPECT_EQ(book.At(0)->emails.Joined(), "anna@x; ANNA@x");
    EXPECT_EQ(book.At(1)->firstName, "Carl");
    EXPECT_EQ(book.At(1)->emails.Joined(), "c@x; c2@x");
    EXPECT_EQ(book.At(2)->DisplayName(), "Dora");
}

class AddressBookFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString path() const { return tmp.path() + "/addressbook.vlab"; }
    QTemporaryDir tmp;
};

TEST_F(AddressBookFile, StartWithoutFileHasTheMakersEntry)
{
    AddressBook book;
    bool asked = false;
    EXPECT_TRUE(vm::LoadAddressBookAtStart(book, path(), [&](auto) { return asked = true; }));
    EXPECT_FALSE(asked);
    ASSERT_EQ(book.Count(), 1);
    EXPECT_EQ(book.At(0)->lastName, "Orvane");
    EXPECT_TRUE(book.At(0)->firstName.isEmpty());
    EXPECT_EQ(book.At(0)->emails.Count(), 1);
    EXPECT_FALSE(book.At(0)->webSite.isEmpty());
    EXPECT_FALSE(book.At(0)->telephone.isEmpty());

    // A book loaded from its file replaces the maker's entry.
    book.At(0)->lastName = "Saved";
    book.SaveToFile(path());
    AddressBook again;
    EXPECT_TRUE(vm::LoadAddressBookAtStart(again, path(), {}));
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.At(0)->lastName, "Saved");
}

TEST_F(AddressBookFile, DamagedFileIsKeptAsBackupBeforeItIsReplaced)
{
    const QByteArray damaged("\x15\x00VL320KEX07ADDRESSBOOK\x05\x00\x00\x00", 27);
    WriteAll(path(), damaged);
    AddressBook refused;
    vm::AddressBookLoadFailure seen{};
    EXPECT_FALSE(vm::LoadAddressBookAtStart(refused, path(), [&](auto kind) {
        seen = kind;
        return false;
    }));
    EXPECT_EQ(seen, vm::AddressBookLoadFailure::Invalid);
    EXPECT_EQ(ReadAll(path()), damaged);

    AddressBook book;
    EXPECT_TRUE(vm::LoadAddressBookAtStart(book, path(), [](auto) { return true; }));
    EXPECT_EQ(book.Count(), 0);
    book.Add(Entry("New", "One", {"n@x"}));
    EXPECT_TRUE(vm::SaveAddressBookAtExit(book, path(), [] { return false; }));
    EXPECT_EQ(ReadAll(path() + ".bak"), damaged);
    AddressBook check;
    check.LoadFromFile(path());
    EXPECT_EQ(check.Count(), 1);

    // A second damaged file never overwrites the first backup.
    WriteAll(path(), damaged + "2");
    AddressBook next;
    EXPECT_TRUE(vm::LoadAddressBookAtStart(next, path(), [](auto) { return true; }));
    next.SaveToFile(path());
    EXPECT_EQ(ReadAll(path() + ".bak"), damaged);
    EXPECT_EQ(ReadAll(path() + ".bak1"), damaged + "2");
    // Later saves in the same session need no further copy.
    next.SaveToFile(path());
    EXPECT_FALSE(QFile::exists(path() + ".bak2"));
}

TEST_F(AddressBookFile, UnreadableFileAndFailedSave)
{
    ASSERT_TRUE(QFile::link("/proc/self/mem", path()));
    AddressBook book;
    vm::AddressBookLoadFailure seen{};
    EXPECT_TRUE(vm::LoadAddressBookAtStart(book, path(), [&](auto kind) {
        seen = kind;
        return true;
    }));
    EXPECT_EQ(seen, vm::AddressBookLoadFailure::Inaccessible);
    EXPECT_EQ(book.Count(), 0);

    // Writing into a missing directory fails: the exit question decides.
    AddressBook other;
    int asked = 0;
    const QString bad = tmp.path() + "/missing/addressbook.vlab";
    EXPECT_FALSE(vm::SaveAddressBookAtExit(other, bad, [&] { return ++asked, false; }));
    EXPECT_TRUE(vm::SaveAddressBookAtExit(other, bad, [&] { return ++asked, true; }));
    EXPECT_EQ(asked, 2);
}

} // namespace
