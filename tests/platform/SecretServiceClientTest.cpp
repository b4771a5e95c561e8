// The Secret Service client and the program's keyring against a real
// Secret Service: GNOME Keyring on the private bus of
// tests/support/with_keyring.sh, whose mode (unlocked, none, silent) is in
// VELMORA_TEST_KEYRING. The keyring is also read from outside with
// python3-secretstorage (keyring_tool.py).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

#include "config/PasswordStorage.h"
#include "platform/SecretServiceClient.h"

using namespace vm;
using Kind = SecretServiceError::Kind;

namespace {

QByteArray Tool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/keyring_tool.py")} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return p.readAllStandardOutput();
}

// The kind of failure of call, and how long it took.
std::optional<Kind> FailureOf(const std::function<void()>& call, qint64* ms = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    std::optional<Kind> kind;
    try {
        call();
    } catch (const SecretServiceError& e) {
        kind = e.kind;
    }
    if (ms)
        *ms = clock.elapsed();
    return kind;
}

class Keyring : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_keyring";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    void SetUp() override
    {
        ASSERT_FALSE(Mode().isEmpty()) << "run through tests/support/with_keyring.sh";
    }
    static QString Mode() { return qEnvironmentVariable("VELMORA_TEST_KEYRING"); }
};

const SecretAttributes kA{{"account", "a"}, {"secret", "pop3"}};
const SecretAttributes kB{{"account", "b"}, {"secret", "pop3"}};

} // namespace

TEST_F(Keyring, StoresFindsReplacesAndClearsItems)
{
    SecretServiceClient client(QStringLiteral("org.velmora.Test"));
    const QByteArray binary("one\0\xff two", 9);
    client.Store(kA, "Label A", binary);
    client.Store(kB, "Label B", "two");
    EXPECT_EQ(client.Lookup(kA), binary);
    EXPECT_EQ(client.Lookup(kB), "two");
    EXPECT_EQ(client.Lookup({{"account", "c"}}), std::nullopt);

    client.Store(kA, "Label A2", "three");
    EXPECT_EQ(client.Lookup(kA), "three");
    const QJsonArray items = QJsonDocument::fromJson(Tool({"items"})).array();
    QStringList seen;
    for (const QJsonValue& v : items)
        seen.append(v["label"].toString() + ' ' + v["attributes"]["xdg:schema"].toString() + ' ' +
                    v["secret"].toString());
    seen.sort();
    EXPECT_EQ(seen, (QStringList{"Label A2 org.velmora.Test three", "Label B org.velmora.Test two"}));

    EXPECT_EQ(client.Clear({{"account", "a"}}), 1);
    EXPECT_EQ(client.Lookup(kA), std::nullopt);
    EXPECT_EQ(client.Clear({{"account", "b"}}), 1);
}

TEST_F(Keyring, DataDirectoriesNeverShareItems)
{
    QTemporaryDir one, two;
    DesktopKeyring first(one.path(), {}), second(two.path(), {});
    first.Write("anna", "pop3", "Velmora: anna (POP3)", "1");
    second.Write("anna", "pop3", "Velmora: anna (POP3)", "2");
    EXPECT_EQ(first.Read("anna", "pop3"), "1");
    EXPECT_EQ(second.Read("anna", "pop3"), "2");
    first.Remove("anna", {}); // every item of the account
    EXPECT_EQ(first.Read("anna", "pop3"), std::nullopt);
    EXPECT_EQ(second.Read("anna", "pop3"), "2");
    const QJsonArray items = QJsonDocument::fromJson(Tool({"items"})).array();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]["attributes"]["data-directory"].toString(),
              QFileInfo(two.path()).canonicalFilePath());
    second.Remove("anna", "pop3");
}

TEST_F(Keyring, LockedCollectionFailsAtOnceAndNamesTheKeyring)
{
    SecretServiceClient client(QStringLiteral("org.velmora.Test"));
    client.Store(kA, "Label A", "one");
    QTemporaryDir dir;
    DesktopKeyring keyring(dir.path(), {});
    keyring.Write("anna", "pop3", "Velmora: anna (POP3)", "two");
    Tool({"lock"});
    // Nobody can answer the unlock prompt on this bus: it is refused.
    qint64 ms = 0;
    EXPECT_EQ(FailureOf([&] { client.Lookup(kA); }, &ms), Kind::Locked);
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(FailureOf([&] { client.Store(kB, "Label B", "two"); }), Kind::Locked);
    try {
        keyring.Read("anna", "pop3");
        ADD_FAILURE() << "a locked keyring was read";
    } catch (const KeyringError& e) {
        EXPECT_EQ(e.ReportMessage(), "The desktop keyring is locked and was not unlocked.");
    }
    Tool({"unlock", qEnvironmentVariable("VELMORA_TEST_KEYRING_PASSWORD")});
    EXPECT_EQ(client.Lookup(kA), "one");
    EXPECT_EQ(client.Clear(kA), 1);
    // The program's keyring does not ask again for a while after a refusal.
    EXPECT_THROW(keyring.Read("anna", "pop3"), KeyringError);
    DesktopKeyring later(dir.path(), {}, std::chrono::milliseconds(0));
    EXPECT_EQ(later.Read("anna", "pop3"), "two");
    later.Remove("anna", {});
}

// Registered for the modes "none" and "silent".
TEST_F(Keyring, WithoutAnAnsweringServiceEveryCallEndsWithinItsLimit)
{
    ASSERT_NE(Mode(), "unlocked");
    const Kind expected = Mode() == "none" ? Kind::Unreachable : Kind::TimedOut;
    SecretServiceLimits limits;
    limits.replyMs = 1000;
    SecretServiceClient client(QStringLiteral("org.velmora.Test"), limits);
    const std::function<void()> calls[] = {[&] { client.Lookup(kA); },
                                           [&] { client.Store(kA, "Label A", "one"); },
                                           [&] { client.Clear(kA); }};
    for (const auto& call : calls) {
        qint64 ms = 0;
        EXPECT_EQ(FailureOf(call, &ms), expected);
        EXPECT_LT(ms, limits.replyMs + 1500);
    }
}
