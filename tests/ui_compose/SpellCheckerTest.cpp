// Spell checking against a small dictionary written by the test.

#include "ui/compose/SpellChecker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "ComposeFixtures.h"

using namespace vm;

namespace {

class SpellCheckerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vmtest::EnsureComposeApp();
        Write("xx_XX.aff", "SET UTF-8\nTRY esianrtolcdugmphbyfvkwz\n");
        Write("xx_XX.dic", "4\nhello\nworld\nłódź\nletter\n");
        Write("yy_YY.dic", "1\nalone\n"); // no .aff: not a dictionary
    }
    void Write(const char* name, const char* text)
    {
        QFile f(QDir(dir.path()).filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString Words() const { return QDir(dir.path()).filePath(QStringLiteral("words.txt")); }

    QTemporaryDir dir;
};

// Ranges underlined by the highlighter in the document's first block.
QStringList Marked(const QTextDocument& doc)
{
    QStringList out;
    const QTextBlock b = doc.firstBlock();
    for (const QTextLayout::FormatRange& r : b.layout()->formats())
        if (r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
            out.append(b.text().mid(r.start, r.length));
    return out;
}

} // namespace

TEST_F(SpellCheckerTest, ChecksSuggestsAndRemembersAddedWords)
{
    EXPECT_EQ(SpellChecker::AvailableLanguages({dir.path()}), QStringList{"xx_XX"});
    {
        SpellChecker checker(QStringLiteral("xx_XX"), {dir.path()}, Words());
        ASSERT_TRUE(checker.IsValid());
        EXPECT_TRUE(checker.IsCorrect(QStringLiteral("hello")));
        EXPECT_TRUE(checker.IsCorrect(QString::fromUtf8("łódź")));
        EXPECT_FALSE(checker.IsCorrect(QStringLiteral("helo")));
        EXPECT_TRUE(checker.Suggestions(QStringLiteral("helo")).contains("hello"));
        EXPECT_FALSE(checker.IsCorrect(QStringLiteral("Velmora")));
        checker.AddWord(QStringLiteral("Velmora"));
        EXPECT_TRUE(checker.IsCorrect(QStringLiteral("Velmora")));
    }
    // The added word lasts: a new checker reads the words file.
    SpellChecker again(QStringLiteral("xx_XX"), {dir.path()}, Words());
    EXPECT_TRUE(again.IsCorrect(QStringLiteral("Velmora")));
    QFile words(Words());
    EXPECT_EQ(words.permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    QTextDocument doc;
    SpellHighlighter highlighter(&doc, again);
    doc.setPlainText(QString::fromUtf8("hello helo łódź wrld Velmora"));
    highlighter.rehighlight();
    EXPECT_EQ(Marked(doc), QStringList({"helo", "wrld"}));
    EXPECT_EQ(SpellHighlighter::WordAt(QStringLiteral("say hello."), 6), qMakePair(4, 5));
    EXPECT_EQ(SpellHighlighter::WordAt(QStringLiteral("say . hello"), 4).second, 0);
}

TEST_F(SpellCheckerTest, WithoutADictionaryNothingIsMarked)
{
    for (const QString& language : {QString(), QStringLiteral("zz_ZZ")}) {
        SpellChecker checker(language, {dir.path() + QStringLiteral("/none")});
        EXPECT_FALSE(checker.IsValid());
        EXPECT_TRUE(checker.IsCorrect(QStringLiteral("helo")));
        EXPECT_TRUE(checker.Suggestions(QStringLiteral("helo")).isEmpty());
        QTextDocument doc;
        SpellHighlighter highlighter(&doc, checker);
        doc.setPlainText(QStringLiteral("helo wrld"));
        highlighter.rehighlight();
        EXPECT_TRUE(Marked(doc).isEmpty());
    }
}
