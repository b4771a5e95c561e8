#pragma once
// "velmora --check [ACCOUNT...]", and what every mailbox command shares:
// loading the language, the settings and the mailboxes the way the window
// program does, the lock that keeps a command from writing files a running
// window would overwrite, finding accounts by display name, and output.
//
// Results go to standard output; load reports and errors to standard error,
// with the texts the windows show. Exit codes: 0 success, 1 failure, 2 bad
// arguments or unknown account.

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }

namespace vm {

class SingleInstance;

// Checks the named accounts (display names), or every account that takes
// part in automatic checks, saves their mailbox files and prints one line per
// account: display name, TAB, number of new messages. Then the error lines.
int RunCheckCommand(const QStringList& args);

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Every text the commands print goes through these two, which make it safe
// for a terminal (TerminalSafeText).
void Out(const QString& line); // one line to standard output
void Err(const QString& line); // one line to standard error, "velmora: " first

// Language files, settings and the mailbox key, as the window program loads
// them at start, with the warning when other users can reach the data or
// mailbox directory. False (after printing why) when no language can be loaded.
bool LoadBasics();
// Every mailbox file of the mailbox directory into the accounts directory;
// broken files are reported on standard error with the windows' texts.
void LoadMailboxes();

// Takes the data directory's single-instance lock for a command that writes
// files and keeps it in holder until the command ends. False (after a clear
// message) when a Velmora window runs on the same data directory.
bool LockDataDirectory(std::unique_ptr<SingleInstance>& holder);

// The start of every command that writes files: LoadBasics, the data
// directory locked into holder, LoadMailboxes. False (after printing why)
// when the command cannot go on.
bool OpenDataForWriting(std::unique_ptr<SingleInstance>& holder);

// False (after printing "unknown option for COMMAND: ...") when one of args
// is an option; the command takes only names.
bool RefuseOptions(const char* command, const QStringList& args);

// The account whose display name is name. Null (after a message) when there
// is none or several.
MailAccount* FindAccount(const QString& name);

// What the commands that read one account share: LoadBasics,
// LoadMailboxes and the account named accountName. Null after printing why,
// with exitCode kExitFailed (nothing could be loaded) or kExitUsage (no such
// account, or several).
MailAccount* LoadAccount(const QString& accountName, int& exitCode);
// The record of account with the UIDL uidl. Null (after printing "account
// ... holds no message with the UIDL ...") when there is none.
MessageRecord* FindMessage(MailAccount& account, const QString& uidl);
// LoadAccount, then FindMessage; a message of which only the UIDL is held
// is refused as well (exitCode kExitFailed: it has to be fetched first).
// A missing message is a usage error (kExitUsage).
MessageRecord* LoadHeldMessage(const QString& accountName, const QString& uidl, int& exitCode);
// True when the whole message is held; else false after printing that the
// body is not held and how to fetch it.
bool WholeMessageHeld(const MessageRecord& message);

// The POP3 password is known without asking (stored, or remembered); for
// an OAuth 2.0 account, a refresh token is stored.
bool PasswordKnown(const MailAccount& account);
// Reads the passwords of this kind (kPop3Secret, kSmtpSecret) that the
// mailbox files of accounts leave to the desktop keyring; the refresh token
// instead for an OAuth 2.0 account. When the keyring
// fails or no longer holds one, prints why (naming the keyring) and
// returns false: the command then ends with exit code 1, changing nothing.
bool ReadKeyringPasswords(const QList<MailAccount*>& accounts, int kind);
// The error printed for an account whose password would need a prompt.
QString NoPasswordText(const MailAccount& account);

// Saves the account's mailbox file with the settings' options; false after
// printing the error.
bool SaveAccount(MailAccount& account);

// Makes every password prompt fail at once (nothing can be asked without a
// display), and Ctrl+C / SIGTERM ask the running operation to stop, so it
// ends cleanly and what it fetched is saved. Call once per command.
void PrepareNetworkCommand();
// True once Ctrl+C or SIGTERM arrived.
bool StopRequested();

QString DisplayName(const MailAccount& account);

// What --delete and --fetch work on: the lock held for the command, the
// account and its records named by UIDL.
struct MessageTargets
{
    std::unique_ptr<SingleInstance> lock;
    MailAccount* account = nullptr;
    QList<MessageRecord*> records;
};

// What --delete and --fetch share: arguments ACCOUNT UIDL..., the data
// directory locked, the account and its records named by UIDL found, the
// password known. Returns 0 when ready, else the exit code to end with.
int PrepareMessageCommand(const char* command, const QStringList& args, MessageTargets& cmd);

} // namespace cli
} // namespace vm
