#include "ui/main/MessageListModel.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>

#include "mime/MessageRecord.h"
#include "model/Mailbox.h"

namespace vm {

namespace {

const QString kUnknown = QStringLiteral("???");

// The sort key of one row for one column. Computing keys once per sort keeps
// decoding out of the comparisons.
struct SortKey
{
    bool more = false;
    QString text;        // columns 0 and 1, case-folded
    double number = 0;   // columns 2, 3 and 4
};

SortKey MakeKey(MessageRecord* msg, int column)
{
    SortKey key;
    if (!msg) {
        key.more = true;
        return key;
    }
    switch (column) {
    case 0:
        key.text = MessageSenderText(*msg).toCaseFolded();
        break;
    case 1:
        EnsureParsed(*msg);
        key.text = msg->Subject().toCaseFolded();
        break;
    case 2:
        EnsureParsed(*msg);
        key.number = msg->Date;
        break;
    case 3:
        // Records without a counted body all share one key; see Compare.
        if (msg->HoldingState() == MessageRecord::Holding::Whole) {
            EnsureParsed(*msg);
            key.number = msg->VisibleAttachmentCount();
        } else {
            key.number = -1;
        }
        break;
    default:
        key.number = msg->size;
        break;
    }
    return key;
}

// Negative, 0 or positive; the "more" row last in both directions.
int CompareKeys(const SortKey& a, const SortKey& b, int column, bool ascending)
{
    if (a.more || b.more)
        return (a.more ? 1 : 0) - (b.more ? 1 : 0);
    int r = 0;
    if (column == 0 || column == 1)
        r = a.text.compare(b.text);
    else
        r = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
    return ascending ? r : -r;
}

QString LongTimeFormatWithoutZone(const QLocale& locale)
{
    QString f = locale.timeFormat(QLocale::LongFormat);
    // Remove the time zone token and the blanks that lead to it.
    static const QRegularExpression zone(QStringLiteral("\\s*t+"));
    f.remove(zone);
    return f.trimmed();
}

} // namespace

QString MessageSizeText(std::int64_t size, const QLocale& locale)
{
    if (size == -1)
        return kUnknown;
    if (size >= 1 && size <= 1023)
        return QStringLiteral("< 1 KB");
    if (size > 1048575)
        return locale.toString(static_cast<double>(size) / (1024.0 * 1024.0), 'f', 2) +
               QStringLiteral(" MB");
    return QString::number(size / 1024) + QStringLiteral(" KB");
}

QString MessageDateText(TDateTime date, const QLocale& locale)
{
    if (date == 0)
        return kUnknown;
    const QDateTime dt = FromDays(date);
    if (!dt.isValid())
        return kUnknown;
    static thread_local QString cachedFormat;
    static thread_local QString cachedLocale;
    if (cachedLocale != locale.name() || cachedFormat.isEmpty()) {
        cachedLocale = locale.name();
        cachedFormat = LongTimeFormatWithoutZone(locale);
    }
    return locale.toString(dt.date(), QLocale::ShortFormat) + QStringLiteral("  ") +
           locale.toString(dt.time(), cachedFormat);
}

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, LongTimeFormatWithoutZone(locale));
}

std::int64_t HeaderKilobytes(std::int64_t totalSize)
{
    const std::int64_t t = totalSize + 512;
    if (t >= 513 && t <= 1023)
        return 1;
    return t / 1024;
}

int PriorityOf(const MessageRecord& msg)
{
    const QByteArray x = msg.HeaderValue("X-Priority").trimmed();
    if (!x.isEmpty() && x[0] >= '1' && x[0] <= '5') {
        const char c = x[0];
        if (c == '1' || c == '2')
            return 1;
        if (c == '4' || c == '5')
            return 2;
        return 0;
    }
    QByteArray word = msg.HeaderValue("X-MSMail-Priority").trimmed().toLower();
    if (word.isEmpty())
        word = msg.HeaderValue("Importance").trimmed().toLower();
    if (word == "high" || word == "highest")
        return 1;
    if (word == "low" || word == "lowest")
        return 2;
    return 0;
}

int MessageStateImage(const MessageRecord& msg)
{
    return PriorityOf(msg) + (msg.headersOnly ? 0 : 3);
}

QString MessageSenderText(const MessageRecord& msg)
{
    EnsureParsed(const_cast<MessageRecord&>(msg));
    const QString name = msg.FromName();
    if (!name.isEmpty())
        return name;
    return QString::fromLatin1(msg.FromAddress());
}

void EnsureParsed(MessageRecord& msg)
{
    // A record left for later knows its date and parses itself when a
    // parsed field is asked for: sorting and hiding by date parse nothing.
    if (msg.ParseLeftForLater() || msg.parsed() || msg.noHeaders || msg.raw.isEmpty())
        return;
    if (msg.headersOnly)
        msg.ParseHeaders();
    else
        msg.ParseWhole();
}

MessageListModel::MessageListModel(QObject* parent)
    : QAbstractTableModel(parent), locale_(QLocale::system())
{
}

bool MessageListModel::Fill(Mailbox* mailbox, const FillOptions& options)
{
    beginResetModel();
    rows_.clear();
    hasMore_ = false;
    if (mailbox && !mailbox->Stale()) {
        const int n = mailbox->Count();
        rows_.reserve(static_cast<std::size_t>(n) + 1);
        // Only old messages left out make the "more" row; records the
        // filter leaves out are not waiting to be revealed.
        bool oldHidden = false;
        for (int i = 0; i < n; ++i) {
            MessageRecord* msg = mailbox->At(i);
            if (!msg)
                continue;
            if (options.hideOld && !msg->IsNew()) {
                EnsureParsed(*msg);
                if (msg->Date < options.oldThreshold) {
                    oldHidden = true;
                    continue;
                }
            }
            if (options.filter && !options.filter(*msg))
                continue;
            Row row;
            row.msg = msg;
            row.uid = msg->UID;
            rows_.push_back(std::move(row));
        }
        if (oldHidden) {
            Row more;
            more.text[0] = QStringLiteral("...");
            more.filled = true;
            rows_.push_back(std::move(more));
            hasMore_ = true;
        }
    }
    endResetModel();
    return hasMore_;
}

void MessageListModel::Clear()
{
    beginResetModel();
    rows_.clear();
    hasMore_ = false;
    endResetModel();
}

int MessageListModel::Compare(MessageRecord* a, MessageRecord* b, int column, bool ascending)
{
    return CompareKeys(MakeKey(a, column), MakeKey(b, column), column, ascending);
}

void MessageListModel::SortRows(int column, bool ascending)
{
    const int n = static_cast<int>(rows_.size());
    if (n < 2)
        return;
    std::vector<SortKey> keys;
    keys.reserve(rows_.size());
    for (Row& r : rows_) {
        if (r.msg && (column == 0 || column == 1)) {
            // Decoded texts are kept in the row, so later sorts only fold.
            SortKey key;
            key.text = SortText(r, column).toCaseFolded();
            keys.push_back(std::move(key));
        } else {
            keys.push_back(MakeKey(r.msg, column));
        }
    }
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        return CompareKeys(keys[x], keys[y], column, ascending) < 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPos(rows_.size());
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (int i = 0; i < n; ++i) {
        newPos[order[i]] = i;
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_.swap(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& idx : from)
        to.append(index(newPos[idx.row()], idx.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

MessageRecord* MessageListModel::MessageAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return nullptr;
    return rows_[row].msg;
}

QByteArray MessageListModel::UidAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return {};
    return rows_[row].uid;
}

bool MessageListModel::IsMoreRow(int row) const
{
    return row >= 0 && row < static_cast<int>(rows_.size()) && rows_[row].msg == nullptr;
}

int MessageListModel::RowOfUidl(const QByteArray& uidl) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].msg && rows_[i].msg->UID == uidl)
            return static_cast<int>(i);
    return -1;
}

QList<int> MessageListModel::RowsOfUidls(const QList<QByteArray>& uidls) const
{
    QList<int> result;
    if (uidls.isEmpty())
        return result;
    QHash<QByteArray, int> wanted;
    wanted.reserve(uidls.size());
    for (const QByteArray& u : uidls)
        wanted.insert(u, 0);
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].msg && wanted.contains(rows_[i].msg->UID))
            result.append(static_cast<int>(i));
    return result;
}

int MessageListModel::RowOf(const MessageRecord* msg) const
{
    if (!msg)
        return -1;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].msg == msg)
            return static_cast<int>(i);
    return -1;
}

void MessageListModel::InvalidateTexts()
{
    for (Row& r : rows_)
        if (r.msg)
            r.filled = r.hasSender = r.hasSubject = false;
    RefreshAll();
}

void MessageListModel::RefreshAll()
{
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kColumns - 1));
}

void MessageListModel::SetColumnCaptions(const QStringList& captions)
{
    captions_ = captions;
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

const QString& MessageListModel::SortText(Row& row, int column) const
{
    if (column == 0 && !row.hasSender) {
        row.text[0] = MessageSenderText(*row.msg);
        row.hasSender = true;
    } else if (column == 1 && !row.hasSubject) {
        EnsureParsed(*row.msg);
        row.text[1] = row.msg->Subject();
        row.hasSubject = true;
    }
    return row.text[column];
}

void MessageListModel::FillListItem(Row& row) const
{
    if (row.filled || !row.msg)
        return;
    MessageRecord& m = *row.msg;
    EnsureParsed(m);
    SortText(row, 0);
    SortText(row, 1);
    row.text[2] = MessageDateText(m.Date, locale_);
    if (m.HoldingState() == MessageRecord::Holding::Whole)
        row.text[3] = QString::number(m.VisibleAttachmentCount());
    else
        row.text[3] = kUnknown;
    row.text[4] = MessageSizeText(m.size, locale_);
    row.stateImage = static_cast<std::int8_t>(MessageStateImage(m));
    row.filled = true;
}

int MessageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        FillListItem(row);
        return row.text[index.column()];
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            Qt::Alignment((index.column() >= 3 ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignVCenter));
    case MessageRole:
        return QVariant::fromValue(reinterpret_cast<quintptr>(row.msg));
    case IsMoreRole:
        return row.msg == nullptr;
    case StateImageRole:
        FillListItem(row);
        return static_cast<int>(row.stateImage);
    case IsNewRole:
        return row.msg && row.msg->IsNew();
    default:
        return {};
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return section < captions_.size() ? captions_[section] : QString();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment((section >= 3 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter));
    return {};
}

bool MessageListModel::setHeaderData(int section, Qt::Orientation orientation,
                                     const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns ||
        (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    while (captions_.size() < kColumns)
        captions_.append(QString());
    captions_[section] = value.toString();
    emit headerDataChanged(Qt::Horizontal, section, section);
    return true;
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The "more" row cannot be selected.
    if (IsMoreRow(index.row()))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace vm
