#pragma once
// Handing a prepared message to the desktop's default mail client, for
// accounts that do not send through Velmora: "xdg-email --utf8" with the
// recipients, subject, body and attachments. The client may keep xdg-email
// running until it ends, so the call runs asynchronously and reports its
// exit status when it ends.
//
// xdg-email takes an argument that starts with "mailto:" as a finished link
// and passes every other value through the shell's echo (which reads
// backslash escapes) before it encodes it. So the program builds the one
// mailto link itself, from checked parts, with the To addresses, the subject
// and the body percent-encoded; Cc and Bcc go through the options that
// xdg-email encodes, and no address is ever passed as a bare argument.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "send/SendRequest.h"

class QProcess;

namespace vm {

struct HandoffMessage
{
    QList<EmailAddress> to;
    QList<EmailAddress> cc;
    QList<EmailAddress> bcc;
    QString subject;
    QString body;
    QStringList attachments; // paths, already staged (see StageHandoffAttachment)
};

struct XdgEmailCall
{
    QStringList arguments; // for xdg-email
    QStringList refused;   // addresses and paths left out, as given
};

// True for an address that may be handed over: a bare local@domain (one
// "@" with text on both sides) made of letters, digits, the dot and
// ! # $ * + - / ^ _ ` { | } ~ (any letter or digit beyond ASCII too), not
// starting with "-". Everything that could end a field or start another in
// a link or in the clients' field lists (a "mailto:" prefix, ? & = ' " %
// < > \ , ; : blanks, controls, formatting characters) is refused.
bool IsHandoffAddress(const QString& address);

// The arguments: "--utf8", "--cc ADDRESS" per Cc and "--bcc ADDRESS" per
// Bcc recipient, "--attach PATH" per file, then the link
// "mailto:TO,TO?subject=...&body=..." (fields only when not empty; the
// subject on one line, the body's line breaks as CR LF). Addresses that
// IsHandoffAddress refuses are left out; an attachment path must be
// absolute and free of quotes, commas, percent signs, backslashes and
// controls. Left-out items are listed in refused.
XdgEmailCall BuildXdgEmailCall(const HandoffMessage& message);

// The per-user folder that holds files given to the mail client:
// $XDG_CACHE_HOME/velmora/handoff (else ~/.cache/velmora/handoff), mode 0700.
// It outlives the program's temporary folder, since the client may read the
// files long after the hand-off.
QString HandoffCacheDir();

// Copies a file into a fresh 0700 folder of the hand-off cache under a safe
// name made of wantedName (no folders, controls, quotes or commas). Folders
// older than a week are removed first. Returns the new path, or empty.
QString StageHandoffAttachment(const QString& sourcePath, const QString& wantedName);

// One run of xdg-email. Emits finished() once with its exit code (-1 when it
// could not be started or crashed) and a description for a failure.
class XdgEmailRun : public QObject
{
    Q_OBJECT
public:
    explicit XdgEmailRun(QObject* parent = nullptr);
    ~XdgEmailRun() override;

    // Starts xdg-email with the arguments; returns at once.
    void Start(const QStringList& arguments);
    bool Running() const;
    // True while any hand-off runs (the automatic check waits meanwhile).
    static bool AnyRunning();

signals:
    void finished(int exitCode, const QString& problem);

private:
    void Done(int code, const QString& problem);

    QProcess* process_ = nullptr;
    bool reported_ = false;
    static int running_;
};

} // namespace vm
