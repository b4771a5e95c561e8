#include "mime/Charsets.h"

#include "mime/ByteSearch.h"
#include "mime/CharsetTables.h"

#include <QStringDecoder>

#include <array>
#include <cstring>

#include <QList>

#include <atomic>
#include <vector>

namespace vm {

namespace {

struct CharsetEntry {
    int id;
    const char* canonical;
    std::array<const char*, 2> accepted;
};

const CharsetEntry kCharsets[] = {
    {1, "ISO-8859-1", {"iso-8859-1", nullptr}},
    {2, "ISO-8859-2", {"iso-8859-2", nullptr}},
    {3, "Windows1258", {"windows1258", "windows-1258"}},
    {4, "Windows1257", {"windows1257", "windows-1257"}},
    {5, "Windows1256", {"windows1256", "windows-1256"}},
    {6, "Windows1255", {"windows1255", "windows-1255"}},
    {7, "Windows1254", {"windows1254", "windows-1254"}},
    {8, "Windows1253", {"windows1253", "windows-1253"}},
    {9, "Windows1252", {"windows1252", "windows-1252"}},
    {10, "Windows1251", {"windows1251", "windows-1251"}},
    {11, "Windows1250", {"windows1250", "windows-1250"}},
    {12, "UTF-8", {"utf-8", "utf8"}},
    {13, "KOI8-R", {"koi8", "koi8-r"}},
    {14, "KOI8-U", {"koi8-u", nullptr}},
    {15, "ISO-8859-3", {"iso-8859-3", nullptr}},
    {16, "ISO-8859-4", {"iso-8859-4", nullptr}},
    {17, "ISO-8859-5", {"iso-8859-5", nullptr}},
    {18, "ISO-8859-6", {"iso-8859-6", nullptr}},
    {19, "ISO-8859-7", {"iso-8859-7", nullptr}},
    {20, "ISO-8859-8-I", {"iso-8859-8", "iso-8859-8-i"}},
    {21, "ISO-8859-9", {"iso-8859-9", nullptr}},
    {22, "ISO-8859-10", {"iso-8859-10", nullptr}},
    {23, "ISO-8859-11", {"iso-8859-11", nullptr}},
    {24, "ISO-8859-13", {"iso-8859-13", nullptr}},
    {25, "ISO-8859-14", {"iso-8859-14", nullptr}},
    {26, "ISO-8859-15", {"iso-8859-15", nullptr}},
    {27, "ISO-8859-16", {"iso-8859-16", nullptr}},
};

// Encoded-word markers in the order that decides EncodedWordCharset.
struct Marker {
    const char* text;
    int id;
};
const Marker kMarkers[] = {
    {"=?iso-8859-1?", 1},    {"=?utf-8?", 12},        {"=?utf8?", 12},
    {"=?iso-8859-2?", 2},    {"=?windows1250?", 11},  {"=?windows1251?", 10},
    {"=?windows1252?", 9},   {"=?windows1253?", 8},   {"=?windows1254?", 7},
    {"=?windows1255?", 6},   {"=?windows1256?", 5},   {"=?windows1257?", 4},
    {"=?windows1258?", 3},   {"=?windows-1250?", 11}, {"=?windows-1251?", 10},
    {"=?windows-1252?", 9},  {"=?windows-1253?", 8},  {"=?windows-1254?", 7},
    {"=?windows-1255?", 6},  {"=?windows-1256?", 5},  {"=?windows-1257?", 4},
    {"=?windows-1258?", 3},  {"=?iso-8859-3?", 15},   {"=?iso-8859-4?", 16},
    {"=?iso-8859-5?", 17},   {"=?iso-8859-6?", 18},   {"=?iso-8859-7?", 19},
    {"=?iso-8859-8?", 20},   {"=?iso-8859-8-i?", 20}, {"=?iso-8859-9?", 21},
    {"=?iso-8859-10?", 22},  {"=?iso-8859-11?", 23},  {"=?iso-8859-13?", 24},
    {"=?iso-8859-14?", 25},  {"=?iso-8859-15?", 26},  {"=?iso-8859-16?", 27},
    {"=?koi8?", 13},         {"=?koi8-r?", 13},       {"=?koi8-u?", 14},
};

bool IsAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The UTF-8 decoder of charset id 12: a byte or sequence that does not fit
// is skipped without output; an overlong form or an encoded surrogate
// becomes U+FFFD. Four-byte sequences become surrogate pairs.
QString DecodeUtf8Lenient(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        int need;
        char32_t cp;
        if (b >= 0xC0 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF7) {
            need = 3;
            cp = b & 0x07;
        } else {
            ++i; // stray continuation byte or invalid lead byte
            continue;
        }
        bool fits = true;
        for (int k = 1; fits && k <= need; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                fits = false;
        }
        if (!fits) {
            ++i; // the lead byte alone is skipped; what follows is read anew
            continue;
        }
        for (int k = 1; k <= need; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        i += need + 1;
        // An overlong form ("C0 AF" for "/", "C0 80" for NUL) is no
        // character: it would let a byte the text must not hold slip past
        // checks that look for the byte itself.
        static constexpr char32_t kShortestOf[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kShortestOf[need]) {
            out.append(QChar(0xFFFD));
        } else if (need == 3) {
            if (cp > 0x10FFFF)
                out.append(QChar(0xFFFD));
            else {
                out.append(QChar::highSurrogate(cp));
                out.append(QChar::lowSurrogate(cp));
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            out.append(QChar(0xFFFD)); // an encoded surrogate is no character
        } else {
            out.append(QChar(static_cast<char16_t>(cp)));
        }
    }
    return out;
}

QByteArray NormaliseCharsetName(const QByteArray& name)
{
    QByteArray n = name.trimmed().toLower();
    // RFC 2231 lets an encoded word name a language: "utf-8*en".
    const qsizetype star = n.indexOf('*');
    if (star >= 0)
        n.truncate(star);
    return n;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArray DecodeQ(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out.append(char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

// One piece of a header text: literal bytes or the bytes of an encoded word.
struct Segment {
    bool encoded = false;
    QByteArray charset; // normalised, encoded words only
    QByteArray bytes;
};

// Finds the first position at or after `from` where isStop holds (the size
// of the text if none). The splitter asks at rising positions; a question
// that starts inside the stretch the previous one scanned has the same
// answer, which is given without scanning again. So every byte of a header
// is looked at once however many "=?" it holds: a text of openings without
// any "?=" would otherwise be scanned to its end from every opening, which
// makes a hostile 1 MB subject take minutes. No length limit is needed
// besides, so overlong words that real mailers write stay readable.
class StopFinder
{
public:
    template <typename IsStop> qsizetype Find(const QByteArray& s, qsizetype from, IsStop isStop)
    {
        if (from >= from_ && from <= stop_)
            return stop_;
        qsizetype i = from;
        while (i < s.size() && !isStop(i))
            ++i;
        from_ = from;
        stop_ = i;
        return i;
    }

private:
    qsizetype from_ = 1; // [from_, stop_]: the stretch scanned last (none yet)
    qsizetype stop_ = 0;
};

// The two scans of an encoded word, shared by all the words of one text.
struct EncodedWordScan
{
    StopFinder charsetEnd; // the '?' after the charset name, or a blank
    StopFinder textEnd;    // the "?=" after the encoded text, or a blank
};

// Tries to read an encoded word "=?charset?X?text?=" at pos; on success fills
// the segment and returns the position after it, otherwise -1. Positions
// must rise from call to call with one scan.
qsizetype ReadEncodedWord(const QByteArray& s, qsizetype pos, Segment& seg, EncodedWordScan& scan)
{
    if (pos + 1 >= s.size() || s[pos] != '=' || s[pos + 1] != '?')
        return -1;
    const qsizetype q1 = pos + 2;
    const qsizetype i =
        scan.charsetEnd.Find(s, q1, [&s](qsizetype k) { return s[k] == '?' || IsBlank(s[k]); });
    if (i >= s.size() || s[i] != '?' || i == q1)
        return -1;
    const QByteArray charset = s.mid(q1, i - q1);
    if (i + 2 >= s.size() || s[i + 2] != '?')
        return -1;
    const char enc = s[i + 1];
    if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q')
        return -1;
    const qsizetype textStart = i + 3;
    const qsizetype j = scan.textEnd.Find(s, textStart, [&s](qsizetype k) {
        return IsBlank(s[k]) || (s[k] == '?' && k + 1 < s.size() && s[k + 1] == '=');
    });
    if (j >= s.size() || IsBlank(s[j]))
        return -1;
    const QByteArray text = s.mid(textStart, j - textStart);
    seg.encoded = true;
    seg.charset = NormaliseCharsetName(charset);
    seg.bytes = (enc == 'B' || enc == 'b') ? QByteArray::fromBase64(text) : DecodeQ(text);
    return j + 2;
}

// Splits a header text into literal and encoded-word segments. Blanks
// between two encoded words are dropped; adjacent encoded words of the same
// charset are joined.
QList<Segment> SplitEncodedWords(const QByteArray& raw)
{
    QList<Segment> segs;
    QByteArray literal;
    EncodedWordScan scan;
    qsizetype i = 0;
    auto flushLiteral = [&](bool beforeEncoded) {
        if (literal.isEmpty())
            return;
        bool blanksOnly = true;
        for (char c : literal)
            if (!IsBlank(c))
                blanksOnly = false;
        if (!(beforeEncoded && blanksOnly && !segs.isEmpty() && segs.last().encoded))
            segs.append(Segment{false, {}, literal});
        literal.clear();
    };
    while (i < raw.size()) {
        if (raw[i] == '=' && i + 1 < raw.size() && raw[i + 1] == '?') {
            Segment seg;
            const qsizetype next = ReadEncodedWord(raw, i, seg, scan);
            if (next > 0) {
                flushLiteral(true);
                if (!segs.isEmpty() && segs.last().encoded && segs.last().charset == seg.charset)
                    segs.last().bytes.append(seg.bytes);
                else
                    segs.append(seg);
                i = next;
                continue;
            }
        }
        literal.append(raw[i]);
        ++i;
    }
    flushLiteral(false);
    return segs;
}

// Whether the bytes are well-formed UTF-8 holding at least one byte outside
// ASCII: shortest forms only, no encoded surrogates, nothing past U+10FFFF.
bool IsEightBitUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    bool eightBit = false;
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        eightBit = true;
        int need;
        unsigned char lo = 0x80; // range of the second byte
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0)
                lo = 0xA0; // shorter forms are overlong
            else if (b == 0xED)
                hi = 0x9F; // U+D800-U+DFFF are surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F; // beyond U+10FFFF
        } else {
            return false;
        }
        if (i + need >= n || p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= need; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += need + 1;
    }
    return eightBit;
}

// Header bytes outside encoded words: raw 8-bit bytes that are valid UTF-8
// are UTF-8 (headers may carry it raw since RFC 6532, and text in the 8-bit
// charsets is practically never valid UTF-8); other bytes are read with the
// fallback charset.
QString DecodeRawHeaderBytes(const QByteArray& bytes, const QByteArray& fallbackCharset)
{
    if (IsEightBitUtf8(bytes))
        return QString::fromUtf8(bytes);
    return DecodeWithCharset(bytes, fallbackCharset);
}

} // namespace

int CharsetIdFromName(const QByteArray& name)
{
    const QByteArray n = name.trimmed().toLower();
    if (n.isEmpty())
        return 0;
    for (const auto& e : kCharsets)
        for (const char* a : e.accepted)
            if (a && n == a)
                return e.id;
    return 0;
}

int CharsetIdFromName(const QString& name)
{
    return CharsetIdFromName(name.toLatin1());
}

QString CharsetName(int id)
{
    if (id < 1 || id > kCharsetCount)
        return {};
    return QString::fromLatin1(kCharsets[id - 1].canonical);
}

QString SystemCodePageToUnicode(const QByteArray& bytes)
{
    // QString::fromUtf8 replaces every invalid sequence with U+FFFD.
    return QString::fromUtf8(bytes);
}

namespace {
// Read by list painting and by workers parsing messages, set from the
// interface thread when the settings are loaded or changed.
std::atomic<int> defaultIncomingCharset{1};
} // namespace

int DefaultIncomingCharset()
{
    return defaultIncomingCharset.load(std::memory_order_relaxed);
}

void SetDefaultIncomingCharset(int id)
{
    defaultIncomingCharset.store(id, std::memory_order_relaxed);
}

QString BytesToUnicode(const QByteArray& bytes, int id)
{
    if (id == kCharsetUtf8)
        return DecodeUtf8Lenient(bytes);
    if (id == 0)
        id = DefaultIncomingCharset();
    if (id == 1)
        return QString::fromLatin1(bytes);
    if (const char16_t* table = charset_tables::UpperHalf(id)) {
        QString out(bytes.size(), Qt::Uninitialized);
        QChar* d = out.data();
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const unsigned char b = static_cast<unsigned char>(bytes[i]);
            d[i] = b < 0x80 ? QChar(b) : QChar(table[b - 0x80]);
        }
        return out;
    }
    return SystemCodePageToUnicode(bytes);
}

int EncodedWordCharset(const QByteArray& text)
{
    const QByteArray t = text.trimmed().toLower();
    if (t.size() < 9)
        return 0;
    for (const auto& m : kMarkers)
        if (t.contains(m.text))
            return m.id;
    return 0;
}

bool IsKnownCharset(const QByteArray& charsetName)
{
    const QByteArray n = NormaliseCharsetName(charsetName);
    if (n.isEmpty())
        return false;
    if (CharsetIdFromName(n) != 0)
        return true;
    return QStringDecoder(n.constData()).isValid();
}

namespace {

bool NormalisedKeepsAscii(const QByteArray& n)
{
    return !n.startsWith("utf-16") && !n.startsWith("utf-32") && !n.startsWith("utf-7") &&
           !n.contains("2022");
}

} // namespace

bool LowersOrFoldsToAscii(char32_t c)
{
    // No character beyond the Basic Multilingual Plane has such a mapping.
    if (c < 0x80 || c > 0xFFFF)
        return false;
    static const std::vector<bool> special = [] {
        std::vector<bool> v(0x10000, false);
        for (char32_t k = 0x80; k < 0x10000; ++k) {
            if (k >= 0xD800 && k <= 0xDFFF)
                continue;
            const QChar ch(static_cast<char16_t>(k));
            bool ascii = ch.toCaseFolded().unicode() < 0x80;
            for (const QChar l : QString(ch).toLower())
                ascii = ascii || l.unicode() < 0x80;
            v[k] = ascii;
        }
        return v;
    }();
    return special[c];
}

namespace {

// Valid UTF-8 (shortest forms, no surrogates, nothing past U+10FFFF)
// without a character that lowers or folds to ASCII.
bool Utf8SearchableAsBytes(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (;;) {
        i = FindHighByte(bytes, i);
        if (i >= n)
            return true;
        const unsigned char b = p[i];
        int need = 0;
        char32_t cp = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                low = 0xA0;
            else if (b == 0xED)
                high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                low = 0x90;
            else if (b == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (n - i <= need || p[i + 1] < low || p[i + 1] > high)
            return false;
        for (int k = 1; k <= need; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (LowersOrFoldsToAscii(cp))
            return false;
        i += need + 1;
    }
}

} // namespace

bool AsciiSearchableAsBytes(QByteArrayView bytes, const QByteArray& charsetName)
{
    if (IsAsciiBytes(bytes))
        return KeepsAscii(charsetName);
    // The decoder DecodeWithCharset takes for these bytes.
    const QByteArray n = NormaliseCharsetName(charsetName);
    int id = 0;
    if (n.isEmpty()) {
        id = DefaultIncomingCharset();
        if (id != 1 && !charset_tables::UpperHalf(id))
            id = kCharsetUtf8; // the system code page
    } else {
        id = CharsetIdFromName(n);
    }
    if (id == kCharsetUtf8)
        return Utf8SearchableAsBytes(bytes);
    const char16_t* table = id == 1 ? nullptr : charset_tables::UpperHalf(id);
    if (id != 1 && !table)
        return false;
    for (qsizetype i = FindHighByte(bytes, 0); i < bytes.size(); i = FindHighByte(bytes, i + 1)) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const char32_t u = table ? table[b - 0x80] : b;
        if (u < 0x80 || LowersOrFoldsToAscii(u))
            return false;
    }
    return true;
}

bool KeepsAscii(const QByteArray& charsetName)
{
    // Table charsets map bytes below 0x80 to themselves, so does the
    // incoming default (a table charset or UTF-8), and the other names take
    // the ASCII shortcut below.
    return NormalisedKeepsAscii(NormaliseCharsetName(charsetName));
}

QString DecodeWithCharset(const QByteArray& bytes, const QByteArray& charsetName)
{
    const QByteArray n = NormaliseCharsetName(charsetName);
    if (const int id = CharsetIdFromName(n))
        return BytesToUnicode(bytes, id);
    if (!n.isEmpty()) {
        if (IsAscii(bytes) && NormalisedKeepsAscii(n)) {
            // Shortcut for the common case; every 8-bit charset keeps ASCII.
            return QString::fromLatin1(bytes);
        }
        QStringDecoder dec(n.constData());
        if (dec.isValid()) {
            QString out = dec.decode(bytes);
            if (!dec.hasError() || !out.isEmpty())
                return out;
        }
    }
    return BytesToUnicode(bytes, 0);
}

QString DecodeHeaderText(const QByteArray& raw, const QByteArray& fallbackCharset)
{
    if (!raw.contains("=?"))
        return DecodeRawHeaderBytes(raw, fallbackCharset);
    QString out;
    for (const Segment& seg : SplitEncodedWords(raw))
        out += seg.encoded ? DecodeWithCharset(seg.bytes, seg.charset)
                           : DecodeRawHeaderBytes(seg.bytes, fallbackCharset);
    return out;
}

QByteArray DecodeEncodedWordsToBytes(const QByteArray& raw)
{
    if (!raw.contains("=?"))
        return raw;
    QByteArray out;
    for (const Segment& seg : SplitEncodedWords(raw))
        out += seg.bytes;
    return out;
}

} // namespace vm
