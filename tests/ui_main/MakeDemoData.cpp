// Writes a data directory with a few accounts and their mailbox files, for
// looking at the main window (screenshots, manual checks):
//
//   make_demo_data DIR
//   velmora --data-dir DIR
//
// The accounts store their passwords and were checked before, so their
// lists are shown at start; one account was never checked.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <cstdio>

#include "config/StorageSettings.h"
#include "config/Settings.h"
#include "core/DateTime.h"
#include "core/AppInfo.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"

using namespace vm;

namespace {

struct Msg
{
    const char* from;
    const char* subject;
    double hoursAgo;
    int size;
    bool isNew;
    bool whole;
    const char* priority;
};

void AddMessages(MailAccount& a, const QList<Msg>& msgs)
{
    int n = 0;
    for (const Msg& m : msgs) {
        auto* r = new MessageRecord;
        r->UID = a.Login() + "-" + QByteArray::number(++n);
        r->size = m.size;
        const QDateTime when = QDateTime::currentDateTime().addSecs(
            static_cast<qint64>(-m.hoursAgo * 3600));
        QByteArray raw = QByteArray("From: ") + m.from + "\r\nSubject: " + m.subject +
                         "\r\nDate: " + when.toString(Qt::RFC2822Date).toLatin1() +
                         "\r\nMessage-ID: <" + r->UID + "@demo>\r\n";
        if (m.priority)
            raw += QByteArray("X-Priority: ") + m.priority + "\r\n";
        raw += "\r\n";
        if (m.whole) {
            raw += "Hello,\r\n\r\nsee you soon.\r\n";
            r->headersOnly = false;
        }
        r->raw = raw;
        r->serverNumber = n;
        r->SetNew(m.isNew);
        a.Box().Add(r);
    }
}

MailAccount* NewAccount(const char* login, const char* friendly, bool password)
{
    auto* a = new MailAccount(&vm::Accounts());
    a->Login() = login;
    a->FriendlyName() = friendly;
    a->Server() = "pop.example.org";
    if (password)
        a->Password() = "demo";
    a->Box().SetLastCheck(vm::Now() - 0.02);
    vm::Accounts().Add(a);
    return a;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_demo_data DIR\n");
        return 2;
    }
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + '/';
    QDir().mkpath(dir);
    vm::AppInfo::SetDataDir(dir);
    vm::Accounts().SetMailboxDirectory(dir);

    MailAccount* work = NewAccount("j.doe", "Work mail", true);
    AddMessages(*work,
                {{"Maria Keller <maria.keller@example.com>", "Quarterly figures for the board",
                  1.2, 48213, true, false, nullptr},
                 {"build-bot@ci.example.com", "Nightly build #4711 failed", 2.5, 3120, true,
                  true, "1"},
                 {"=?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <jm@example.de>",
                  "=?UTF-8?Q?R=C3=BCckfrage_zum_Angebot?=", 5, 1536, false, true, nullptr},
                 {"Tom Baker <tom@example.net>", "Re: Lunch on Friday?", 8, 812, false, true,
                  nullptr},
                 {"HR Department <hr@example.com>", "Holiday calendar 2025 (updated)", 26,
                  1245678, false, false, nullptr},
                 {"newsletter@shop.example.org", "Your weekly deals", 30, 96034, false, false,
                  "5"},
                 {"Lena Fischer <lena@example.com>", "Slides for Tuesday's meeting", 50, 2457600,
                  false, false, nullptr},
                 {"it-support@example.com", "Scheduled maintenance this weekend", 72, 4321,
                  false, true, nullptr},
                 {"Old Friend <old@example.org>", "Photos from the trip", 24 * 40, 5242880, false,
                  false, nullptr}});
    work->Box().SetStale(false);

    MailAccount* anna = NewAccount("anna.smith", "", true);
    AddMessages(*anna, {{"Mum <mum@example.org>", "Sunday dinner", 3, 2200, true, true, nullptr},
                        {"Ben <ben@example.org>", "Concert tickets", 20, 3500, false, true,
                         nullptr}});
    anna->Box().SetStale(false);

    MailAccount* news = NewAccount("lists", "Mailing lists", true);
    AddMessages(*news, {{"dev-announce@lists.example.org", "[ANN] Release 3.5 is out", 12, 7600,
                         false, true, nullptr}});
    news->Box().SetStale(false);

    NewAccount("archive", "Archive box", false); // never checked: no password stored

    for (int i = 0; i < vm::Accounts().Count(); ++i)
        vm::Accounts().At(i)->SaveToFile(vm::SaveOptionsFromSettings());

    vm::Settings& s = vm::AppSettings();
    s.LastAccount = QStringLiteral("Work mail");
    s.CheckMailOnStartup = false;
    s.RunOnStartup = false;
    s.AutoUpdateQuery = false;
    s.MainWndLeft = 40;
    s.MainWndTop = 30;
    s.MainWndRight = 1220;
    s.MainWndBottom = 770;
    s.MainWndHorzDiv = 230;
    if (!s.Save(dir + QStringLiteral("velmora.ini"))) {
        std::fprintf(stderr, "could not write the settings\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(dir));
    return 0;
}
