#pragma once
// What `velmora --demo` sets up around the demo servers: the two demo
// logins and their sample mail, the two accounts that read them (plain POP3
// with USER/PASS, and POP3 over TLS with APOP, both sending through the
// demo's SMTP server), the trust in the servers' certificate for exactly
// those ports, and settings that show the program at work.

#include <QDateTime>
#include <QList>

#include "demo/DemoServers.h"
#include "model/StorageOptions.h"

namespace vm {

class AccountsDirectory;
class Settings;

struct DemoAccountSpec
{
    QByteArray name; // the account's friendly name
    QByteArray login;
    QByteArray password;
    QByteArray address;
    QByteArray senderName;
    bool tls = false; // POP3 over TLS with APOP, SMTP with STARTTLS always
};

const QList<DemoAccountSpec>& DemoAccountSpecs();

// Server options for the demo logins; a new message arrives in the first
// mailbox every arrivalIntervalMs (0: none).
DemoServers::Options DemoServerOptions(int arrivalIntervalMs);
// Puts the sample mail into the running servers' maildrops, dated from now.
void FillDemoMailboxes(DemoServers& servers, const QDateTime& now);

// Adds the demo accounts, or points those of an earlier run (a kept data
// directory) at the servers' new ports, saves their mailbox files, and
// trusts the servers' certificate for the TLS POP3 and SMTP ports in the
// trust file. Throws what MailAccount::SaveToFile throws; false when the
// trust file could not be written.
bool SetUpDemoAccounts(AccountsDirectory& accounts, const DemoServers& servers,
                       const MailboxSaveOptions& saveOptions);

// Settings for a demo started on a new data directory: a check at start
// and every minute, no pause at start, no start with the session, no update
// query, whole messages up to 300 KB, the first demo account shown.
void ApplyDemoSettings(Settings& settings);

} // namespace vm
