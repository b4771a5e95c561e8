#include "config/Settings.h"

#include "core/AppInfo.h"
#include "core/AtomicFile.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <limits>

#include "lang/LanguageShell.h"
#include "mime/Charsets.h"
#include "platform/Autostart.h"

namespace vm {

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

// ---- A small INI document: ordered sections of ordered key/value pairs,
// names compared without regard to letter case, as the profile functions do.

struct IniEntry
{
    QString key;
    QString value;
};

struct IniSection
{
    QString name;
    QList<IniEntry> entries;
};

class IniDocument
{
public:
    void Parse(const QByteArray& bytes)
    {
        QByteArray data = bytes;
        if (data.startsWith("\xEF\xBB\xBF"))
            data = data.mid(3);
        const QString text = QString::fromUtf8(data);
        QString current; // name of the section being read
        bool inSection = false;
        const QStringList lines = SplitLines(text);
        for (const QString& rawLine : lines) {
            const QString line = rawLine.trimmed();
            if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
                continue;
            if (line.startsWith('[')) {
                const qsizetype close = line.indexOf(']');
                if (close < 0)
                    continue;
                current = line.mid(1, close - 1).trimmed();
                inSection = true;
                Section(current);
                continue;
            }
            const qsizetype eq = line.indexOf('=');
            if (eq <= 0 || !inSection)
                continue;
            const QString key = line.left(eq).trimmed();
            QString value = line.mid(eq + 1).trimmed();
            // The profile functions drop one pair of surrounding quotes.
            if (value.size() >= 2 && ((value.startsWith('"') && value.endsWith('"')) ||
                                      (value.startsWith('\'') && value.endsWith('\''))))
                value = value.mid(1, value.size() - 2);
            if (!Find(current, key))
                Section(current).entries.append({key, value});
        }
    }

    const QString* Find(const QString& section, const QString& key) const
    {
        for (const IniSection& s : sections_) {
            if (s.name.compare(section, Qt::CaseInsensitive) != 0)
                continue;
            for (const IniEntry& e : s.entries)
                if (e.key.compare(key, Qt::CaseInsensitive) == 0)
                    return &e.value;
        }
        return nullptr;
    }

    IniSection& Section(const QString& name)
    {
        for (IniSection& s : sections_)
            if (s.name.compare(name, Qt::CaseInsensitive) == 0)
                return s;
        sections_.append({name, {}});
        return sections_.last();
    }

    const QList<IniSection>& Sections() const { return sections_; }

private:
    static QStringList SplitLines(const QString& text)
    {
        QStringList lines;
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == '\r' || c == '\n') {
                lines.append(text.mid(start, i - start));
                if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                    ++i;
                start = i + 1;
            }
        }
        if (start < text.size())
            lines.append(text.mid(start));
        return lines;
    }

    QList<IniSection> sections_;
};

bool ParseInt(const QString& text, int& out)
{
    QString t = text.trimmed();
    bool ok = false;
    int v = 0;
    if (t.startsWith('$'))
        v = t.mid(1).toInt(&ok, 16);
    else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = t.mid(2).toInt(&ok, 16);
    else
        v = t.toInt(&ok, 10);
    if (ok)
        out = v;
    return ok;
}

// Reading and writing go through one table of keys so that both use the same
// names, sections and order.
enum class Kind { Bool, Int, Text, DateTime };

struct KeyRef
{
    const char* section;
    const char* key;
    Kind kind;
    void* field;
};

QList<KeyRef> KeyTable(Settings& s)
{
    const char* G = "GENERAL";
    const char* L = "LANGUAGES";
    const char* W = "WINDOWS";
    const char* S = "SEARCH";
    // MessageNotification, ComposeMessageEncoding and MessageSaveRange have
    // special rules; they appear here as placeholders (field nullptr) to keep
    // their place in the order and are handled by name.
    return {
        {G, "AutoMailCheck", Kind::Bool, &s.AutoMailCheck},
        {G, "CheckMailOnStartup", Kind::Bool, &s.CheckMailOnStartup},
        {G, "CheckMailOnTimer", Kind::Bool, &s.CheckMailOnTimer},
        {G, "AutoMailCheckInterval", Kind::Int, &s.AutoMailCheckInterval},
        {G, "RunOnStartup", Kind::Bool, &s.RunOnStartup},
        {G, "RunMinimizedOnStartup", Kind::Bool, &s.RunMinimizedOnStartup},
        {G, "ShowMessagesOnStartup", Kind::Bool, &s.ShowMessagesOnStartup},
        {G, "AutoUpdateQuery", Kind::Bool, &s.AutoUpdateQuery},
        {G, "AutoUpdateCheck", Kind::Bool, &s.AutoUpdateCheck},
        {G, "LastNotifiedUpdate", Kind::Text, &s.LastNotifiedUpdate},
        {G, "UpdateReminder", Kind::DateTime, &s.UpdateReminder},
        {G, "MsgListNavigation", Kind::Int, &s.MsgListNavigation},
        {G, "MessagesDownloadRange", Kind::Int, &s.MessagesDownloadRange},
        {G, "MaximumDownloadSize", Kind::Int, &s.MaximumDownloadSize},
        {G, "MessageSaveRange", Kind::Int, nullptr},
        {G, "MaximumSaveSize", Kind::Int, &s.MaximumSaveSize},
        {G, "MinimumSaveSize", Kind::Int, &s.MinimumSaveSize},
        {G, "MbxStorage", Kind::Text, nullptr},
        {G, "ConnectTimeout", Kind::Int, &s.ConnectTimeout},
        {G, "AlwaysNotifyErrors", Kind::Bool, &s.AlwaysNotifyErrors},
        {G, "SleepOnStartup", Kind::Bool, &s.SleepOnStartup},
        {G, "StartupSleepingTime", Kind::Int, &s.StartupSleepingTime},
        {G, "DefaultBrowserPage", Kind::Int, &s.DefaultBrowserPage},
        {G, "DHTMLPreview", Kind::Bool, &s.DHTMLPreview},
        {G, "GraphicsPreview", Kind::Bool, &s.GraphicsPreview},
        {G, "CrossHides", Kind::Bool, &s.CrossHides},
        {G, "MessageNotification", Kind::Int, nullptr},
        {G, "MessageNotificationWindowType", Kind::Int, &s.MessageNotificationWindowType},
        {G, "MessageNotificationWindowTimeout", Kind::Int, &s.MessageNotificationWindowTimeout},
        {G, "UseCustomMessageNotificationSound", Kind::Bool, &s.UseCustomMessageNotificationSound},
        {G, "CustomMessageNotificationSound", Kind::Text, &s.CustomMessageNotificationSound},
        {G, "OldMessagesDefHidden", Kind::Bool, &s.OldMessagesDefHidden},
        {G, "OldMessagesSaveHeaders", Kind::Bool, &s.OldMessagesSaveHeaders},
        {G, "OldMessagesGetHeaders", Kind::Bool, &s.OldMessagesGetHeaders},
        {G, "OldMessagesTime", Kind::Int, &s.OldMessagesTime},
        {G, "OldMessagesUnit", Kind::Int, nullptr},
        {G, "NewMessagesTimeout", Kind::Int, &s.NewMessagesTimeout},
        {G, "NewMessagesStyle", Kind::Int, &s.NewMessagesStyle},
        {G, "MessageNotificationBox", Kind::Bool, &s.MessageNotificationBox},
        {L, "LanguageFile", Kind::Text, nullptr},
        {L, "ComposeMessageEncoding", Kind::Int, nullptr},
        {L, "DefIncomingEncoding", Kind::Int, &s.DefIncomingEncoding},
        {G, "ComposeMessageFormatted", Kind::Bool, &s.ComposeMessageFormatted},
        {G, "ComposeMessageFontSize", Kind::Int, &s.ComposeMessageFontSize},
        {G, "ComposeMessageFontName", Kind::Text, &s.ComposeMessageFontName},
        {G, "ComposeMessageFontColor", Kind::Int, &s.ComposeMessageFontColor},
        {G, "ComposeMessageSaveRecipients", Kind::Bool, &s.ComposeMessageSaveRecipients},
        {G, "PasswordStorage", Kind::Int, &s.PasswordStorage},
        {W, "SaveWindowParams", Kind::Bool, &s.SaveWindowParams},
        {W, "MainWndTop", Kind::Int, &s.MainWndTop},
        {W, "MainWndBottom", Kind::Int, &s.MainWndBottom},
        {W, "MainWndRight", Kind::Int, &s.MainWndRight},
        {W, "MainWndLeft", Kind::Int, &s.MainWndLeft},
        {W, "MainWndHorzDiv", Kind::Int, &s.MainWndHorzDiv},
        {W, "MainWndVertDiv", Kind::Int, &s.MainWndVertDiv},
        {W, "MainWndPreview", Kind::Bool, &s.MainWndPreview},
        {W, "PreviewWndTop", Kind::Int, &s.PreviewWndTop},
        {W, "PreviewWndBottom", Kind::Int, &s.PreviewWndBottom},
        {W, "PreviewWndRight", Kind::Int, &s.PreviewWndRight},
        {W, "PreviewWndLeft", Kind::Int, &s.PreviewWndLeft},
        {W, "FindWndTop", Kind::Int, &s.FindWndTop},
        {W, "FindWndBottom", Kind::Int, &s.FindWndBottom},
        {W, "FindWndRight", Kind::Int, &s.FindWndRight},
        {W, "FindWndLeft", Kind::Int, &s.FindWndLeft},
        {W, "MainWndSortAscending", Kind::Bool, &s.MainWndSortAscending},
        {W, "MainWndColumn", Kind::Int, &s.MainWndColumn},
        {W, "LastAccount", Kind::Text, &s.LastAccount},
        {W, "MainWndMaximized", Kind::Bool, &s.MainWndMaximized},
        {W, "MainWndColumnWidths", Kind::Text, &s.MainWndColumnWidths},
        {S, "SenderName", Kind::Bool, &s.SenderName},
        {S, "Subject", Kind::Bool, &s.Subject},
        {S, "Body", Kind::Bool, &s.Body},
        {S, "SenderAddress", Kind::Bool, &s.SenderAddress},
        {S, "WholeWordsOnly", Kind::Bool, &s.WholeWordsOnly},
        {S, "CaseSensitive", Kind::Bool, &s.CaseSensitive},
        {S, "New", Kind::Bool, &s.New},
    };
}

// Allowed values of the numeric keys. A value read from the file outside
// its range becomes the nearest bound where the key is an amount (a time, a
// size, a count), and the built-in default where the key is a choice among
// a few meanings (a value past the last choice means none of them). The
// amounts' upper bounds are those of Settings.h.
enum class OutOfRange { Nearest, Default };

struct IntRange
{
    int Settings::*field;
    int min;
    int max;
    OutOfRange rule;
};

constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kMaxSecondsInMs = Settings::kMaxSeconds;
constexpr int kMaxKilobytes = Settings::kMaxKilobytes;
constexpr int kMaxAge = Settings::kMaxAge;

const IntRange kIntRanges[] = {
    // A minute or more, in whole minutes the window can show.
    {&Settings::AutoMailCheckInterval, 60, Settings::kMaxCheckMinutes * 60, OutOfRange::Nearest},
    {&Settings::MsgListNavigation, 0, 1, OutOfRange::Default},
    {&Settings::MessagesDownloadRange, 0, 2, OutOfRange::Default},
    {&Settings::MaximumDownloadSize, 1, kMaxKilobytes, OutOfRange::Nearest},
    {&Settings::MessageSaveRange, 0, 5, OutOfRange::Default},
    {&Settings::MaximumSaveSize, 1, kMaxKilobytes, OutOfRange::Nearest},
    {&Settings::MinimumSaveSize, 1, kMaxKilobytes, OutOfRange::Nearest},
    {&Settings::ConnectTimeout, 1, kMaxSecondsInMs, OutOfRange::Nearest},
    {&Settings::StartupSleepingTime, 1, kMaxSecondsInMs, OutOfRange::Nearest},
    {&Settings::DefaultBrowserPage, 0, 1, OutOfRange::Default},
    {&Settings::MessageNotificationWindowType, 0, 1, OutOfRange::Default},
    {&Settings::MessageNotificationWindowTimeout, 1, kMaxSecondsInMs, OutOfRange::Nearest},
    {&Settings::OldMessagesTime, 1, kMaxAge, OutOfRange::Nearest},
    {&Settings::OldMessagesUnit, 0, 3, OutOfRange::Default},
    {&Settings::NewMessagesTimeout, 1, kMaxSecondsInMs, OutOfRange::Nearest},
    {&Settings::NewMessagesStyle, 0, 2, OutOfRange::Default},
    {&Settings::ComposeMessageEncoding, 1, kCharsetCount, OutOfRange::Default},
    {&Settings::DefIncomingEncoding, 1, kCharsetCount, OutOfRange::Default},
    {&Settings::ComposeMessageFontSize, 1, Settings::kMaxFontSize, OutOfRange::Default},
    {&Settings::ComposeMessageFontColor, 0, 0xFFFFFF, OutOfRange::Default},
    {&Settings::MainWndColumn, 0, 4, OutOfRange::Default},
    {&Settings::PasswordStorage, 0, 1, OutOfRange::Default},
};

void ClampToRanges(Settings& s)
{
    static const Settings defaults;
    for (const IntRange& r : kIntRanges) {
        int& v = s.*r.field;
        if (v >= r.min && v <= r.max)
            continue;
        v = r.rule == OutOfRange::Nearest ? std::clamp(v, r.min, r.max) : defaults.*r.field;
    }
}

// File value of MessageNotification (1 window, 2 sound, 4 Scroll Lock) to
// and from the bit set held in memory.
int NotificationFromFile(int fileValue)
{
    int bits = 0;
    if (fileValue & 1)
        bits |= Settings::kNotifyWindow;
    if (fileValue & 2)
        bits |= Settings::kNotifySound;
    if (fileValue & 4)
        bits |= Settings::kNotifyScrollLock;
    return bits;
}

int NotificationToFile(int bits)
{
    int value = 0;
    if (bits & Settings::kNotifyWindow)
        value += 1;
    if (bits & Settings::kNotifySound)
        value += 2;
    if (bits & Settings::kNotifyScrollLock)
        value += 4;
    return value;
}

// The file name part of a stored path, whichever delimiter it uses.
QString NamePart(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return slash < 0 ? path : path.mid(slash + 1);
}

// A value must stay on its own line.
QString OneLine(const QString& value)
{
    QString v = value;
    v.replace('\r', ' ').replace('\n', ' ');
    return v;
}

// The value as written after "=": reading drops blanks around a value and
// one pair of surrounding quotes, so a value that has either is written in
// quotes to read back as it was.
QString FileValue(const QString& value)
{
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted || value != value.trimmed())
        return '"' + value + '"';
    return value;
}


} // namespace

Settings::Settings()
{
    OldMessagesThreshold =
        ComputeOldMessagesThreshold(Now(), OldMessagesTime, OldMessagesUnit, OldMessagesThreshold);
}

bool Settings::Load(const QString& path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const bool complete = file.error() == QFileDevice::NoError;
    IniDocument doc;
    doc.Parse(bytes);

    for (const KeyRef& k : KeyTable(*this)) {
        const QString section = QString::fromLatin1(k.section);
        const QString key = QString::fromLatin1(k.key);
        const QString* value = doc.Find(section, key);
        if (key == QLatin1String("MessageSaveRange")) {
            // A file written before this key existed stored headers only.
            int v = 1;
            if (value)
                ParseInt(*value, v);
            MessageSaveRange = v;
            continue;
        }
        if (!value)
            continue;
        if (key == QLatin1String("MbxStorage")) {
            const QString dir = value->trimmed();
            MbxStorage = (!dir.isEmpty() && QFileInfo(dir).isDir()) ? dir : QString();
        } else if (key == QLatin1String("LanguageFile")) {
            LanguageFile = NamePart(*value);
        } else if (key == QLatin1String("MessageNotification")) {
            int v = 0;
            if (ParseInt(*value, v))
                MessageNotification = NotificationFromFile(v);
        } else if (key == QLatin1String("ComposeMessageEncoding")) {
            int v = 0;
            if (ParseInt(*value, v))
                ComposeMessageEncoding = v < kIntMax ? v + 1 : 0; // 0 is out of range
        } else if (key == QLatin1String("OldMessagesUnit")) {
            int v = 0;
            if (ParseInt(*value, v))
                OldMessagesUnit = v == 4 ? 1 : v;
        } else {
            switch (k.kind) {
            case Kind::Bool: {
                int v = 0;
                if (ParseInt(*value, v))
                    *static_cast<bool*>(k.field) = v != 0;
                break;
            }
            case Kind::Int:
                ParseInt(*value, *static_cast<int*>(k.field));
                break;
            case Kind::Text:
                *static_cast<QString*>(k.field) = *value;
                break;
            case Kind::DateTime: {
                TDateTime t = 0;
                if (DateTimeFromText(*value, t))
                    *static_cast<TDateTime*>(k.field) = t;
                break;
            }
            }
        }
    }
    ClampToRanges(*this);
    // The threshold follows the age settings just read.
    OldMessagesThreshold =
        ComputeOldMessagesThreshold(Now(), OldMessagesTime, OldMessagesUnit, OldMessagesThreshold);
    if (this == &AppSettings())
        SetDefaultIncomingCharset(DefIncomingEncoding);
    return complete;
}

QList<Settings::Entry> Settings::KnownEntries() const
{
    // The key table wants writable fields; nothing is written through them here.
    Settings& self = const_cast<Settings&>(*this);
    QList<Entry> out;
    for (const KeyRef& k : KeyTable(self)) {
        const QString key = QString::fromLatin1(k.key);
        QString value;
        if (key == QLatin1String("MessageSaveRange"))
            value = QString::number(MessageSaveRange);
        else if (key == QLatin1String("MbxStorage"))
            value = MbxStorage;
        else if (key == QLatin1String("LanguageFile"))
            value = LanguageFile;
        else if (key == QLatin1String("MessageNotification"))
            value = QString::number(NotificationToFile(MessageNotification));
        else if (key == QLatin1String("ComposeMessageEncoding"))
            value = QString::number(ComposeMessageEncoding - 1);
        else if (key == QLatin1String("OldMessagesUnit"))
            value = QString::number(OldMessagesUnit);
        else {
            switch (k.kind) {
            case Kind::Bool:
                value = *static_cast<bool*>(k.field) ? QStringLiteral("1") : QStringLiteral("0");
                break;
            case Kind::Int:
                value = QString::number(*static_cast<int*>(k.field));
                break;
            case Kind::Text:
                value = *static_cast<QString*>(k.field);
                break;
            case Kind::DateTime:
                value = DateTimeToText(*static_cast<TDateTime*>(k.field));
                break;
            }
        }
        // A key the program added beyond its original list is written only
        // when it differs from its default, so a file that never used it keeps
        // the bytes it always had.
        if (key == QLatin1String("PasswordStorage") && PasswordStorage == 0)
            continue;
        out.append({QString::fromLatin1(k.section), key, OneLine(value)});
    }
    return out;
}

bool Settings::Save(const QString& path, QString* error)
{
    const QString loaded = Language().Path;
    if (!loaded.isEmpty())
        LanguageFile = QFileInfo(loaded).fileName();

    // Keys this program does not know are kept, after the known ones of
    // their section.
    IniDocument old;
    {
        QFile in(path);
        if (in.open(QIODevice::ReadOnly))
            old.Parse(in.readAll());
    }

    IniDocument doc;
    for (const Entry& e : KnownEntries())
        doc.Section(e.section).entries.append({e.key, e.value});
    const QList<KeyRef> table = KeyTable(*this);
    for (const IniSection& s : old.Sections()) {
        IniSection& target = doc.Section(s.name);
        for (const IniEntry& e : s.entries) {
            const auto same = [&](const QString& key) {
                return key.compare(e.key, Qt::CaseInsensitive) == 0;
            };
            // Known keys, also those left out above, come from this object.
            const bool known =
                std::any_of(target.entries.cbegin(), target.entries.cend(),
                            [&](const IniEntry& t) { return same(t.key); }) ||
                std::any_of(table.cbegin(), table.cend(), [&](const KeyRef& k) {
                    return s.name.compare(QLatin1String(k.section), Qt::CaseInsensitive) == 0 &&
                           same(QLatin1String(k.key));
                });
            if (!known)
                target.entries.append(e);
        }
    }

    QByteArray out;
    for (const IniSection& s : doc.Sections()) {
        out += '[' + s.name.toUtf8() + "]\n";
        for (const IniEntry& e : s.entries)
            out += e.key.toUtf8() + '=' + FileValue(e.value).toUtf8() + '\n';
        out += '\n';
    }

    return WriteFileAtomically(path, out, error);
}

void Settings::SetOldMessagesTime(int n)
{
    OldMessagesTime = n;
    OldMessagesThreshold =
        ComputeOldMessagesThreshold(Now(), OldMessagesTime, OldMessagesUnit, OldMessagesThreshold);
}

void Settings::SetOldMessagesUnit(int unit)
{
    OldMessagesUnit = unit;
    OldMessagesThreshold =
        ComputeOldMessagesThreshold(Now(), OldMessagesTime, OldMessagesUnit, OldMessagesThreshold);
}

bool Settings::WriteStartupEntry() const
{
    // The data directory in use goes into the entry: a start with the
    // session would otherwise resolve it again from an environment that
    // lacks the --data-dir or VELMORA_HOME this program was started with.
    QString dataDir = AppInfo::Instance().ProgramDir();
    if (dataDir.size() > 1 && dataDir.endsWith('/'))
        dataDir.chop(1);
    return SetRunOnStartup(RunOnStartup, QCoreApplication::applicationFilePath(), dataDir);
}

TDateTime Settings::ComputeOldMessagesThreshold(TDateTime now, int time, int unit,
                                                  TDateTime current)
{
    switch (unit) {
    case 0:
        return now - time / 24.0;
    case 1:
        return now - time;
    case 2:
        return now - 7.0 * time;
    case 3: {
        // Take the day count apart into date and time of day, move the month
        // back, put it together again with the same day and time.
        const double whole = std::trunc(now);
        const double frac = now - whole; // signed like the day count
        const QDate date = kEpoch.addDays(static_cast<qint64>(whole));
        long long year = date.year();
        long long month = date.month() - static_cast<long long>(time);
        while (month < 1) {
            month += 12;
            --year;
        }
        while (month > 12) { // a negative age moves forward
            month -= 12;
            ++year;
        }
        const QDate first(static_cast<int>(year), static_cast<int>(month), 1);
        const int day = std::min(date.day(), first.daysInMonth());
        const QDate target(static_cast<int>(year), static_cast<int>(month), day);
        return static_cast<double>(kEpoch.daysTo(target)) + frac;
    }
    default:
        return current;
    }
}

Settings& AppSettings()
{
    static auto* settings = new Settings; // lives until the process ends
    return *settings;
}

QString DateTimeToText(TDateTime value)
{
    if (!std::isfinite(value))
        value = 0;
    double whole = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= static_cast<qint64>(kMsPerDay)) {
        ms -= static_cast<qint64>(kMsPerDay);
        whole += value >= 0 ? 1 : -1;
    }
    const QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
    return date.toString(QStringLiteral("yyyy-MM-dd")) + ' ' +
           time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

bool DateTimeFromText(const QString& text, TDateTime& value)
{
    const QString t = text.trimmed();
    const qsizetype space = t.indexOf(' ');
    const QString datePart = space < 0 ? t : t.left(space);
    const QString timePart = space < 0 ? QString() : t.mid(space + 1).trimmed();
    const QDate date = QDate::fromString(datePart, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return false;
    QTime time(0, 0);
    if (!timePart.isEmpty()) {
        time = QTime::fromString(timePart, QStringLiteral("HH:mm:ss.zzz"));
        if (!time.isValid())
            time = QTime::fromString(timePart, QStringLiteral("HH:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(timePart, QStringLiteral("HH:mm"));
        if (!time.isValid())
            return false;
    }
    const double days = static_cast<double>(kEpoch.daysTo(date));
    const double frac = time.msecsSinceStartOfDay() / kMsPerDay;
    value = days >= 0 ? days + frac : days - frac;
    return true;
}

} // namespace vm
