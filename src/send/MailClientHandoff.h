#pragma once
// Handing a prepared message to the desktop's default mail client, for
// accounts that do not send through Velmora: "xdg-email --utf8" with the
// recipients, Cc, subject, body and attachments. The client may keep
// xdg-email running until it ends, so the call runs asynchronously and
// reports its exit status when it ends.

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
    QString subject;
    QString body;
    QStringList attachments; // paths, already staged (see StageHandoffAttachment)
};

struct XdgEmailCall
{
    QStringList arguments; // for xdg-email
    QStringList refused;   // addresses and paths left out, with the reason
};

// The arguments: "--utf8", "--cc ADDRESS" per Cc recipient, "--subject"
// (line breaks become blanks), "--body", "--attach PATH" per file, then the
// To addresses. Only addresses the sender accepts are passed, and none that
// starts with "-" (it would read as an option); an attachment path must be
// absolute and free of quotes, commas and line breaks (mail clients take the
// hand-off as a comma-separated field list). Left-out items are listed in
// refused.
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
