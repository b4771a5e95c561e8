#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "lang/LanguageShell.h"
#include "ops/ErrorList.h"
#include "support/TestFiles.h"

using namespace vm;

// A translated text is used whether or not it takes arguments; English
// stands in only for a key the language lacks or a text it cannot fill.
TEST(TextOr, TheLanguagesTextWithItsArgumentsElseEnglish)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/pl.lng";
    vm::test::WriteFile(path, "[HEAD]\nSymbol=PL\nName=Polski\n[ERROR]\n"
                              "ErrorListItem=Konto: <%s> klasa %s: %s\n"
                              "InterruptedOnDemand=Przerwano.\n"
                              "TwoArgs=%s i %s\n");
    ASSERT_TRUE(LoadLanguage(path));
    const struct
    {
        const char* key;
        QStringList args;
        QString expected;
    } cases[] = {
        {"ErrorListItem", {"a", "B", "c"}, "Konto: <a> klasa B: c"},
        {"InterruptedOnDemand", {}, QString::fromUtf8("Przerwano.")},
        {"Missing", {"x"}, "English x"},
        {"TwoArgs", {"x"}, "English x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextOr("Error", c.key, "English %s", c.args), c.expected) << c.key;
    Language().Clear();
}
