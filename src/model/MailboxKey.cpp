#include "model/MailboxKey.h"

namespace vm {

namespace {
// The program's fixed key text and position table.
const char kKeyText[] = "Kv7#mQe2Lw";
constexpr std::array<int, 10> kKeyPositions = {4, 9, 1, 7, 10, 3, 6, 2, 8, 5};

QByteArray& KeyBuffer()
{
    static QByteArray key;
    return key;
}
} // namespace

QByteArray MakeMailboxKey(const QByteArray& keyText, const std::array<int, 10>& positions)
{
    unsigned char work[10];
    for (int i = 0; i < 10; ++i) {
        const int pos = positions[static_cast<std::size_t>(i)];
        work[i] =
            (pos >= 1 && pos <= keyText.size()) ? static_cast<unsigned char>(keyText[pos - 1]) : 0;
    }
    QByteArray key;
    key.reserve(32);
    for (int i = 0; key.size() < 32; i = (i + 1) % 10)
        for (int k = 0; k < 10 && key.size() < 32; ++k)
            if (k != i)
                key.append(char((unsigned(work[k]) * unsigned(work[i])) & 0xff));
    return key;
}

void BuildMailboxKey()
{
    KeyBuffer() = MakeMailboxKey(QByteArray(kKeyText, 10), kKeyPositions);
}

const QByteArray& MailboxKey()
{
    if (KeyBuffer().isEmpty())
        BuildMailboxKey();
    return KeyBuffer();
}

} // namespace vm
