#include "app/cli/ListCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "app/cli/CheckCommand.h"
#include "core/DateTime.h"
#include "core/TerminalText.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"

namespace vm {

namespace {

QString StateName(const MessageRecord& m)
{
    switch (m.HoldingState()) {
    case MessageRecord::Holding::UidlOnly:
        return QStringLiteral("id");
    case MessageRecord::Holding::Headers:
        return QStringLiteral("headers");
    case MessageRecord::Holding::Whole:
        break;
    }
    return QStringLiteral("whole");
}

// ISO 8601 with the local offset; empty for "no date".
QString IsoDate(double days)
{
    if (days == 0)
        return {};
    QDateTime dt = FromDays(days);
    if (!dt.isValid())
        return {};
    dt.setOffsetFromUtc(dt.offsetFromUtc());
    return dt.toString(Qt::ISODate);
}

// A field of the tab-separated form: no tab or line break may split it
// (Out replaces the other characters a terminal must not see).
QString Field(QString text)
{
    for (QChar& c : text)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return text;
}

// The attachment count when it is known without guessing: counted already,
// or countable because the whole message is held.
QJsonValue Attachments(MessageRecord& m)
{
    if (m.attachmentCount >= 0)
        return m.attachmentCount;
    if (m.HoldingState() == MessageRecord::Holding::Whole)
        return m.VisibleAttachmentCount();
    return QJsonValue::Null;
}

} // namespace

int RunListCommand(const QStringList& args)
{
    using namespace cli;
    QString name;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a.startsWith(QLatin1String("--")) || !name.isEmpty()) {
            Err(QStringLiteral("usage: velmora --list ACCOUNT [--json]"));
            return kExitUsage;
        } else {
            name = a;
        }
    }
    if (name.isEmpty()) {
        Err(QStringLiteral("usage: velmora --list ACCOUNT [--json]"));
        return kExitUsage;
    }
    if (!LoadBasics())
        return kExitFailed;
    LoadMailboxes();
    MailAccount* account = FindAccount(name);
    if (!account)
        return kExitUsage;

    const Mailbox& mb = account->Box();
    QJsonArray array;
    for (int i = 0; i < mb.Count(); ++i) {
        MessageRecord* m = mb.At(i);
        if (!m)
            continue;
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("uidl"), QString::fromUtf8(m->UID));
            const QString date = IsoDate(m->Date);
            o.insert(QStringLiteral("date"), date.isEmpty() ? QJsonValue() : QJsonValue(date));
            o.insert(QStringLiteral("size"), m->size);
            o.insert(QStringLiteral("state"), StateName(*m));
            o.insert(QStringLiteral("new"), m->IsNew());
            o.insert(QStringLiteral("fresh"), m->fresh);
            o.insert(QStringLiteral("sender_name"), m->FromName());
            o.insert(QStringLiteral("sender_address"), QString::fromUtf8(m->FromAddress()));
            o.insert(QStringLiteral("subject"), m->Subject());
            o.insert(QStringLiteral("attachments"), Attachments(*m));
            array.append(o);
        } else {
            Out(QStringList{Field(QString::fromUtf8(m->UID)), IsoDate(m->Date),
                            QString::number(m->size), StateName(*m),
                            m->IsNew() ? QStringLiteral("new") : QStringLiteral("-"),
                            Field(m->FromText()), Field(m->Subject())}
                    .join(u'\t'));
        }
    }
    if (json)
        Out(TerminalSafeJson(
            QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed()));
    return kExitOk;
}

} // namespace vm
