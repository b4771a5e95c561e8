// velmora --contacts / --import-contacts / --export-contacts, run as a
// separate process on a temporary data directory.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

#include "addressbook/AddressBook.h"
#include "cli/CommandRun.h"
#include "platform/SingleInstance.h"

using namespace vm;

namespace {

using Result = vm::test::CommandResult;
using vm::test::ProgramPath;

QString Sample(const char* name)
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/tests/fixtures/vcard/") + QLatin1String(name);
}

class Contacts : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { vm::test::EnsureCoreApplication(); }
    void SetUp() override
    {
        if (!QFile::exists(ProgramPath()))
            GTEST_SKIP() << "the program is not built";
        ASSERT_TRUE(data.isValid());
    }
    Result Run(const QStringList& args) { return vm::test::RunCommand(data.path(), args); }
    QJsonArray Json()
    {
        const Result r = Run({"--contacts", "--json"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).array();
    }
    QTemporaryDir data;
};

QJsonObject ByName(const QJsonArray& a, const QString& name)
{
    for (const QJsonValue& v : a)
        if (v.toObject().value("name").toString() == name)
            return v.toObject();
    return {};
}

TEST_F(Contacts, ImportPrintExportAndImportAgain)
{
    // A new data directory shows the book the window would start with.
    const QJsonArray start = Json();
    ASSERT_EQ(start.size(), 1);

    Result r = Run({"--import-contacts", Sample("desktop-v3.vcf")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "2 new, 0 updated");
    r = Run({"--import-contacts", Sample("legacy-v21.vcf")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("1 note(s) left out")) << r.err.toStdString();

    const QJsonArray book = Json();
    ASSERT_EQ(book.size(), 4);
    const QJsonObject j = ByName(book, QString::fromUtf8("Jürgen Karl Müller"));
    EXPECT_EQ(j.value("lastName").toString(), QString::fromUtf8("Müller"));
    EXPECT_EQ(j.value("emails").toArray().size(), 2);
    EXPECT_EQ(j.value("phone").toString(), "+49 170 7654321");
    EXPECT_EQ(ByName(book, QString::fromUtf8("Renée François"))
                  .value("emails")
                  .toArray()
                  .first()
                  .toString(),
              "renee@francois.example.fr");

    // Importing the same cards again adds no entry and no address.
    r = Run({"--import-contacts", Sample("desktop-v3.vcf")});
    EXPECT_EQ(r.out.trimmed(), "0 new, 2 updated");
    EXPECT_EQ(Json(), book);

    // Velmora's export, imported into an empty data directory, gives the same book.
    const QString exported = data.filePath("out.vcf");
    for (const QStringList& form : {QStringList{}, QStringList{"--vcard3"}}) {
        ASSERT_EQ(Run(QStringList{"--export-contacts", exported} + form).code, 0);
        QTemporaryDir other;
        const Result imported = vm::test::RunCommand(other.path(), {"--import-contacts", exported});
        ASSERT_EQ(imported.code, 0) << imported.err.toStdString();
        const Result listed = vm::test::RunCommand(other.path(), {"--contacts", "--json"});
        ASSERT_EQ(listed.code, 0) << listed.err.toStdString();
        // The other book started with the same maker's entry, which the import updated.
        EXPECT_EQ(QJsonDocument::fromJson(listed.outBytes).array(), book);
    }
}

// Every field of the plain listing stays on its line and in its column:
// line breaks and tabs become blanks, other controls are shown harmless.
TEST_F(Contacts, ListingKeepsEachContactOnOneLine)
{
    AddressBook book;
    const struct
    {
        const char* first;
        const char* last;
        QByteArray address;
    } entries[] = {
        {"Eve\nEvil", "Doer\r\nX", "eve@x.example"},
        {"Tab\tIn", "Name", "tab@x.example\nforged line"},
        {"\x1B[31mRed", "", "red@x.example"},
    };
    for (const auto& e : entries) {
        auto* c = new Contact;
        c->firstName = QString::fromUtf8(e.first);
        c->lastName = QString::fromUtf8(e.last);
        c->emails.Add(e.address);
        book.Add(c);
    }
    book.SaveToFile(data.filePath("addressbook.vlab"));

    const Result r = Run({"--contacts"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QString::fromUtf8("Eve Evil Doer  X\teve@x.example\n"
                                       "Tab In Name\ttab@x.example forged line\n"
                                       "\xEF\xBF\xBD[31mRed\tred@x.example\n"));
}

TEST_F(Contacts, ImportRefusesBadAddressesAndARunningWindow)
{
    const QString file = data.filePath("odd.vcf");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Odd;Ed;;;\r\nEMAIL:\"ed\"@x.example\r\n"
                "EMAIL:<ed@y.example>\r\nEMAIL:ed@z.example\r\nEND:VCARD\r\n");
    }
    {
        // A window on the same data directory holds the lock.
        SingleInstance window(data.path());
        ASSERT_TRUE(window.TryAcquire());
        const Result r = Run({"--import-contacts", file});
        EXPECT_EQ(r.code, 1);
        EXPECT_FALSE(QFile::exists(data.filePath("addressbook.vlab")));
    }
    const Result r = Run({"--import-contacts", file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("\"ed\"@x.example"));
    const QJsonObject ed = ByName(Json(), "Ed Odd");
    EXPECT_EQ(ed.value("emails").toArray(), QJsonArray({"ed@z.example"}));

    EXPECT_EQ(Run({"--import-contacts"}).code, 2);
    EXPECT_EQ(Run({"--import-contacts", data.filePath("missing.vcf")}).code, 1);
    EXPECT_EQ(Run({"--contacts", "--xml"}).code, 2);
    EXPECT_EQ(Run({"--export-contacts"}).code, 2);
}

} // namespace
