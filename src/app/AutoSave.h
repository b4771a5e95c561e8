#pragma once
// Saving as the program goes, so that a crash, the OOM killer or a power cut
// loses at most the last few seconds instead of everything since the start:
// the mailbox files as soon as an operation (check, removal, retrieval,
// receipt) has ended, and the user's own changes (new flags, fresh marks,
// receipt states), the settings (window placement included) and the address
// book once they have held still for a moment.
//
// What changed is found by comparing fingerprints with those of the last
// save, once a second (MailAccount::StateFingerprint; hashes of the
// settings' values and of the address book's bytes): nothing is written
// when nothing changed. A change is written when it has held still for
// kSettleMs, or kLongestDelayMs after it began when it keeps changing.
// Mailbox files, which may be large, go to the background writer as an
// image taken here (a few milliseconds for 20,000 records); the settings and
// the address book are small and written at once.
//
// A failed write is reported once (one message box until a later write
// succeeds again) and tried again after the next change; the exit still
// writes everything. A failed write never touches the old file.

#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

namespace vm {

class MailAccount;
struct MailboxWriteResult;

class AutoSave : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        // A POP3 operation runs: its worker owns the mailboxes.
        std::function<bool()> mailboxesInUse;
        // The program is shutting down: the exit writes everything itself.
        std::function<bool()> paused;
        // Copies the windows' placement into the settings.
        std::function<void()> copyWindowState;
    };

    static constexpr int kLookMs = 1000;
    static constexpr qint64 kSettleMs = 2000;
    static constexpr qint64 kLongestDelayMs = 10000;

    // Takes the state of every file as it is now as saved (they were just
    // loaded) and starts looking once a second.
    explicit AutoSave(Hooks hooks, QObject* parent = nullptr);
    ~AutoSave() override;

    // An operation has ended: every mailbox it changed is written now.
    void OperationEnded();
    // One look (the timer's): writes what changed and held still.
    void Look();

    // Milliseconds on a monotonic clock; replaceable for tests.
    std::function<qint64()> clock;

private:
    struct Tracked
    {
        quint64 saved = 0;
        quint64 seen = 0;
        qint64 seenSince = -1;   // when seen was first seen
        qint64 firstChange = -1; // when the state first differed from saved
    };
    // True when the state fp differs from the saved one and is to be written now.
    bool Due(Tracked& t, quint64 fp, qint64 now) const;
    void Saved(Tracked& t, quint64 fp) const;
    // Queues the account's image; returns its fingerprint as queued.
    quint64 WriteMailbox(MailAccount& account);
    void SaveSettings(quint64 fp);
    void SaveAddressBook(quint64 fp);
    void WriteFinished(const MailboxWriteResult& result);
    void Succeeded();
    void Failed(const QString& report);

    Hooks hooks_;
    QTimer timer_;
    QHash<const MailAccount*, Tracked> mailboxes_;
    Tracked settings_;
    Tracked book_;
    bool failureShown_ = false;
    bool looking_ = false;
};

// The fingerprints AutoSave compares (exposed for tests).
quint64 SettingsFingerprint();
quint64 AddressBookFingerprint();

} // namespace vm
