// vCard reading and writing: samples in the shapes other programs export,
// and Velmora's own export read back.

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include "addressbook/AddressBook.h"
#include "addressbook/VCard.h"

using namespace vm;

namespace {

QByteArray Fixture(const char* name)
{
    QFile f(QStringLiteral(VELMORA_SOURCE_DIR "/tests/fixtures/vcard/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

QStringList Emails(const Contact& c)
{
    QStringList out;
    for (int i = 0; i < c.emails.Count(); ++i)
        out << QString::fromUtf8(c.emails.At(i));
    return out;
}

struct Expected
{
    QString first, last;
    QStringList emails;
    QString phone, web, messenger, note;
};

void ExpectContact(const VCardContact& got, const Expected& want)
{
    ASSERT_TRUE(got.contact);
    EXPECT_EQ(got.contact->firstName, want.first);
    EXPECT_EQ(got.contact->lastName, want.last);
    EXPECT_EQ(Emails(*got.contact), want.emails);
    EXPECT_EQ(QString::fromUtf8(got.contact->telephone), want.phone);
    EXPECT_EQ(QString::fromUtf8(got.contact->webSite), want.web);
    EXPECT_EQ(QString::fromUtf8(got.contact->messenger), want.messenger);
    EXPECT_EQ(got.note, want.note);
}

struct Sample
{
    const char* file;
    QList<Expected> cards;
};

TEST(VCard, SamplesOfOtherProgramsImportWithNamesAddressesAndNotes)
{
    const QList<Sample> samples{
        {"phone-sync-v3.vcf",
         {{"Ada",
           "Lovelace",
           {"ada@analytical.example", "countess@engine.example.org"},
           "+44 20 7946 0001",
           "https://ada.example.net/notes",
           "",
           "Met at the engine demonstration. Prefers letters to calls, and long notes are "
           "folded by the exporter at seventy-five octets."},
          // N is empty: the formatted name (the company) becomes the last name.
          {"", "Northwind Traders", {"orders@northwind.example"}, "", "", "", ""}}},
        {"desktop-v3.vcf",
         {{QString::fromUtf8("Jürgen Karl"),
           QString::fromUtf8("Müller"),
           {"j.mueller@beispiel.example", "juergen@privat.example"},
           "+49 170 7654321",
           "",
           "",
           ""}, // the preferred number wins
          {QString::fromUtf8("Siobhán"), "O, Brien", {"siobhan@eire.example"}, "", "", "", ""}}},
        {"mail-client-v4.vcf",
         {{QString::fromUtf8("太郎"),
           QString::fromUtf8("山田"),
           {"taro@yamada.example.jp", "taro.yamada@work.example"},
           "+81-90-1234-5678",
           "https://yamada.example.jp/",
           "xmpp:taro@chat.example.jp",
           "First line\nsecond line, with a comma; and a semicolon"}}},
        {"legacy-v21.vcf",
         {{QString::fromUtf8("Renée"),
           QString::fromUtf8("François"),
           {"renee@francois.example.fr", "rf@bureau.example.fr"},
           "+33 1 23 45 67 89",
           "",
           "",
           QString::fromUtf8("Café le matin, thé l'après-midi.")}}},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.file);
        const std::vector<VCardContact> cards = ReadVCards(Fixture(s.file));
        ASSERT_EQ(cards.size(), static_cast<size_t>(s.cards.size()));
        for (int i = 0; i < static_cast<int>(cards.size()); ++i)
            ExpectContact(cards.at(static_cast<size_t>(i)), s.cards.at(i));
    }
}

std::unique_ptr<Contact> MakeContact(const QString& first, const QString& last,
                                     const QList<QByteArray>& emails, const QByteArray& phone = {},
                                     const QByteArray& web = {}, const QByteArray& im = {})
{
    auto c = std::make_unique<Contact>();
    c->firstName = first;
    c->lastName = last;
    for (const QByteArray& e : emails)
        c->emails.Add(e);
    c->telephone = phone;
    c->webSite = web;
    c->messenger = im;
    return c;
}

void ExpectSame(const Contact& a, const Contact& b)
{
    EXPECT_EQ(a.firstName, b.firstName);
    EXPECT_EQ(a.lastName, b.lastName);
    EXPECT_EQ(Emails(a), Emails(b));
    EXPECT_EQ(a.telephone, b.telephone);
    EXPECT_EQ(a.webSite, b.webSite);
    EXPECT_EQ(a.messenger, b.messenger);
}

TEST(VCard, OwnExportReadsBackUnchangedInBothVersions)
{
    AddressBook book;
    book.Add(MakeContact("Anna", "Smith", {"anna@example.com", "a.smith@work.example"},
                         "+1 555 0100", "https://anna.example.com/a,b;c", "xmpp:anna@chat.example")
                 .release());
    // Characters the format escapes, and a name long enough to be folded with
    // multi-byte characters across the fold.
    book.Add(MakeContact("Back\\slash, semi;colon",
                         QString::fromUtf8("Ünïcödé ") + QString::fromUtf8("ü").repeated(60),
                         {"u@example.org"})
                 .release());
    book.Add(MakeContact("", "Acme, Inc.", {"sales@acme.example"}).release());
    book.Add(MakeContact("", "", {"nameless@example.net"}).release()); // as a send adds it
    book.Add(MakeContact("Only", "Name", {}).release());

    for (VCardVersion v : {VCardVersion::V3, VCardVersion::V4}) {
        SCOPED_TRACE(v == VCardVersion::V3 ? "3.0" : "4.0");
        const QByteArray text = WriteVCards(book, v);
        EXPECT_TRUE(text.contains(v == VCardVersion::V3 ? "VERSION:3.0\r\n" : "VERSION:4.0\r\n"));
        bool folded = false;
        for (const QByteArray& line : text.split('\n')) {
            if (line.isEmpty())
                continue;
            EXPECT_TRUE(line.endsWith('\r')) << line.constData();
            EXPECT_LE(line.size() - 1, 75) << line.constData(); // octets before CRLF
            // A fold never splits a UTF-8 sequence: each physical line decodes alone.
            EXPECT_EQ(QString::fromUtf8(line).toUtf8(), line) << line.constData();
            folded = folded || line.startsWith(' ');
        }
        EXPECT_TRUE(folded);
        const std::vector<VCardContact> back = ReadVCards(text);
        ASSERT_EQ(static_cast<int>(back.size()), book.Count());
        for (int i = 0; i < book.Count(); ++i)
            ExpectSame(*back.at(static_cast<size_t>(i)).contact, *book.At(i));
    }
}

TEST(VCard, ReimportedSampleKeepsWhatWasRead)
{
    AddressBook book;
    for (const char* f :
         {"phone-sync-v3.vcf", "desktop-v3.vcf", "mail-client-v4.vcf", "legacy-v21.vcf"})
        for (VCardContact& c : ReadVCards(Fixture(f)))
            book.Add(c.contact.release());
    const std::vector<VCardContact> back = ReadVCards(WriteVCards(book));
    ASSERT_EQ(static_cast<int>(back.size()), book.Count());
    for (int i = 0; i < book.Count(); ++i)
        ExpectSame(*back.at(static_cast<size_t>(i)).contact, *book.At(i));
}

TEST(VCard, NoteIsWrittenEscapedAndReadBack)
{
    const auto c = MakeContact("N", "O", {"n@o.example"});
    const QString note = QStringLiteral("line one\nline two; with, commas \\ and a backslash");
    const QByteArray card = WriteVCard(*c, VCardVersion::V4, note);
    EXPECT_TRUE(card.contains("NOTE:line one\\nline two\\; with\\, commas \\\\ and"));
    const std::vector<VCardContact> back = ReadVCards(card);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back.front().note, note);
}

TEST(VCard, BrokenInputGivesOnlyCompleteCards)
{
    const QList<QByteArray> inputs{
        "", "not a vcard at all",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Unended\r\nEMAIL:u@x.example\r\n", // no END
        "BEGIN:VCARD\r\nVERSION:4.0\r\nNOTE:only a note\r\nEND:VCARD\r\n",   // neither name nor
                                                                             // address
    };
    for (const QByteArray& in : inputs)
        EXPECT_TRUE(ReadVCards(in).empty()) << in.constData();
    // A byte order mark and a card in lower case still read.
    const std::vector<VCardContact> cards =
        ReadVCards("\xEF\xBB\xBF"
                   "begin:vcard\nversion:3.0\nfn:Low Case\nemail:l@c.example\nend:vcard\n");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards.front().contact->lastName, "Low Case");
}

// Folded lines join whatever the fold cuts: a value, the property's name,
// its parameters or its colon; quoted-printable soft breaks join too.
TEST(VCard, FoldedLinesJoinWhereverTheyAreCut)
{
    const struct
    {
        const char* what;
        QByteArray property;
        QString note;
    } cases[] = {
        {"value folded many times", "NOTE:one\r\n  two\r\n\tthree\r\n four", "one twothreefour"},
        {"name cut", "NO\r\n TE:whole", "whole"},
        {"colon on a continuation line", "NOTE;LANGUAGE=e\r\n n\r\n :late colon", "late colon"},
        {"colon only in the second line, inside quotes first",
         "NOTE;X-A=\"a:b\"\r\n ;X-B=c:value", "value"},
        {"quoted-printable soft breaks",
         "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:caf=C3=\r\n=A9 =\r\nau lait",
         QString::fromUtf8("caf\xC3\xA9 au lait")},
        {"quoted-printable marked on a continuation line",
         "NOTE;CHARSET=UTF-8;\r\n ENCODING=QUOTED-PRINTABLE:a=3Db=\r\nc", "a=bc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<VCardContact> cards = ReadVCards(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Folded\r\n" + c.property + "\r\nEND:VCARD\r\n");
        ASSERT_EQ(cards.size(), 1u);
        EXPECT_EQ(cards.front().note, c.note);
        EXPECT_EQ(cards.front().contact->lastName, "Folded");
    }
}

// Importing into a book: a card whose display name an entry already has
// (one of the book's, or one an earlier card added) goes into that entry;
// only accepted addresses enter, each once.
TEST(VCard, ImportMergesCardsByDisplayName)
{
    AddressBook book;
    book.Add(MakeContact("Ann", "Lee", {"ann@old.example"}).release());
    book.Add(MakeContact("Ann", "Lee", {"second@entry.example"}).release());
    const QByteArray text =
        "BEGIN:VCARD\r\nN:Lee;Ann;;;\r\nEMAIL:ann@old.example\r\nEMAIL:ann@new.example\r\n"
        "TEL:+1 555 1\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nFN:Bob\r\nEMAIL:bob@x.example\r\nEMAIL:bad address\r\n"
        "NOTE:a note\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nFN:Bob\r\nEMAIL:bob@y.example\r\nEMAIL:bob@x.example\r\n"
        "URL:https://bob.example\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nEMAIL:only@address.example\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nEMAIL:bad address\r\nEND:VCARD\r\n";
    QStringList leftOut;
    const VCardImportResult r = ImportVCards(
        book, ReadVCards(text), [](const QByteArray& a) { return !a.contains(' '); },
        [&leftOut](const QByteArray& a, const QString& name) {
            leftOut << QString::fromUtf8(a) + " of " + name;
        });
    EXPECT_EQ(r.added, 2); // Bob and the card with an address only
    EXPECT_EQ(r.updated, 2);
    EXPECT_EQ(r.notes, 1);
    EXPECT_EQ(leftOut, QStringList({"bad address of Bob", "bad address of "}));
    ASSERT_EQ(book.Count(), 4);
    EXPECT_EQ(Emails(*book.At(0)), QStringList({"ann@old.example", "ann@new.example"}));
    EXPECT_EQ(book.At(0)->telephone, "+1 555 1");
    EXPECT_EQ(Emails(*book.At(1)), QStringList{"second@entry.example"});
    EXPECT_EQ(book.At(2)->DisplayName(), "Bob");
    EXPECT_EQ(Emails(*book.At(2)), QStringList({"bob@x.example", "bob@y.example"}));
    EXPECT_EQ(book.At(2)->webSite, "https://bob.example");
    EXPECT_EQ(book.At(3)->DisplayName(), "");
    EXPECT_EQ(Emails(*book.At(3)), QStringList{"only@address.example"});
}

} // namespace
