#pragma once
// The rows of the message list: one row per shown message record of a
// mailbox, plus at most one "more" row that stands for the old messages left
// out. The model holds pointers to the records (the mailbox owns them) and
// the texts of each row, computed on first use. Nothing here creates a
// widget per row or cell; the view paints rows through MessageListDelegate.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/DateTime.h"

namespace vm { class MessageRecord; }
namespace vm { class Mailbox; }

namespace vm {

// The size column's text of a record: -1 "???"; 1..1023 "< 1 KB"; above
// 1048575 the size in MB with two decimals and the locale's separators;
// otherwise (0 and 1024..1048575) whole kilobytes.
QString MessageSizeText(std::int64_t size, const QLocale& locale = QLocale::system());

// The date column's text: short date, two blanks, long time (without a time
// zone); "???" for a record without a date (0).
QString MessageDateText(TDateTime date, const QLocale& locale = QLocale::system());

// A time in the locale's long format without the time zone.
QString LongTimeText(const QTime& time, const QLocale& locale = QLocale::system());

// The kilobyte figure of the list header for a total of message bytes:
// T = total + 512; 1 when 513 <= T <= 1023, else T div 1024.
std::int64_t HeaderKilobytes(std::int64_t totalSize);

// Priority of a record as the list shows it: 0 normal, 1 high (highest or
// high), 2 low (low or lowest). Read from X-Priority, else
// X-MSMail-Priority or Importance.
int PriorityOf(const MessageRecord& msg);

// Row state image: the priority image, plus 3 when the record holds more
// than the header block.
int MessageStateImage(const MessageRecord& msg);

// Sender column text: the decoded sender name, else the sender address.
QString MessageSenderText(const MessageRecord& msg);

// Makes sure a record that holds text has been parsed, so that its decoded
// fields are available.
void EnsureParsed(MessageRecord& msg);

class MessageListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Roles {
        MessageRole = Qt::UserRole + 1, // MessageRecord* as quintptr (0 for the "more" row)
        IsMoreRole,                     // bool
        StateImageRole,                 // int, -1 for the "more" row
        IsNewRole,                      // bool
    };
    static constexpr int kColumns = 5;

    explicit MessageListModel(QObject* parent = nullptr);

    // What the next Fill shows.
    struct FillOptions
    {
        bool hideOld = false;
        TDateTime oldThreshold = 0; // a record dated before this is old
        // When set, only records it accepts are shown (the find filter).
        std::function<bool(const MessageRecord&)> filter;
    };

    // Rebuilds the rows from the mailbox (none, or a stale one, gives no
    // rows). Returns true when the "more" row was added.
    bool Fill(Mailbox* mailbox, const FillOptions& options);
    void Clear();

    // Orders the rows; the "more" row always ends the list. Persistent
    // indexes (and so the view's selection) follow their rows.
    void SortRows(int column, bool ascending);

    // The comparison of two records for a column: negative, 0 or positive.
    // A null record (the "more" row) comes after every record whatever the
    // direction. The order is a strict weak order for every column, so it is
    // safe for sorting algorithms.
    static int Compare(MessageRecord* a, MessageRecord* b, int column, bool ascending);

    MessageRecord* MessageAt(int row) const;
    // The UIDL of the row's record as it was when the row was made. Safe to
    // read after the record itself was deleted from its mailbox (a removal
    // on the server deletes records before the list is refilled).
    QByteArray UidAt(int row) const;
    bool IsMoreRow(int row) const;
    bool HasMoreRow() const { return hasMore_; }
    int MessageRowCount() const { return static_cast<int>(rows_.size()) - (hasMore_ ? 1 : 0); }
    // The row showing the record with this UIDL, or -1.
    int RowOfUidl(const QByteArray& uidl) const;
    // The rows showing records whose UIDL is in the list, in row order.
    QList<int> RowsOfUidls(const QList<QByteArray>& uidls) const;
    // The row showing this record, or -1.
    int RowOf(const MessageRecord* msg) const;

    // Drops the cached texts so that the next paint computes them again (for
    // example after a record was fetched whole).
    void InvalidateTexts();
    // Tells the views that flags or texts of every row may have changed.
    void RefreshAll();

    void SetColumnCaptions(const QStringList& captions);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Column captions come from the language file through this.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row
    {
        MessageRecord* msg = nullptr;
        QByteArray uid; // shares the record's bytes
        QString text[kColumns];
        std::int8_t stateImage = -1;
        bool filled = false;      // all texts and the state image
        bool hasSender = false;   // text[0] (also computed for sorting)
        bool hasSubject = false;  // text[1] (also computed for sorting)
    };
    void FillListItem(Row& row) const;
    // The sender or subject text of a row, decoded once and kept.
    const QString& SortText(Row& row, int column) const;

    mutable std::vector<Row> rows_;
    bool hasMore_ = false;
    QStringList captions_;
    QLocale locale_;
};

} // namespace vm
