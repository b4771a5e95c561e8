#include "lang/LangFile.h"

#include <QFile>
#include <QHash>

namespace vm {

namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

QByteArray AsciiLowerCopy(const QByteArray& s)
{
    QByteArray out = s;
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArray TrimBlanks(const QByteArray& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s.at(b)))
        ++b;
    while (e > b && IsBlank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

// Splits into lines at CR LF, LF or CR.
QList<QByteArray> SplitLines(const QByteArray& data)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data.at(i);
        if (c == '\r' || c == '\n') {
            lines.append(data.mid(start, i - start));
            if (c == '\r' && i + 1 < n && data.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(data.mid(start));
    return lines;
}

} // namespace

bool NameEquals(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (AsciiLower(a.at(i)) != AsciiLower(b.at(i)))
            return false;
    return true;
}

bool IniFile::Parse(const QByteArray& data)
{
    sections_.clear();
    fileComments_.clear();
    errorLine_ = 0;
    errorText_.clear();

    const QList<QByteArray> lines = SplitLines(data);
    bool seenFirst = false;
    int current = -1; // index into sections (pointers would not survive appends)
    QList<QHash<QByteArray, qsizetype>> keyIndex; // per section: lower-case key -> position
    QList<Section> sections;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.isEmpty())
            continue;
        if (seenFirst) {
            const auto c = static_cast<unsigned char>(line.at(0));
            if (!((c >= 0x20 && c <= 0x7E) || c == '\t')) {
                errorLine_ = i + 1;
                errorText_ = QStringLiteral("Line %1: begins with the byte 0x%2; every non-empty "
                                            "line after the first must begin with a printable "
                                            "ASCII character (0x20 to 0x7E) or a TAB")
                                 .arg(i + 1)
                                 .arg(QString::number(c, 16).toUpper().rightJustified(2, '0'));
                return false;
            }
        } else {
            seenFirst = true;
            if (line.startsWith("\xEF\xBB\xBF"))
                line = line.mid(3);
        }
        qsizetype first = -1;
        for (qsizetype k = 0; k < line.size(); ++k) {
            const char c = line.at(k);
            if (c == ';' || c == '#' || c == '[' || c == '=') {
                first = k;
                break;
            }
        }
        if (first < 0)
            continue;
        const char kind = line.at(first);
        if (kind == ';' || kind == '#') {
            if (current >= 0)
                sections[current].comments.append(line.mid(first + 1));
            else
                fileComments_.append(line.mid(first + 1));
        } else if (kind == '[') {
            const qsizetype close = line.lastIndexOf(']');
            if (close <= first)
                continue;
            const QByteArray name = TrimBlanks(line.mid(first + 1, close - first - 1));
            current = -1;
            for (int k = 0; k < sections.size(); ++k)
                if (NameEquals(sections.at(k).name, name)) {
                    current = k;
                    break;
                }
            if (current < 0) {
                sections.append(Section{name, {}, {}, i + 1});
                keyIndex.append(QHash<QByteArray, qsizetype>());
                current = static_cast<int>(sections.size()) - 1;
            }
        } else { // '='
            if (current < 0)
                continue; // keys before the first section belong to nothing
            key k{TrimBlanks(line.left(first)), line.mid(first + 1), i + 1};
            QList<key>& keys = sections[current].keys;
            const QByteArray lower = AsciiLowerCopy(k.name);
            const auto found = keyIndex[current].constFind(lower);
            if (found != keyIndex[current].constEnd()) {
                keys[*found].value = k.value;
                keys[*found].line = k.line;
            } else {
                keyIndex[current].insert(lower, keys.size());
                keys.append(k);
            }
        }
    }
    sections_ = sections;
    return true;
}

bool IniFile::ParseFile(const QString& path)
{
    sections_.clear();
    fileComments_.clear();
    errorLine_ = 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText_ = QStringLiteral("cannot be opened: %1").arg(file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        errorText_ = QStringLiteral("is larger than %1 bytes").arg(kMaxFileSize);
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        errorText_ = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    return Parse(data);
}

const IniFile::Section* IniFile::FindSection(const QByteArray& name) const
{
    for (const Section& s : sections_)
        if (NameEquals(s.name, name))
            return &s;
    return nullptr;
}

const QByteArray* IniFile::Value(const QByteArray& section, const QByteArray& keyName) const
{
    const Section* s = FindSection(section);
    if (!s)
        return nullptr;
    for (const key& k : s->keys)
        if (NameEquals(k.name, keyName))
            return &k.value;
    return nullptr;
}

QString PostProcessValue(const QByteArray& raw)
{
    return PostProcessValue(QString::fromUtf8(raw));
}

QString PostProcessValue(const QString& value)
{
    // 1. "##" is one "#", a single "#" starts a comment.
    QString s;
    s.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == '#') {
            if (i + 1 < value.size() && value.at(i + 1) == '#') {
                s += '#';
                ++i;
                continue;
            }
            break;
        }
        s += value.at(i);
    }
    // 2. and 3.
    s.replace(QStringLiteral("||"), QStringLiteral("\r\n"));
    s.replace(QStringLiteral("\\t"), QStringLiteral("\t"));
    // 4. Only "%s" and "%%" stay special; any other "%" is doubled. Pairs are
    // taken from the left, so "%%s" is a percent sign followed by "s".
    QString out;
    out.reserve(s.size() + 8);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c != '%') {
            out += c;
            continue;
        }
        const QChar next = i + 1 < s.size() ? s.at(i + 1) : QChar();
        if (next == '%' || next == 's') {
            out += c;
            out += next;
            ++i;
        } else {
            out += QStringLiteral("%%");
        }
    }
    return out;
}

int CountArguments(const QString& value)
{
    int count = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == '%') {
            if (i + 1 < value.size() && value.at(i + 1) == 's')
                ++count;
            ++i; // the character after every "%" is skipped
        }
    }
    return count;
}

QString FormatLangValue(const QString& value, const QStringList& args)
{
    constexpr qsizetype kMaxValue = 2048;
    constexpr qsizetype kMaxTotal = 4096;
    constexpr qsizetype kMaxResult = 1024;
    constexpr int kMaxArgs = 8;

    if (value.isEmpty())
        return {};
    const QStringList used = args.mid(0, kMaxArgs);
    if (CountArguments(value) > used.size())
        return {};
    QString v = value.left(kMaxValue);
    qsizetype total = v.size();
    for (const QString& a : used)
        total += a.size();
    if (total > kMaxTotal)
        return {};

    QString result;
    if (used.isEmpty() && !v.contains('%')) {
        result = v;
    } else {
        int next = 0;
        for (qsizetype i = 0; i < v.size() && result.size() < kMaxResult; ++i) {
            const QChar c = v.at(i);
            if (c == '%' && i + 1 < v.size()) {
                const QChar n = v.at(i + 1);
                if (n == 's') {
                    result += used.at(next++);
                    ++i;
                    continue;
                }
                if (n == '%') {
                    result += '%';
                    ++i;
                    continue;
                }
            }
            result += c;
        }
        result.truncate(kMaxResult);
    }
    // 5. Trim blanks and control characters from both ends.
    qsizetype b = 0;
    qsizetype e = result.size();
    while (b < e && result.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && result.at(e - 1).unicode() <= 0x20)
        --e;
    return result.mid(b, e - b);
}

} // namespace vm
