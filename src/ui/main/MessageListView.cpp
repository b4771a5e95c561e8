#include "ui/main/MessageListView.h"

#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include "ui/main/MainIcons.h"
#include "core/DateTime.h"
#include "ui/main/MessageListModel.h"

namespace vm {

MessageListView::MessageListView(QWidget* parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("MsgList"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false); // the window sorts through the model
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(false);
    header()->setTextElideMode(Qt::ElideRight);
    // A border the user drags makes the widths the user's own; the subject
    // column follows the list and does not count.
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!settingWidths_ && column != kStretchColumn && headerPressed_)
            userWidths_ = true;
    });
    header()->viewport()->installEventFilter(this);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(9);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::Text, QColor(0, 0, 128));
    setPalette(pal);
    setItemDelegate(new MessageListDelegate(this));
}

void MessageListView::SetListModel(MessageListModel* model)
{
    model_ = model;
    setModel(model);
    for (int c = 0; c < MessageListModel::kColumns; ++c)
        header()->setSectionResizeMode(c, c == kStretchColumn ? QHeaderView::Stretch
                                                              : QHeaderView::Interactive);
}

void MessageListView::SetNavigation(int navigation)
{
    navigation_ = navigation == 1 ? 1 : 0;
    viewport()->update();
}

void MessageListView::SetPaintRows(bool on)
{
    if (paintRows_ != on) {
        paintRows_ = on;
        viewport()->update();
    }
}

QList<int> MessageListView::SelectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    const QModelIndexList list = selectionModel()->selectedRows();
    rows.reserve(list.size());
    for (const QModelIndex& i : list)
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int MessageListView::FocusedRow() const
{
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

int MessageListView::ContentWidth(int column) const
{
    // Texts are drawn 5 pixels in from both edges, in bold for new mail.
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    constexpr int kPadding = 2 * 5 + 4;
    int width = header()->sectionSizeHint(column);
    if (column == 2) {
        // A long date: two-digit day and month, the latest hours.
        const QDateTime sample(QDate(2000, 12, 28), QTime(23, 58, 58));
        width = std::max(width, fm.horizontalAdvance(MessageDateText(ToDays(sample))) + kPadding);
    } else if (column == 4) {
        width = std::max(width,
                         fm.horizontalAdvance(MessageSizeText(qint64(1023) << 20)) + kPadding);
    }
    return width;
}

void MessageListView::SetDefaultColumnWidths(int clientWidth)
{
    const int sb = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int w = (clientWidth >= 0 ? clientWidth : viewport()->width()) - sb - 1;
    static const double shares[MessageListModel::kColumns] = {0.28, 0.38, 0.18, 0.06, 0.1};
    settingWidths_ = true;
    for (int c = 0; c < MessageListModel::kColumns; ++c) {
        if (c == kStretchColumn)
            continue;
        int width = static_cast<int>(shares[c] * w);
        if (c >= 2)
            width = std::max(width, ContentWidth(c));
        setColumnWidth(c, width);
    }
    settingWidths_ = false;
    userWidths_ = false;
}

QString MessageListView::ColumnWidthsText() const
{
    QStringList parts;
    for (int c = 0; c < MessageListModel::kColumns; ++c)
        parts.append(QString::number(columnWidth(c)));
    return parts.join(QLatin1Char(';'));
}

bool MessageListView::ApplyColumnWidthsText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(';'));
    if (parts.size() != MessageListModel::kColumns)
        return false;
    int widths[MessageListModel::kColumns] = {};
    for (int c = 0; c < MessageListModel::kColumns; ++c) {
        bool ok = false;
        widths[c] = parts[c].trimmed().toInt(&ok);
        if (!ok || widths[c] < 1 || widths[c] > 10000)
            return false;
    }
    settingWidths_ = true;
    for (int c = 0; c < MessageListModel::kColumns; ++c)
        if (c != kStretchColumn)
            setColumnWidth(c, widths[c]);
    settingWidths_ = false;
    userWidths_ = true;
    return true;
}

bool MessageListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == header()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            headerPressed_ = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            headerPressed_ = false;
    }
    return QTreeView::eventFilter(watched, event);
}

void MessageListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled() && model_ &&
        model_->MessageRowCount() > 0) {
        const int areaLeft = header()->sectionViewportPosition(0);
        const int areaRight = areaLeft + StateAreaWidth();
        const QPoint pos = event->position().toPoint();
        if (pos.x() < areaRight) {
            if (navigation_ == 1 && pos.x() >= areaLeft + 4 && pos.x() <= areaLeft + 16) {
                const QModelIndex idx = indexAt(pos);
                if (idx.isValid() && !model_->IsMoreRow(idx.row())) {
                    const int offset = pos.y() - visualRect(idx).top();
                    if (offset >= 2 && offset <= 14) {
                        selectionModel()->select(idx, QItemSelectionModel::Toggle |
                                                          QItemSelectionModel::Rows);
                        viewport()->update();
                    }
                }
            }
            event->accept();
            return; // presses on the state area never reach the list
        }
    }
    QTreeView::mousePressEvent(event);
}

void MessageListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const int areaRight = header()->sectionViewportPosition(0) + StateAreaWidth();
        if (model_ && model_->MessageRowCount() > 0 && event->position().x() < areaRight) {
            // A quick second click on a check box toggles it again.
            mousePressEvent(event);
            return;
        }
        emit doubleClickedList();
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void MessageListView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
         event->key() == Qt::Key_Space) &&
        event->modifiers() == Qt::NoModifier) {
        if (SelectedRows().size() == 1)
            emit detailsRequested();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void MessageListView::focusInEvent(QFocusEvent* event)
{
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void MessageListView::focusOutEvent(QFocusEvent* event)
{
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

void MessageListView::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        viewport()->update();
}

void MessageListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    if (!paintRows_)
        return;
    QStyleOptionViewItem opt = option;
    const bool selected = selectionModel() && selectionModel()->isSelected(index);
    const QHeaderView* h = header();
    for (int visual = 0; visual < h->count(); ++visual) {
        const int column = h->logicalIndex(visual);
        if (h->isSectionHidden(column))
            continue;
        const int x = h->sectionViewportPosition(column);
        const int w = h->sectionSize(column);
        if (x + w < 0 || x > viewport()->width())
            continue;
        const QModelIndex cell = index.sibling(index.row(), column);
        opt.rect = QRect(x, option.rect.top(), w, option.rect.height());
        opt.state = option.state & ~QStyle::State_Selected;
        if (selected)
            opt.state |= QStyle::State_Selected;
        itemDelegate()->paint(painter, opt, cell);
    }
    if (hasFocus() && currentIndex().row() == index.row() && currentIndex().isValid()) {
        painter->save();
        QPen pen(QColor(96, 96, 96), 1, Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        const int right = h->sectionViewportPosition(h->logicalIndex(h->count() - 1)) +
                          h->sectionSize(h->logicalIndex(h->count() - 1)) - 1;
        painter->drawRect(QRect(QPoint(h->sectionViewportPosition(h->logicalIndex(0)),
                                       option.rect.top()),
                                QPoint(right - 1, option.rect.bottom())));
        painter->restore();
    }
}

MessageListDelegate::MessageListDelegate(MessageListView* view)
    : QStyledItemDelegate(view), view_(view)
{
}

QSize MessageListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    const int h = std::max(option.fontMetrics.height() + 4, kListImageSize + 2);
    return QSize(view_->columnWidth(index.column()), h);
}

void MessageListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    if (!view_->PaintRows())
        return;
    const bool more = index.data(MessageListModel::IsMoreRole).toBool();
    const bool enabled = view_->isEnabled();
    const bool focused = view_->hasFocus();
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const bool odd = index.row() % 2 == 1;
    const QRect cell = option.rect;

    QColor bg;
    QColor fg(32, 32, 32);
    QFont font = option.font;
    if (more) {
        bg = view_->palette().color(QPalette::Base);
        fg = QColor(128, 128, 128);
        font.setBold(true);
    } else {
        if (selected) {
            if (enabled && focused) {
                fg = Qt::white;
                bg = QColor(210, 103, 7);
            } else if (enabled) {
                bg = QColor(244, 229, 196);
            } else {
                bg = QColor(208, 208, 208);
            }
        } else if (enabled) {
            bg = odd ? OddRowColor() : EvenRowColor();
        } else {
            bg = odd ? QColor(248, 248, 248) : QColor(240, 240, 240);
        }
        font.setBold(index.data(MessageListModel::IsNewRole).toBool());
    }

    painter->save();
    painter->fillRect(cell, bg);

    QRect textRect = cell;
    if (index.column() == 0) {
        const int areaWidth = view_->StateAreaWidth();
        const QRect area(cell.left(), cell.top(), areaWidth, cell.height());
        view_->lastStateArea = area;
        if (!more) {
            painter->fillRect(area, selected && enabled ? QColor(248, 232, 205) : Qt::white);
            int image = index.data(MessageListModel::StateImageRole).toInt();
            if (!enabled)
                image += 6;
            const int y = cell.top() + (cell.height() - kListImageSize + 1) / 2;
            if (view_->Navigation() == 1) {
                painter->drawPixmap(area.left() + 3, y, ListCheckboxImage(selected ? 1 : 0));
                painter->drawPixmap(area.left() + 22, y, ListStateImage(image));
            } else {
                painter->drawPixmap(area.left() + 3, y, ListStateImage(image));
            }
        }
        textRect.setLeft(area.right() + 1);
    }

    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        painter->setFont(font);
        painter->setPen(fg);
        const QRect r = textRect.adjusted(5, 0, -5, 0);
        const QFontMetrics fm(font);
        const QString shown = fm.elidedText(text, Qt::ElideRight, std::max(r.width(), 0));
        const Qt::Alignment align = index.column() >= 3 ? Qt::AlignHCenter : Qt::AlignLeft;
        painter->drawText(r, int(align | Qt::AlignVCenter | Qt::TextSingleLine), shown);
    }

    painter->setPen(Qt::white);
    painter->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
    painter->restore();
}

} // namespace vm
