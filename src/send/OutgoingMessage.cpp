#include "send/OutgoingMessage.h"

#include <QFile>
#include <QFileInfo>

namespace vm {


namespace {

QByteArrayList SplitLines(const QByteArray& text)
{
    QByteArrayList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == '\r' && i + 1 < n && text.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

} // namespace

int HeaderList::IndexOf(const QByteArray& name) const
{
    for (int i = 0; i < lines_.size(); ++i) {
        if (lines_[i].first.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void HeaderList::SetValue(const QByteArray& name, const QByteArray& value)
{
    const int i = IndexOf(name);
    if (value.isEmpty()) {
        if (i >= 0)
            lines_.removeAt(i);
        return;
    }
    if (i >= 0)
        lines_[i].second = value;
    else
        lines_.append({name, value});
}

QByteArray HeaderList::Value(const QByteArray& name) const
{
    const int i = IndexOf(name);
    return i >= 0 ? lines_[i].second : QByteArray();
}

bool HeaderList::Contains(const QByteArray& name) const
{
    return IndexOf(name) >= 0;
}

void HeaderList::Add(const QByteArray& name, const QByteArray& value)
{
    lines_.append({name, value});
}

void OutgoingText::SetBodyText(const QByteArray& text)
{
    body = SplitLines(text);
}

FileAttachment::FileAttachment(const QString& path, bool temporary)
    : path_(path), temporary_(temporary)
{
}

FileAttachment::~FileAttachment()
{
    if (temporary_ && !path_.isEmpty())
        QFile::remove(path_);
}

QByteArray FileAttachment::FileName() const
{
    return QFileInfo(path_).fileName().toUtf8();
}

QByteArray FileAttachment::Content() const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        throw MessageWriteError(QStringLiteral("Cannot open file \"%1\": %2")
                                     .arg(path_, file.errorString())
                                     .toStdString());
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw MessageWriteError(QStringLiteral("Cannot read file \"%1\": %2")
                                     .arg(path_, file.errorString())
                                     .toStdString());
    return data;
}

OutgoingText& OutgoingMessage::AddText()
{
    auto part = std::make_unique<OutgoingText>();
    OutgoingText& ref = *part;
    parts.push_back(std::move(part));
    return ref;
}

FileAttachment& OutgoingMessage::AddAttachmentFile(const QString& path, bool temporary)
{
    auto part = std::make_unique<FileAttachment>(path, temporary);
    FileAttachment& ref = *part;
    parts.push_back(std::move(part));
    return ref;
}

MemoryAttachment& OutgoingMessage::AddAttachmentMemory(const QByteArray& data)
{
    auto part = std::make_unique<MemoryAttachment>(data);
    MemoryAttachment& ref = *part;
    parts.push_back(std::move(part));
    return ref;
}

} // namespace vm
