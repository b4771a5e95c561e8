#include "model/AccountBlockExtension.h"

#include "model/BinaryStream.h"
#include "model/FileErrors.h"

#include <string>

namespace vm {

namespace {

constexpr char kMagic[] = "VMX1";
constexpr qsizetype kMagicSize = 4;
constexpr qsizetype kMaxText = 65535;

unsigned Sum(const char* data, qsizetype n)
{
    unsigned sum = 0;
    for (qsizetype i = 0; i < n; ++i)
        sum += static_cast<unsigned char>(data[i]);
    return sum & 0xff;
}

} // namespace

void AppendBlockExtension(QByteArray& block, const ExtensionFields& fields)
{
    if (fields.isEmpty())
        return;
    ByteWriter out;
    out.Raw(kMagic, kMagicSize);
    for (const auto& [name, value] : fields) {
        if (name.isEmpty() || name.size() > kMaxText || value.size() > kMaxText)
            throw FileWriteError("the account setting " + name.left(64).toStdString() +
                                 " is too long for the mailbox file");
        out.Text(name);
        out.Text(value);
    }
    out.U16(0);
    QByteArray& bytes = out.Buffer();
    bytes.append(char(Sum(bytes.constData(), bytes.size())));
    block.append(bytes);
}

ExtensionFields ReadBlockExtension(ByteReader& in)
{
    ExtensionFields fields;
    if (in.Remaining() < kMagicSize || QByteArray(in.Current(), kMagicSize) != kMagic)
        return fields;
    using E = MailboxHeaderError;
    const char* start = in.Current();
    in.Skip<E>(kMagicSize);
    for (;;) {
        const QByteArray name = in.Text<E>();
        if (name.isEmpty())
            break;
        fields.append({name, in.Text<E>()});
    }
    const unsigned sum = Sum(start, in.Current() - start);
    if (in.U8<E>() != sum)
        throw E();
    return fields;
}

} // namespace vm
