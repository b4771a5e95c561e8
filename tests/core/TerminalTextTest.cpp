// What the commands print on a terminal: characters that steer a terminal or
// change how a line reads are replaced, in plain text and in JSON.

#include "core/TerminalText.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace vm;

namespace {

const QChar kReplaced(QChar::ReplacementCharacter);

// One of each kind of character a terminal must not receive.
const char16_t kUnsafe[] = {
    // C0 but TAB and LF, DEL, C1 (NEL, CSI)
    0x00, 0x07, 0x08, 0x0D, 0x1B, 0x1F, 0x7F, 0x80, 0x85, 0x9B, 0x9F,
    // bidirectional formatting
    0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069,
    // line and paragraph separators
    0x2028, 0x2029};

} // namespace

TEST(TerminalText, ReplacesControlAndBidiCharactersOnly)
{
    for (const char16_t u : kUnsafe) {
        const QString text = QStringLiteral("a") + QChar(u) + QStringLiteral("b");
        EXPECT_EQ(TerminalSafeText(text), QStringLiteral("a") + kReplaced + QStringLiteral("b"))
            << "U+" << std::hex << unsigned(u);
    }
    // Everything else stays, TAB and LF (the commands' own separators), text
    // of any script and characters outside the BMP included.
    const QString kept = QString::fromUtf8("Tab\there\nnext line: \xC2\xA3 \xC3\xA9 "
                                           "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xE2\x80\x8B "
                                           "\xF0\x9F\x98\x80 \xC2\xA0 \xE2\x80\x8D");
    EXPECT_EQ(TerminalSafeText(kept), kept);
}

TEST(TerminalText, JsonKeepsItsValuesAndLosesTheCharacters)
{
    QString value = QStringLiteral("subject ");
    for (const char16_t u : kUnsafe)
        value += QChar(u);
    value += QString::fromUtf8(" \xC3\xA9\t\n");
    const QString json =
        QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("subject"), value}})
                              .toJson(QJsonDocument::Indented));
    const QString safe = TerminalSafeJson(json);
    for (const char16_t u : kUnsafe)
        EXPECT_FALSE(safe.contains(QChar(u))) << "U+" << std::hex << unsigned(u);
    const QJsonDocument back = QJsonDocument::fromJson(safe.toUtf8());
    ASSERT_TRUE(back.isObject());
    EXPECT_EQ(back.object().value(QStringLiteral("subject")).toString(), value);
}
