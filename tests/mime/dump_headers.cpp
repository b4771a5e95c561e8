// Prints what Velmora decodes from message files as JSON, one object per
// file: subject, sender, recipients and attachment names. Used by the corpus
// comparison with Python's email package (corpus_compare.py).
//
//   dump_headers FILE...

#include "mime/SafeFileName.h"
#include "mime/MessageRecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace vm;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QJsonArray out;
    for (int i = 1; i < argc; ++i) {
        QFile f(QString::fromLocal8Bit(argv[i]));
        QJsonObject o;
        o["file"] = f.fileName();
        if (!f.open(QIODevice::ReadOnly)) {
            o["error"] = "unreadable";
            out.append(o);
            continue;
        }
        MessageRecord m;
        m.raw = f.readAll();
        m.headersOnly = false;
        m.ParseWhole();
        o["subject"] = m.Subject();
        o["from_name"] = m.FromName();
        o["from_addr"] = QString::fromUtf8(m.FromAddress());
        QJsonArray to;
        for (int k = 0; k < m.ToCount(); ++k)
            to.append(QJsonArray{m.ToName(k), QString::fromUtf8(m.ToAddress(k))});
        o["to"] = to;
        QJsonArray att;
        for (const vm::AttachmentPart& a : m.Attachments()) {
            QJsonObject ao;
            ao["name"] = vm::AttachmentDisplayName(a);
            ao["parser_name"] = a.fileName;
            ao["safe_name"] = vm::SafeFileName(vm::AttachmentDisplayName(a));
            ao["type"] = QString::fromLatin1(a.contentType);
            ao["size"] = int(a.data.size());
            att.append(ao);
        }
        o["attachments"] = att;
        o["text_parts"] = int(m.TextParts().size());
        o["visible_attachments"] = m.VisibleAttachmentCount();
        out.append(o);
    }
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}
