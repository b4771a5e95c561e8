#pragma once
// The message list control "MsgList": a tree view without branches over
// MessageListModel, with rows painted by MessageListDelegate (alternating
// colours, bold new messages, the state area with check boxes in webmail
// navigation and state images) and the check box clicks of webmail
// navigation.

#include <QStyledItemDelegate>
#include <QTreeView>

#include <functional>

namespace vm {

class MessageListModel;

class MessageListView : public QTreeView
{
    Q_OBJECT
public:
    explicit MessageListView(QWidget* parent = nullptr);

    void SetListModel(MessageListModel* model);
    MessageListModel* ListModel() const { return model_; }

    // 1 webmail-like (check boxes in the state area), 0 classic.
    void SetNavigation(int navigation);
    int Navigation() const { return navigation_; }
    int StateAreaWidth() const { return navigation_ == 1 ? 41 : 22; }

    // Nothing is painted while this is false (no mailbox, or a stale one).
    void SetPaintRows(bool on);
    bool PaintRows() const { return paintRows_; }

    // Rows selected, in row order.
    QList<int> SelectedRows() const;
    // The row with the focus mark, or -1.
    int FocusedRow() const;

    // The columns always fill the list's width: the subject column takes
    // whatever the others leave, so the list follows the window when it
    // grows or shrinks. The others have widths of their own.
    static constexpr int kStretchColumn = 1;
    // The first-activation widths: the sender 0.28 W, the date 0.18 W, the
    // attachments 0.06 W and the size 0.1 W, where W = the list's client
    // width minus a vertical scroll bar minus 1; the date, attachments and
    // size columns are never narrower than a date, their caption and a size
    // in megabytes (in bold). The client width is given when the list is
    // not laid out yet (hidden behind the welcome page).
    void SetDefaultColumnWidths(int clientWidth = -1);
    // The widths as the settings keep them ("w0;w1;w2;w3;w4"), and back.
    // Applying refuses (false, nothing changed) a text that is not five
    // widths between 1 and 10000; the subject's width is kept for the record
    // only, since it follows the list.
    QString ColumnWidthsText() const;
    bool ApplyColumnWidthsText(const QString& text);
    // True once the user has dragged a column's border (or widths the user
    // had set were applied): those widths are then worth keeping.
    bool UserSetWidths() const { return userWidths_; }
    // The narrowest width that shows a column's content: the caption, and
    // for the date and size columns a long date and a size in megabytes.
    int ContentWidth(int column) const;

    // Left of the state area of the last painted row, for hit tests.
    QRect lastStateArea;

signals:
    // Double click (MsgListDblClick), Enter or Space with one row selected.
    void doubleClickedList();
    void detailsRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Rows are painted by the delegate alone, cell by cell, with the focus
    // mark as a dotted frame around the focused row.
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    MessageListModel* model_ = nullptr;
    int navigation_ = 1;
    bool paintRows_ = true;
    bool userWidths_ = false;
    bool settingWidths_ = false;
    bool headerPressed_ = false; // a mouse button is down on the header
};

class MessageListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit MessageListDelegate(MessageListView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Row colours.
    static QColor EvenRowColor() { return QColor(245, 255, 240); }
    static QColor OddRowColor() { return QColor(255, 255, 230); }

private:
    MessageListView* view_;
};

} // namespace vm
