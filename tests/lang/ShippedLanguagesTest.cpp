// The translations built into the program: complete, in step with the
// English file, and written into a data directory without ever replacing a
// file the user changed.

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

#include <optional>

#include "lang/BuiltinLanguage.h"
#include "lang/LangFile.h"
#include "lang/LangStartup.h"
#include "lang/LanguageShell.h"
#include "support/TestFiles.h"

using namespace vm;
using vm::test::ReadFile;
using vm::test::WriteFile;

namespace {

struct Shipped
{
    const char* file;
    const char* symbol;
    const char* name;
};
const Shipped kShipped[] = {{"polish.lng", "PL", "Polski"}, {"german.lng", "DE", "Deutsch"}};

QByteArray Builtin(const QString& fileName)
{
    for (const BuiltinLanguage& l : BuiltinLanguages())
        if (l.fileName == fileName)
            return l.bytes;
    return {};
}

// The "%s" and "%%" of a processed value, in order.
std::string Placeholders(const QString& value)
{
    QStringList out;
    for (qsizetype i = 0; i + 1 < value.size(); ++i)
        if (value[i] == '%') {
            out << value.mid(i, 2);
            ++i;
        }
    return out.join(' ').toStdString();
}

// Accelerator marks: "&" not doubled.
int Accelerators(const QString& value)
{
    return static_cast<int>(value.count('&') - 2 * value.count(QStringLiteral("&&")));
}

std::string Where(const QByteArray& section, const QByteArray& key)
{
    return "[" + section.toStdString() + "] " + key.toStdString();
}

} // namespace

TEST(ShippedLanguages, BuiltInEnglishFirstThenPolishAndGerman)
{
    QStringList names;
    for (const BuiltinLanguage& l : BuiltinLanguages()) {
        names << l.fileName;
        EXPECT_TRUE(l.bytes.startsWith("\xEF\xBB\xBF;")) << l.fileName.toStdString();
    }
    EXPECT_EQ(names, QStringList({"english.lng", "polish.lng", "german.lng"}));
}

// Every shipped file passes the translators' check with nothing missing and
// has the English file's sections and keys in the same order (besides texts
// English has not got yet), each value non-empty, with the same placeholders
// in the same order, the same line breaks, tooltip marks, list items and
// accelerator marks.
TEST(ShippedLanguages, CompleteAndInStepWithEnglish)
{
    IniFile english;
    ASSERT_TRUE(english.Parse(BuiltinEnglishFile()));
    for (const Shipped& s : kShipped) {
        SCOPED_TRACE(s.file);
        QTemporaryDir dir;
        const QString path = dir.path() + '/' + s.file;
        WriteFile(path, Builtin(s.file));
        QString report;
        QTextStream out(&report);
        EXPECT_EQ(CheckLanguageFile(path, out), 0);
        out.flush();
        EXPECT_TRUE(report.contains(QStringLiteral("Symbol: %1\n").arg(s.symbol)));
        EXPECT_TRUE(report.contains(QStringLiteral("Name: %1\n").arg(s.name)));
        EXPECT_TRUE(report.contains("Complete:")) << report.toStdString();
        EXPECT_FALSE(report.contains("Missing")) << report.toStdString();

        IniFile file;
        ASSERT_TRUE(file.ParseFile(path));
        // A translation may already carry texts the English file has not
        // got yet (tools/lang_order.py drops them once they are gone for
        // good); English's own sections and keys must all be there, in
        // English's order.
        qsizetype next = 0;
        for (qsizetype i = 0; i < english.Sections().size(); ++i) {
            const IniFile::Section& en = english.Sections()[i];
            while (next < file.Sections().size() && file.Sections()[next].name != en.name)
                ++next;
            ASSERT_LT(next, file.Sections().size())
                << "missing or out of order: " << en.name.toStdString();
            QList<IniFile::key> trKeys;
            for (const IniFile::key& k : file.Sections()[next++].keys)
                if (english.Value(en.name, k.name))
                    trKeys.append(k);
            ASSERT_EQ(trKeys.size(), en.keys.size()) << en.name.toStdString();
            for (qsizetype k = 0; k < en.keys.size(); ++k) {
                const IniFile::key& tk = trKeys[k];
                ASSERT_EQ(tk.name, en.keys[k].name) << en.name.toStdString();
                const std::string where = Where(en.name, en.keys[k].name);
                const QString e = PostProcessValue(en.keys[k].value);
                const QString t = PostProcessValue(tk.value);
                EXPECT_FALSE(t.trimmed().isEmpty()) << where;
                EXPECT_EQ(Placeholders(t), Placeholders(e)) << where;
                EXPECT_EQ(t.count(QStringLiteral("\r\n")), e.count(QStringLiteral("\r\n")))
                    << where;
                EXPECT_EQ(t.startsWith('@'), e.startsWith('@')) << where;
                EXPECT_EQ(Accelerators(t), Accelerators(e)) << where;
                if (e.endsWith(';')) {
                    EXPECT_TRUE(t.endsWith(';')) << where;
                    EXPECT_EQ(t.count(';'), e.count(';')) << where;
                }
            }
        }
    }
}

// What a data directory holds after the program brought its language files
// up to date, for each state a file can be in. "Recorded" is what the record
// says the program wrote there.
TEST(ShippedLanguages, WrittenWhereMissingUpdatedOnlyWhereUnchanged)
{
    const QByteArray older = "\xEF\xBB\xBF[HEAD]\nSymbol=PL\nName=Polski (older)\n";
    const QByteArray edited = "\xEF\xBB\xBF[HEAD]\nSymbol=PL\nName=Polski (mine)\n";
    const QByteArray englishOlder = "\xEF\xBB\xBF[HEAD]\nSymbol=EN\nName=English (older)\n";
    enum class Expect { Builtin, Before, Missing };
    struct Case
    {
        const char* what;
        const char* file;
        std::optional<QByteArray> before;   // the file's content, none = missing
        std::optional<QByteArray> recorded; // digest source in the record
        Expect expect;
    } cases[] = {
        {"missing, never written", "polish.lng", {}, {}, Expect::Builtin},
        {"missing, never written", "german.lng", {}, {}, Expect::Builtin},
        {"older version, unchanged", "polish.lng", older, older, Expect::Builtin},
        {"older version, edited", "polish.lng", edited, older, Expect::Before},
        {"the user's own file of that name", "german.lng", edited, {}, Expect::Before},
        {"deleted after it was written", "polish.lng", {}, older, Expect::Missing},
        {"English, older version, unchanged", "english.lng", englishOlder, englishOlder,
         Expect::Builtin},
        {"English, missing, never written", "english.lng", {}, {}, Expect::Missing},
        {"English, edited", "english.lng", edited, englishOlder, Expect::Before},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.what);
        QTemporaryDir tmp;
        const QString dir = tmp.path() + '/';
        if (c.before)
            WriteFile(dir + c.file, *c.before);
        if (c.recorded)
            WriteFile(dir + "languages.sha256",
                      QCryptographicHash::hash(*c.recorded, QCryptographicHash::Sha256).toHex() +
                          "  " + c.file + "\n");
        UpdateBuiltinLanguages(dir);
        const QByteArray builtin = Builtin(c.file);
        ASSERT_FALSE(builtin.isEmpty());
        switch (c.expect) {
        case Expect::Builtin:
            EXPECT_EQ(ReadFile(dir + c.file), builtin);
            // Recorded, so that the next version replaces it in turn.
            EXPECT_TRUE(ReadFile(dir + "languages.sha256")
                            .split('\n')
                            .contains(QCryptographicHash::hash(builtin, QCryptographicHash::Sha256)
                                          .toHex() +
                                      "  " + c.file));
            break;
        case Expect::Before:
            EXPECT_EQ(ReadFile(dir + c.file), *c.before);
            break;
        case Expect::Missing:
            EXPECT_FALSE(QFile::exists(dir + c.file));
            break;
        }
    }
}

// A record that is not what the program writes changes nothing it names.
TEST(ShippedLanguages, DamagedRecordLeavesFilesAlone)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + '/';
    const QByteArray mine = "[HEAD]\nSymbol=PL\nName=Moje\n";
    WriteFile(dir + "polish.lng", mine);
    WriteFile(dir + "languages.sha256",
              "\xFF\xFE garbage\n" +
                  QCryptographicHash::hash(mine, QCryptographicHash::Sha256).toHex().left(60) +
                  "  polish.lng\n");
    UpdateBuiltinLanguages(dir);
    EXPECT_EQ(ReadFile(dir + "polish.lng"), mine);
    EXPECT_EQ(ReadFile(dir + "german.lng"), Builtin("german.lng"));
}
