// The update check from the start-up steps to the update window, against a
// real HTTPS server (tests/support/update_server.py) with a certificate of
// the test CA: which replies make an offer, what the user's choices change,
// when nothing is asked or sent at all.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCryptographicHash>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include "config/Settings.h"
#include "core/DateTime.h"
#include "core/WallClockOverride.h"
#include "lang/BuiltinLanguage.h"
#include "lang/LanguageShell.h"
#include "net/TlsTrust.h"
#include "ops/UpdateCheck.h"
#include "support/GuiTestApp.h"
#include "support/PythonServer.h"
#include "support/TestPki.h"
#include "ui/common/UpdateWindow.h"

using namespace vm;

namespace {

constexpr char kPath[] = "/programs/updates/vlupdate.php";
constexpr char kTarget[] = "/programs/updates/vlupdate.php?signature=VL320KEX07&lang=EN";

// tests/support/update_server.py for one test: what it answers, what it was asked.
class UpdateServer
{
public:
    UpdateServer()
    {
        vm::test::TestPki& pki = vm::test::TestPki::Shared();
        if (!pki.Ok()) {
            error_ = pki.Error();
            return;
        }
        port_ = vmtest::StartPythonServer(
            process_, {QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/update_server.py"),
                       QStringLiteral("--dir"), dir_.path(), QStringLiteral("--cert"),
                       pki.ServerCertPath(), QStringLiteral("--key"), pki.ServerKeyPath()},
            error_);
    }
    ~UpdateServer() { vmtest::StopPythonServer(process_); }
    bool Ok() const { return port_ != 0; }
    QString Error() const { return error_; }
    quint16 Port() const { return port_; }

    void SetReply(const QByteArray& body, int status = 200, bool withLength = true)
    {
        Write(QStringLiteral("reply"), body);
        Write(QStringLiteral("status"), QByteArray::number(status));
        if (withLength)
            QFile::remove(dir_.filePath(QStringLiteral("no-length")));
        else
            Write(QStringLiteral("no-length"), {});
    }
    // The request targets received so far, in order.
    QList<QByteArray> Requests() const
    {
        QFile f(dir_.filePath(QStringLiteral("requests.log")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = f.readAll().split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

private:
    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir_.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

QByteArray Md5Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// A well-formed reply: version, address, digest of the address.
QByteArray Reply(const QByteArray& version, const QByteArray& address,
                 const QByteArray& lineEnd = "\r\n")
{
    return version + lineEnd + address + lineEnd + Md5Hex(address) + lineEnd;
}

double g_now = 0;
double TestNow()
{
    return g_now;
}

// What one program start did.
struct StartResult
{
    int requests = 0; // requests the server received during the start
    bool optInAsked = false;
    bool offered = false; // the update window is shown
    UpdateOffer offer;
};

class UpdateCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vmtest::MakeGuiTestApp();
        static QTemporaryDir langDir;
        static const bool loaded =
            WriteBuiltinEnglish(langDir.path()) && LoadLanguage(langDir.path() + "/english.lng");
        ASSERT_TRUE(loaded);
        ASSERT_TRUE(server.Ok()) << server.Error().toStdString();
        SetTrustFilePath(trustDir.path() + "/certificates.ini");
        SetTrustedCaCertificates({vm::test::TestPki::Shared().CaCertificate()});
        serviceAddress = QStringLiteral("https://localhost:%1%2").arg(server.Port()).arg(kPath);
        updateUrl.Set(serviceAddress.toUtf8());
        SetUpdatePageOpener([this](const QUrl& url) { opened.append(url); });
        g_now = 46000.5; // a fixed day in 2025, noon
        SetWallClockForTesting(&TestNow);
        settings.AutoUpdateQuery = false;
        settings.AutoUpdateCheck = true;
    }
    void TearDown() override
    {
        SetWallClockForTesting(nullptr);
        SetUpdatePageOpener(nullptr);
        ResetTrustedCaCertificates();
        SetTrustFilePath({});
    }

    // One program start: the start-up steps with the configured address,
    // the opt-in question answered by answerOptIn when it comes, waiting for
    // the query (if one starts) to end.
    StartResult Start(bool answerOptIn = true)
    {
        StartResult result;
        const int before = int(server.Requests().size());
        control = std::make_unique<UpdateCheckControl>(settings, UpdateServiceUrl());
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* w = qobject_cast<UpdateActivationWindow*>(TranslatedWindow::CurrentModalWindow());
            if (!w || !w->isVisible())
                return;
            result.optInAsked = true;
            EXPECT_EQ(w->LUpdateActivation->text(),
                      "Velmora can automatically check if its new version is available on the "
                      "Internet. This procedure is done at program's startup and is invisible "
                      "for user, but you will be informed immediatelly if a new version is "
                      "found. You can turn on this option now, but whathever you choose you can "
                      "always use Settings panel to turn update autochecks on and off.");
            EXPECT_TRUE(w->RBTurnOn->isChecked());
            (answerOptIn ? w->RBTurnOn : w->RBTurnOff)->setChecked(true);
            w->BOK->click();
        });
        answer.start();
        control->RunStartupSteps();
        answer.stop();
        if (UpdateQuery* query = control->Query()) {
            QSignalSpy done(control.get(), &UpdateCheckControl::queryFinished);
            // The end is a queued signal: it cannot have arrived before the spy.
            EXPECT_TRUE(done.wait(90000)) << "the update query did not end";
            EXPECT_FALSE(query->Running());
            QCoreApplication::processEvents();
        }
        result.requests = int(server.Requests().size()) - before;
        if (UpdateFoundWindow* w = control->FoundWindow(); w && w->isVisible()) {
            result.offered = true;
            result.offer = w->Offer();
        }
        return result;
    }

    UpdateFoundWindow* Window() const { return control ? control->FoundWindow() : nullptr; }

    UpdateServer server;
    QTemporaryDir trustDir;
    QString serviceAddress;
    vm::test::ScopedEnv updateUrl{"VELMORA_UPDATE_URL"};
    Settings settings;
    QList<QUrl> opened;
    std::unique_ptr<UpdateCheckControl> control;
};

TEST_F(UpdateCheckTest, OnlyAWellFormedVerifiedReplyWithAnAddressToOpenMakesAnOffer)
{
    const QByteArray page = "https://www.example.com/velmora/download.html";
    const QByteArray hugeAddress = "https://www.example.com/" + QByteArray(70 * 1024, 'a');
    QByteArray upperDigest = Reply("3.6", page);
    upperDigest.replace(Md5Hex(page), Md5Hex(page).toUpper());
    const QByteArray localHttp = "http://localhost/velmora/news.html";
    struct Case
    {
        const char* name;
        QByteArray body;
        int status;
        bool withLength;
        const char* lastNotified;
        bool offered;
    } cases[] = {
        {"three lines", Reply("3.6", page), 200, true, "", true},
        {"three lines, LF breaks, none after the last", "3.6\n" + page + "\n" + Md5Hex(page), 200,
         true, "", true},
        {"a fourth, empty line", Reply("3.6", page) + "\r\n", 200, true, "", false},
        {"two lines", "3.6\r\n" + page + "\r\n", 200, true, "", false},
        {"digest in capitals", upperDigest, 200, true, "", true},
        {"digest of another address", "3.6\r\n" + page + "\r\n" + Md5Hex(page + "/") + "\r\n", 200,
         true, "", false},
        {"file: address", Reply("3.6", "file:///home/user/.profile"), 200, true, "", false},
        {"javascript: address", Reply("3.6", "javascript:alert(document.cookie)"), 200, true, "",
         false},
        {"http address on another host", Reply("3.6", "http://www.example.com/dl.html"), 200, true,
         "", false},
        {"http address on the update host", Reply("3.6", localHttp), 200, true, "", true},
        {"version already acted on, other letter case", Reply("v3.6-Beta", page), 200, true,
         "V3.6-beta", false},
        {"status other than 200", Reply("3.6", page), 404, true, "", false},
        {"body ended by the connection", Reply("3.6", page), 200, false, "", true},
        {"oversized body with a length", Reply("3.6", hugeAddress), 200, true, "", false},
        {"oversized body ended by the connection", Reply("3.6", hugeAddress), 200, false, "",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetReply(c.body, c.status, c.withLength);
        settings.LastNotifiedUpdate = QString::fromLatin1(c.lastNotified);
        opened.clear();
        const StartResult r = Start();
        EXPECT_EQ(r.requests, 1);
        EXPECT_EQ(server.Requests().value(server.Requests().size() - 1), kTarget);
        EXPECT_EQ(r.offered, c.offered);
        EXPECT_TRUE(opened.isEmpty()); // nothing opens before the user says so
        if (r.offered) {
            const QList<QByteArray> lines = c.body.split('\n');
            EXPECT_EQ(r.offer.version, "3.6");
            EXPECT_EQ(r.offer.address.toUtf8(), lines.value(1).trimmed());
            EXPECT_EQ(Window()->windowTitle(), "Velmora: update available");
            EXPECT_EQ(Window()->LUpdateFound->text(),
                      "A newer then the  currently installed version of Velmora is available on "
                      "the Internet. It may introduce important new features and improvements. "
                      "Whould you like to get more information?");
            EXPECT_TRUE(Window()->RBUpdate->isChecked());
            EXPECT_EQ(Window()->CBRemind->currentText(), "tomorrow");
        }
        EXPECT_EQ(settings.LastNotifiedUpdate, QString::fromLatin1(c.lastNotified));
        control.reset();
    }
}

TEST_F(UpdateCheckTest, OpenedVersionIsNeverOfferedAgainButANewerOneIs)
{
    const QByteArray page = "https://www.example.com/velmora/3.6.html";
    server.SetReply(Reply("3.6", page));
    settings.UpdateReminder = g_now - 1; // an old reminder
    ASSERT_TRUE(Start().offered);
    Window()->BOK->click(); // RBUpdate is checked
    EXPECT_FALSE(Window()->isVisible());
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QString::fromLatin1(page))});
    EXPECT_EQ(settings.LastNotifiedUpdate, "3.6");
    EXPECT_EQ(settings.UpdateReminder, 0);

    for (int start = 0; start < 2; ++start) {
        const StartResult again = Start();
        EXPECT_EQ(again.requests, 1); // still asked at every start...
        EXPECT_FALSE(again.offered);  // ...but never offered again
    }
    EXPECT_EQ(opened.size(), 1);

    server.SetReply(Reply("3.7", "https://www.example.com/velmora/3.7.html"));
    const StartResult newer = Start();
    EXPECT_TRUE(newer.offered);
    EXPECT_EQ(newer.offer.version, "3.7");
}

TEST_F(UpdateCheckTest, RemindLaterSuppressesEveryRequestUntilTheDate)
{
    server.SetReply(Reply("3.6", "https://www.example.com/velmora/"));
    const int days[] = {1, 7, 14, 30};
    for (int position = 0; position < 4; ++position) {
        SCOPED_TRACE(position);
        const double chosenAt = g_now;
        const StartResult first = Start();
        ASSERT_TRUE(first.offered);
        Window()->RBLater->setChecked(true);
        Window()->CBRemind->setCurrentIndex(position);
        Window()->BOK->click();
        EXPECT_FALSE(Window()->isVisible());
        EXPECT_DOUBLE_EQ(settings.UpdateReminder, chosenAt + days[position]);
        EXPECT_EQ(settings.LastNotifiedUpdate, ""); // the version stays new
        EXPECT_TRUE(opened.isEmpty());

        for (const double later : {0.01, days[position] / 2.0, days[position] - 0.01}) {
            g_now = chosenAt + later;
            const StartResult quiet = Start();
            EXPECT_EQ(quiet.requests, 0) << later << " days later";
            EXPECT_FALSE(quiet.offered);
        }
        g_now = chosenAt + days[position] + 0.01;
        const StartResult after = Start();
        EXPECT_EQ(after.requests, 1);
        EXPECT_TRUE(after.offered); // the same version, offered again
        Window()->close();          // closing the window changes nothing
        EXPECT_DOUBLE_EQ(settings.UpdateReminder, chosenAt + days[position]);
        g_now += 1;
    }
}

TEST_F(UpdateCheckTest, NothingIsAskedOrSentWithChecksOffOrWithoutAnUpdateAddress)
{
    server.SetReply(Reply("3.6", "https://www.example.com/velmora/"));
    const QString plainHttp = QStringLiteral("http://localhost:%1%2").arg(server.Port()).arg(kPath);
    struct Case
    {
        const char* name;
        bool query;
        bool check;
        std::optional<QString> address; // nullopt: the configured test server
    } cases[] = {
        {"checks off, question asked before", false, false, std::nullopt},
        {"no address configured, question pending", true, false, QString()},
        {"no address configured, checks on", false, true, QString()},
        {"plain http address configured, question pending", true, false, plainHttp},
        {"plain http address configured, checks on", false, true, plainHttp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        updateUrl.Set(c.address.value_or(serviceAddress).toUtf8());
        settings.AutoUpdateQuery = c.query;
        settings.AutoUpdateCheck = c.check;
        const StartResult r = Start();
        EXPECT_FALSE(r.optInAsked);
        EXPECT_EQ(control->Query(), nullptr);
        EXPECT_EQ(r.requests, 0);
        EXPECT_FALSE(r.offered);
        EXPECT_EQ(settings.AutoUpdateQuery, c.query); // unchanged: still to be asked
        EXPECT_EQ(settings.AutoUpdateCheck, c.check);
    }
}

TEST_F(UpdateCheckTest, OptInIsAskedOnceAndItsAnswerDecidesTheQuery)
{
    server.SetReply(Reply("3.6", "https://www.example.com/velmora/"));
    for (const bool turnOn : {true, false}) {
        SCOPED_TRACE(turnOn);
        settings.AutoUpdateQuery = true;
        settings.AutoUpdateCheck = false;
        const StartResult first = Start(turnOn);
        EXPECT_TRUE(first.optInAsked);
        EXPECT_FALSE(settings.AutoUpdateQuery);
        EXPECT_EQ(settings.AutoUpdateCheck, turnOn);
        EXPECT_EQ(first.requests, turnOn ? 1 : 0);
        EXPECT_EQ(first.offered, turnOn);

        const StartResult next = Start(!turnOn);
        EXPECT_FALSE(next.optInAsked);
        EXPECT_EQ(settings.AutoUpdateCheck, turnOn);
    }
}

TEST_F(UpdateCheckTest, UntrustedCertificateMakesNoOffer)
{
    server.SetReply(Reply("3.6", "https://www.example.com/velmora/"));
    ResetTrustedCaCertificates(); // the system's authorities do not know the test CA
    const StartResult r = Start();
    ASSERT_NE(control->Query(), nullptr);
    EXPECT_EQ(r.requests, 0); // refused in the handshake, before the request
    EXPECT_FALSE(r.offered);
}

} // namespace
