#include "app/AutoSave.h"

#include <QElapsedTimer>

#include "addressbook/AddressBook.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/AppInfo.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/AccountsDirectory.h"
#include "model/BinaryStream.h"
#include "model/MailAccount.h"
#include "model/MailboxWriter.h"

namespace vm {

quint64 SettingsFingerprint()
{
    size_t h = 0;
    for (const Settings::Entry& e : AppSettings().KnownEntries())
        h = qHashMulti(h, e.section, e.key, e.value);
    return h;
}

quint64 AddressBookFingerprint()
{
    ByteWriter out;
    SharedAddressBook().Write(out);
    return qHash(QByteArrayView(out.Buffer()));
}

AutoSave::AutoSave(Hooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks))
{
    clock = [] {
        static QElapsedTimer started = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return started.elapsed();
    };
    const MailboxSaveOptions options = SaveOptionsFromSettings();
    const AccountsDirectory& dir = Accounts();
    for (int i = 0; i < dir.Count(); ++i)
        if (const MailAccount* a = dir.At(i))
            mailboxes_[a].saved = a->StateFingerprint(options);
    settings_.saved = SettingsFingerprint();
    book_.saved = AddressBookFingerprint();

    connect(&BackgroundMailboxWriter(), &MailboxWriter::finished, this,
            &AutoSave::WriteFinished);
    timer_.setObjectName(QStringLiteral("AutoSaveTimer"));
    timer_.setInterval(kLookMs);
    connect(&timer_, &QTimer::timeout, this, &AutoSave::Look);
    timer_.start();
}

AutoSave::~AutoSave() = default;

bool AutoSave::Due(Tracked& t, quint64 fp, qint64 now) const
{
    if (fp == t.saved) {
        t.seen = fp;
        t.seenSince = -1;
        t.firstChange = -1;
        return false;
    }
    if (t.firstChange < 0)
        t.firstChange = now;
    if (t.seenSince < 0 || fp != t.seen) {
        t.seen = fp;
        t.seenSince = now;
    }
    return now - t.seenSince >= kSettleMs || now - t.firstChange >= kLongestDelayMs;
}

void AutoSave::Saved(Tracked& t, quint64 fp) const
{
    t.saved = fp;
    t.seen = fp;
    t.seenSince = -1;
    t.firstChange = -1;
}

void AutoSave::OperationEnded()
{
    if (hooks_.paused && hooks_.paused())
        return;
    const MailboxSaveOptions options = SaveOptionsFromSettings();
    AccountsDirectory& dir = Accounts();
    for (int i = 0; i < dir.Count(); ++i) {
        MailAccount* a = dir.At(i);
        if (a && a->StateFingerprint(options) != mailboxes_.value(a).saved)
            Saved(mailboxes_[a], WriteMailbox(*a));
    }
}

quint64 AutoSave::WriteMailbox(MailAccount& account)
{
    const MailboxSaveOptions options = SaveOptionsFromSettings();
    try {
        BackgroundMailboxWriter().Queue(account.FileImage(options));
    } catch (const std::exception& e) {
        // The image itself cannot be made (a text too long for the format).
        Failed(WithReason(LangFormat(QStringLiteral("MAINWND"), QStringLiteral("ErrorAutoSaving"),
                                     {QString::fromLocal8Bit(account.DisplayName())}),
                          ErrorMessage(e)));
    }
    // Taken after the image: making it may count attachments, which the
    // fingerprint includes.
    return account.StateFingerprint(options);
}

void AutoSave::Look()
{
    if (looking_ || (hooks_.paused && hooks_.paused()))
        return;
    // A report shown from here runs an event loop, and this timer with it.
    looking_ = true;
    const qint64 now = clock();

    if (hooks_.copyWindowState)
        hooks_.copyWindowState();
    if (const quint64 fp = SettingsFingerprint(); Due(settings_, fp, now))
        SaveSettings(fp);
    if (const quint64 fp = AddressBookFingerprint(); Due(book_, fp, now))
        SaveAddressBook(fp);

    if (!(hooks_.mailboxesInUse && hooks_.mailboxesInUse())) {
        const MailboxSaveOptions options = SaveOptionsFromSettings();
        AccountsDirectory& dir = Accounts();
        QHash<const MailAccount*, Tracked> next; // accounts removed meanwhile are forgotten
        for (int i = 0; i < dir.Count(); ++i) {
            MailAccount* a = dir.At(i);
            if (!a)
                continue;
            // An account added meanwhile counts as changed: it is written once.
            Tracked t = mailboxes_.value(a);
            if (Due(t, a->StateFingerprint(options), now))
                Saved(t, WriteMailbox(*a));
            next.insert(a, t);
        }
        mailboxes_ = next;
    }
    looking_ = false;
}

void AutoSave::SaveSettings(quint64 fp)
{
    Saved(settings_, fp);
    const QString path = AppInfo::Instance().SettingsFilePath();
    QString reason;
    if (AppSettings().Save(path, &reason))
        Succeeded();
    else
        Failed(WithReason(
            LangFormat(QStringLiteral("MAINWND"), QStringLiteral("ErrorAutoSaving"), {path}),
            reason));
    // Saving names the loaded language file in the settings.
    settings_.saved = SettingsFingerprint();
}

void AutoSave::SaveAddressBook(quint64 fp)
{
    Saved(book_, fp);
    const QString path = AppInfo::Instance().AddressBookFilePath();
    try {
        SharedAddressBook().SaveToFile(path);
        Succeeded();
    } catch (const std::exception& e) {
        Failed(WithReason(
            LangFormat(QStringLiteral("MAINWND"), QStringLiteral("ErrorAutoSaving"), {path}),
            ErrorMessage(e)));
    }
}

void AutoSave::WriteFinished(const MailboxWriteResult& result)
{
    if (result.Written()) {
        // The file no longer names the secrets the user cleared: their
        // keyring items can go now.
        const MailboxSaveOptions options = SaveOptionsFromSettings();
        AccountsDirectory& dir = Accounts();
        for (int i = 0; options.keyring && i < dir.Count(); ++i) {
            MailAccount* a = dir.At(i);
            if (a && dir.MailboxDirectory() + a->MailboxFileName() == result.path)
                a->DropClearedKeyringSecrets(*options.keyring);
        }
        Succeeded();
        return;
    }
    // The state stays marked as saved: the next change tries again, and the
    // exit writes every mailbox anyway.
    Failed(WithReason(
        LangFormat(QStringLiteral("MAINWND"), QStringLiteral("ErrorAutoSaving"), {result.path}),
        result.errorMessage));
}

void AutoSave::Succeeded()
{
    failureShown_ = false;
}

void AutoSave::Failed(const QString& report)
{
    if (failureShown_)
        return;
    failureShown_ = true;
    ShowError(report);
}

} // namespace vm
