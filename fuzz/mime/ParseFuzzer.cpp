// libFuzzer target: a message record parsed from arbitrary bytes must not
// crash, must keep its unique id and flags, and every accessor must work.

#include "mime/SafeFileName.h"
#include "mime/MessageRecord.h"

#include <cstdint>
#include <cstdlib>

using namespace vm;

namespace {

void TouchEverything(MessageRecord& m)
{
    qsizetype sink = 0;
    sink += m.Subject().size() + m.SubjectBytes().size() + m.FromText().size() +
            m.FromName().size() + m.FromAddress().size() + m.MessageId().size() +
            m.DispositionNotificationTo().size() + m.ContentType().size() +
            m.ContentTypeCharset().size() + m.HeaderLines().size();
    for (int i = 0; i <= m.ToCount(); ++i)
        sink += m.ToName(i).size() + m.ToAddress(i).size();
    for (int i = 0; i <= m.CcCount(); ++i)
        sink += m.CcName(i).size();
    for (int i = 0; i <= m.ReplyToCount(); ++i)
        sink += m.ReplyToText(i).size();
    for (auto kind : {vm::HeaderKind::Subject, vm::HeaderKind::From, vm::HeaderKind::To,
                      vm::HeaderKind::Cc, vm::HeaderKind::ReplyTo})
        for (int i = 0; i < 3; ++i)
            sink += m.HeaderCharset(kind, i);
    for (const vm::TextPart& t : m.TextParts())
        sink += t.Text().size();
    for (const vm::AttachmentPart& a : m.Attachments()) {
        const QString name = vm::AttachmentDisplayName(a);
        const QString safe = vm::SafeFileName(name);
        if (safe.contains(QLatin1Char('/')) || safe.contains(QLatin1Char('\\')) ||
            safe.startsWith(QLatin1Char('.')))
            std::abort();
        sink += safe.size();
    }
    sink += m.VisibleAttachmentCount();
    static volatile qsizetype keep;
    keep = sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MessageRecord m;
    m.UID = "uid-1";
    m.Flags = mfRecent | 0x01;
    m.headersOnly = false;
    m.raw = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    m.ParseWhole();
    if (m.UID != "uid-1" || m.Flags != (mfRecent | 0x01))
        std::abort();
    TouchEverything(m);
    MessageRecord copy(m);
    m.DropBody();
    TouchEverything(copy);
    m.ParseHeaders();
    TouchEverything(m);
    return 0;
}
