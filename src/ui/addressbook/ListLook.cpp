#include "ui/addressbook/ListLook.h"

#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include "lang/Lang.h"
#include "ui/common/TranslatedWindow.h"

namespace vm {

namespace {

class GridLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(0xD0, 0xD0, 0xD0));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

} // namespace

void ApplyAddressListLook(QTreeWidget* list, int pointSize)
{
    list->setItemDelegate(new GridLineDelegate(list));
    list->setFont(QFont(QStringLiteral("Arial"), pointSize));
    QPalette pal = list->palette();
    pal.setColor(QPalette::Text, QColor(0x00, 0x00, 0x80));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(g, QPalette::Highlight, QColor(0x31, 0x69, 0xC6));
        pal.setColor(g, QPalette::HighlightedText, Qt::white);
    }
    list->setPalette(pal);
}

void ApplyAddressListColumns(QTreeWidget* list, const char* section)
{
    const QString columns = LangText(QString::fromLatin1(section), QStringLiteral("List"));
    if (!columns.isEmpty())
        ApplyText(list, columns);
}

} // namespace vm
