// The POP3 client's texts come from the loaded language, with their
// arguments filled in.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "lang/LanguageShell.h"
#include "pop3/Pop3Client.h"
#include "pop3/Pop3Listing.h"
#include "support/TestFiles.h"

using namespace vm;

TEST(Pop3Texts, StatusAndErrorTextsComeFromTheLanguage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("texts.lng");
    vm::test::WriteFile(path, "[HEAD]\nSymbol=XX\nName=Texts\n"
                              "[MAINWND]\nLoggingToServer=Verbinde (Konto: %s)\n"
                              "[ERROR]\nInvalidServerReply=Falsche Antwort \"%s\"\n");
    ASSERT_TRUE(LoadLanguage(path));
    EXPECT_EQ(StatusLoggingToServer("bob"), QString("Verbinde (Konto: bob)"));
    EXPECT_EQ(InvalidStatusLineText("HELLO"), QString("Falsche Antwort \"HELLO\""));
}
