#include "app/CommandLine.h"

#include "core/AppInfo.h"

namespace vm {

const QList<CommandInfo>& KnownCommands()
{
    static const QList<CommandInfo> commands{
        {"--check", "--check [ACCOUNT...]          check accounts (default: those checked automatically)"},
        {"--list", "--list ACCOUNT [--json]        print the stored message list of an account\n"
                   "  [--find PHRASE [--in sender,subject,body] [--whole-words] [--case-sensitive]]\n"
                   "                               only the messages that hold PHRASE"},
        {"--show", "--show ACCOUNT UIDL [--html]   print a stored message as the preview shows it"},
        {"--save", "--save ACCOUNT UIDL [FILE|DIR]  write a stored message as an .eml file"},
        {"--save-attachments", "--save-attachments ACCOUNT UIDL DIR   write every attachment of a whole message into DIR"},
        {"--delete", "--delete ACCOUNT UIDL...       remove messages on the server"},
        {"--fetch", "--fetch ACCOUNT UIDL...        retrieve whole messages"},
        {"--add-account", "--add-account --login L --server H [options]   create an account\n"
                          "  --add-account ... --oauth2 microsoft|google|custom [--oauth2-client-id ID]\n"
                          "    [--oauth2-client-secret S] [--oauth2-authorize-url URL --oauth2-token-url URL\n"
                          "    --oauth2-scope SCOPE]   an account that signs in with OAuth 2.0 in the browser"},
        {"--sign-in", "--sign-in ACCOUNT             sign an OAuth 2.0 account in again in the browser"},
        {"--remove-account", "--remove-account ACCOUNT     remove an account and its mailbox file"},
        {"--passwords", "--passwords keyring|file     keep every account's passwords in the desktop\n"
                        "                               keyring or in the mailbox files (moves them)"},
        {"--send", "--send --account A --to ADDR --subject S (--body T | --body-file F) [options]\n"
                   "  --send (--reply | --reply-all | --forward) ACCOUNT UIDL [--to ADDR] [--body T] [options]\n"
                   "                               answer or pass on a stored message (quoted, with its files)"},
        {"--contacts", "--contacts [--json]           print the address book"},
        {"--import-contacts", "--import-contacts FILE.vcf   add the contacts of a vCard file to the address book"},
        {"--export-contacts", "--export-contacts FILE.vcf [--vcard3]   write the address book as vCard 4.0 (or 3.0; - for stdout)"},
        {"--check-language", "--check-language FILE        check a language file for translators"},
    };
    return commands;
}

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine cl;
    cl.startedBySystem = IsStartedBySystem(arguments);
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (i == 1 && cl.startedBySystem)
            continue;
        if (a == QLatin1String("--data-dir")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                cl.mode = CommandLine::Mode::Error;
                cl.error = QStringLiteral("--data-dir needs a directory");
                return cl;
            }
            cl.dataDir = arguments.at(++i);
            continue;
        }
        if (a.startsWith(QLatin1String("--data-dir="))) {
            cl.dataDir = a.mid(11);
            continue;
        }
        if (cl.mode == CommandLine::Mode::Command) {
            cl.commandArgs.append(a);
            continue;
        }
        if (a == QLatin1String("--demo")) {
            cl.demo = true;
            continue;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            cl.mode = CommandLine::Mode::Help;
            return cl;
        }
        if (a == QLatin1String("--version")) {
            cl.mode = CommandLine::Mode::Version;
            return cl;
        }
        bool known = false;
        for (const CommandInfo& c : KnownCommands())
            if (a == QLatin1String(c.name))
                known = true;
        if (known) {
            cl.mode = CommandLine::Mode::Command;
            cl.command = a;
            continue;
        }
        cl.mode = CommandLine::Mode::Error;
        cl.error = QStringLiteral("unknown argument: %1").arg(a);
        return cl;
    }
    if (cl.demo && cl.mode == CommandLine::Mode::Command) {
        cl.mode = CommandLine::Mode::Error;
        cl.error = QStringLiteral("--demo opens the window; it cannot be combined with %1").arg(cl.command);
    }
    return cl;
}

QString HelpText()
{
    QString text = QStringLiteral(
        "Usage: velmora [-startup] [--data-dir DIR] [--demo]\n"
        "       velmora [--data-dir DIR] COMMAND [ARGUMENTS]\n"
        "\n"
        "Velmora watches POP3 mailboxes, shows new mail and removes unwanted\n"
        "messages on the server without downloading them.\n"
        "\n"
        "Options:\n"
        "  -startup            started with the session (as the first argument only)\n"
        "  --data-dir DIR      keep settings, mailboxes and language files in DIR\n"
        "                      (default: $VELMORA_HOME, the program's folder when it\n"
        "                      holds a file named \"portable\", else ~/.local/share/velmora)\n"
        "  --demo              show the program on built-in demo mail servers with two\n"
        "                      demo accounts (a throwaway data directory, removed at\n"
        "                      exit, unless --data-dir is given)\n"
        "  --help              show this text\n"
        "  --version           show the version\n"
        "\n"
        "Commands (no display needed):\n");
    for (const CommandInfo& c : KnownCommands())
        text += QStringLiteral("  ") + QString::fromLatin1(c.usage) + '\n';
    return text;
}

QString VersionText()
{
    return QStringLiteral("Velmora ") + AppInfo::BareVersion() + QStringLiteral(
        "\n"
        "Copyright (C) The Velmora developers\n"
        "License GPL-3.0-or-later: GNU General Public License, version 3 or later\n"
        "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
        "This is free software: you are free to change and redistribute it.\n"
        "There is NO WARRANTY, to the extent permitted by law.\n");
}

} // namespace vm
