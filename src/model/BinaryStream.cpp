#include "model/BinaryStream.h"

namespace vm {

QByteArray FitTextField(const QByteArray& text)
{
    constexpr qsizetype kMax = 0xffff;
    if (text.size() <= kMax)
        return text;
    qsizetype n = kMax;
    // Step back over continuation bytes (10xxxxxx) to the start of the
    // sequence that would be cut, and drop that whole sequence.
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(text[i]); };
    if ((byteAt(n) & 0xC0) == 0x80) {
        qsizetype lead = n - 1;
        while (lead > 0 && n - lead < 4 && (byteAt(lead) & 0xC0) == 0x80)
            --lead;
        if ((byteAt(lead) & 0xC0) == 0xC0)
            n = lead;
    }
    return text.left(n);
}

QString FitWideTextField(const QString& text)
{
    constexpr qsizetype kMax = 0xffff;
    if (text.size() <= kMax)
        return text;
    qsizetype n = kMax;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

void ByteWriter::WideText(const QString& text)
{
    const QString fit = FitWideTextField(text);
    U16(static_cast<std::uint16_t>(fit.size()));
    QByteArray bytes(fit.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < fit.size(); ++i) {
        const char16_t c = fit.at(i).unicode();
        bytes[2 * i] = char(c & 0xff);
        bytes[2 * i + 1] = char(c >> 8);
    }
    Raw(bytes);
}

} // namespace vm
