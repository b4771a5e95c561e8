#include "app/cli/ListCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "app/cli/CheckCommand.h"
#include "core/DateTime.h"
#include "core/TerminalText.h"
#include "mime/MessageMatcher.h"
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

// The field set of "--in": a comma-separated list of sender (name and
// address), subject and body. False for an unknown or empty name.
bool ParseFields(const QString& list, int& fields)
{
    fields = 0;
    for (const QString& piece : list.split(u',')) {
        const QString f = piece.trimmed().toLower();
        if (f == QLatin1String("sender"))
            fields |= MessageFilter::SenderName | MessageFilter::SenderAddress;
        else if (f == QLatin1String("subject"))
            fields |= MessageFilter::Subject;
        else if (f == QLatin1String("body"))
            fields |= MessageFilter::Body;
        else
            return false;
    }
    return true;
}

} // namespace

int RunListCommand(const QStringList& args)
{
    using namespace cli;
    const QString usage = QStringLiteral(
        "usage: velmora --list ACCOUNT [--json] [--find PHRASE [--in sender,subject,body] "
        "[--whole-words] [--case-sensitive]]");
    QString name;
    bool json = false;
    bool finding = false;
    bool fieldsGiven = false;
    // The find window's default fields; the new flag makes no message match.
    MessageFilter filter;
    filter.fields =
        MessageFilter::SenderName | MessageFilter::SenderAddress | MessageFilter::Subject;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--find") && i + 1 < args.size()) {
            finding = true;
            filter.phrase = args[++i].trimmed();
        } else if (a == QLatin1String("--in") && i + 1 < args.size()) {
            fieldsGiven = true;
            if (!ParseFields(args[++i], filter.fields)) {
                Err(usage);
                return kExitUsage;
            }
        } else if (a == QLatin1String("--whole-words")) {
            filter.wholeWords = true;
        } else if (a == QLatin1String("--case-sensitive")) {
            filter.caseSensitive = true;
        } else if (a.startsWith(QLatin1String("--")) || !name.isEmpty()) {
            Err(usage);
            return kExitUsage;
        } else {
            name = a;
        }
    }
    const bool findOptions = fieldsGiven || filter.wholeWords || filter.caseSensitive;
    if (name.isEmpty() || (finding && filter.phrase.isEmpty()) || (findOptions && !finding)) {
        Err(usage);
        return kExitUsage;
    }
    int rc = kExitOk;
    MailAccount* account = LoadAccount(name, rc);
    if (!account)
        return rc;

    const Mailbox& mb = account->Box();
    QJsonArray array;
    for (int i = 0; i < mb.Count(); ++i) {
        MessageRecord* m = mb.At(i);
        if (!m || (finding && !MessageMatches(*m, filter)))
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
