#include "ui/common/CharsetEncodingFrame.h"

#include <QHBoxLayout>

namespace vm {

namespace {

// Charset ids in list order.
constexpr int kIds[] = {1,  2,  15, 16, 17, 13, 14, 18, 19, 20, 21, 22, 23, 24,
                        25, 26, 27, 11, 10, 9,  8,  7,  6,  5,  4,  3,  12};
constexpr int kCount = int(sizeof kIds / sizeof kIds[0]);

} // namespace

CharsetEncodingFrame::CharsetEncodingFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("EncodingFrame"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    CBCharsetEncoding = new QComboBox(this);
    CBCharsetEncoding->setObjectName(QStringLiteral("CBCharsetEncoding"));
    CBCharsetEncoding->addItems(
        QStringLiteral("ISO-8859-1 (Western);ISO-8859-2 (Centraleuropean);ISO-8859-3 "
                       "(Southeuropean);ISO-8859-4 (Northeuropean);ISO-8859-5 "
                       "(Cyrillic);KOI8-R (Russian);KOI8-U (Ukrainian);ISO-8859-6 "
                       "(Arabic);ISO-8859-7 (Greek);ISO-8859-8-I (Hebrew);ISO-8859-9 "
                       "(Turkish);ISO-8859-10 (Nordic);ISO-8859-11 (Thai);ISO-8859-13 "
                       "(Baltic);ISO-8859-14 (Celtic);ISO-8859-15 (Western);ISO-8859-16 "
                       "(Romanic/Balkan);Windows1250 (Centraleuropean);Windows1251 "
                       "(Cyrillic);Windows1252 (Western);Windows1253 (Greek);Windows1254 "
                       "(Turkish);Windows1255 (Hebrew);Windows1256 (Arabic);Windows1257 "
                       "(Baltic);Windows1258 (Vietnamese);UTF-8 (multilingual)")
            .split(u';'));
    CBCharsetEncoding->setCurrentIndex(0);
    layout->addWidget(CBCharsetEncoding);
    setFocusProxy(CBCharsetEncoding);
    connect(CBCharsetEncoding, &QComboBox::currentIndexChanged, this,
            [this] { emit charsetChanged(SelectedCharset()); });
}

int CharsetEncodingFrame::IdAtPosition(int position)
{
    return position >= 0 && position < kCount ? kIds[position] : kIds[0];
}

int CharsetEncodingFrame::PositionOfId(int charsetId)
{
    for (int i = 0; i < kCount; ++i)
        if (kIds[i] == charsetId)
            return i;
    return 0;
}

void CharsetEncodingFrame::SelectCharset(int charsetId)
{
    CBCharsetEncoding->setCurrentIndex(PositionOfId(charsetId));
}

int CharsetEncodingFrame::SelectedCharset() const
{
    return IdAtPosition(CBCharsetEncoding->currentIndex());
}

void CharsetEncodingFrame::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    CBCharsetEncoding->setFocus();
}

} // namespace vm
