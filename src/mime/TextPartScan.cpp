#include "mime/TextPartScan.h"

#include "mime/ByteSearch.h"

#include <cstdint>
#include <cstring>

namespace vm {

namespace {

constexpr int kMaxDepth = 32;

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool IsWsp(char c)
{
    return c == ' ' || c == '\t';
}

// The blanks the parser allows after a boundary on its line.
bool IsLwsp(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EqualsNoCase(QByteArrayView a, const char* lower)
{
    const qsizetype n = qsizetype(std::strlen(lower));
    if (a.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (LowerAscii(a[i]) != lower[i])
            return false;
    return true;
}

QByteArray Lower(QByteArrayView a)
{
    QByteArray out(a.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < a.size(); ++i)
        out[i] = LowerAscii(a[i]);
    return out;
}

QByteArrayView Trimmed(QByteArrayView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && IsLwsp(v[b]))
        ++b;
    while (e > b && IsLwsp(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

// RFC 2045 token characters: printable ASCII without blanks and tspecials.
bool IsTokenChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127)
        return false;
    return std::strchr("()<>@,;:\\\"/[]?=", c) == nullptr;
}

// A header field name: printable ASCII without blanks and colons.
bool IsFieldNameChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && c != ':';
}

// The parameters of a Content-Type or Content-Disposition value that the
// text part test needs, read strictly.
struct Parameters
{
    QByteArray charset;
    QByteArray boundary;
    QByteArray name; // "name" (Content-Type) or "filename" (Content-Disposition)
    bool hasCharset = false;
    bool hasBoundary = false;
    bool hasName = false;
};

// Reads "; key=value" pairs from v. False for anything the MIME parser
// might read otherwise: RFC 2231 keys, comments, unclosed quotes, a key
// without a value, a repeated parameter of interest, encoded words in one.
bool ReadParameters(QByteArrayView v, const char* nameKey, Parameters& out)
{
    qsizetype i = 0;
    const qsizetype n = v.size();
    for (;;) {
        while (i < n && IsLwsp(v[i]))
            ++i;
        if (i == n)
            return true;
        if (v[i] != ';')
            return false;
        ++i;
        while (i < n && IsLwsp(v[i]))
            ++i;
        if (i == n)
            return true; // a final ";"
        const qsizetype keyAt = i;
        while (i < n && IsTokenChar(v[i]) && v[i] != '*')
            ++i;
        const QByteArrayView key = v.sliced(keyAt, i - keyAt);
        if (key.isEmpty())
            return false;
        while (i < n && IsLwsp(v[i]))
            ++i;
        if (i == n || v[i] != '=')
            return false;
        ++i;
        while (i < n && IsLwsp(v[i]))
            ++i;
        QByteArray value;
        if (i < n && v[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char c = v[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < n)
                    c = v[i++];
                value += c;
            }
            if (!closed)
                return false;
        } else {
            const qsizetype at = i;
            while (i < n && !IsLwsp(v[i]) && v[i] != ';') {
                if (v[i] == '"' || v[i] == '(' || v[i] == ')')
                    return false;
                ++i;
            }
            if (i == at)
                return false;
            value = v.sliced(at, i - at).toByteArray();
        }
        QByteArray* slot = nullptr;
        bool* seen = nullptr;
        if (EqualsNoCase(key, "charset")) {
            slot = &out.charset;
            seen = &out.hasCharset;
        } else if (EqualsNoCase(key, "boundary")) {
            slot = &out.boundary;
            seen = &out.hasBoundary;
        } else if (EqualsNoCase(key, nameKey)) {
            slot = &out.name;
            seen = &out.hasName;
        }
        if (slot) {
            if (*seen || value.contains("=?"))
                return false;
            *seen = true;
            *slot = value;
        }
    }
}

// "type/subtype; parameters". False for anything but plain tokens.
bool ReadContentType(QByteArrayView value, QByteArray& type, QByteArray& subtype,
                     Parameters& params)
{
    const QByteArrayView v = Trimmed(value);
    qsizetype i = 0;
    while (i < v.size() && IsTokenChar(v[i]))
        ++i;
    if (i == 0 || i == v.size() || v[i] != '/')
        return false;
    type = Lower(v.first(i));
    const qsizetype subAt = ++i;
    while (i < v.size() && IsTokenChar(v[i]))
        ++i;
    if (i == subAt)
        return false;
    subtype = Lower(v.sliced(subAt, i - subAt));
    return ReadParameters(v.sliced(i), "name", params);
}

// "disposition; parameters".
bool ReadDisposition(QByteArrayView value, QByteArray& disposition, Parameters& params)
{
    const QByteArrayView v = Trimmed(value);
    qsizetype i = 0;
    while (i < v.size() && IsTokenChar(v[i]))
        ++i;
    if (i == 0)
        return false;
    disposition = Lower(v.first(i));
    return ReadParameters(v.sliced(i), "filename", params);
}

// A boundary the scan can compare lines with unambiguously.
bool IsPlainBoundary(const QByteArray& b)
{
    if (b.isEmpty() || b.size() > 200)
        return false;
    for (const char c : b) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127)
            return false;
    }
    return true;
}

struct Line
{
    qsizetype begin = 0;
    qsizetype end = 0;  // before the line break (CR LF or LF)
    qsizetype next = 0; // after the line break
};

// The fields of a header block that decide about a part.
struct PartFields
{
    QByteArray contentType;
    QByteArray encoding;
    QByteArray disposition;
    bool hasType = false;
    bool hasEncoding = false;
    bool hasDisposition = false;
};

class Scanner
{
public:
    Scanner(QByteArrayView raw, QList<TextPartSpan>& parts)
        : d_(raw.data()), n_(raw.size()), parts_(parts)
    {
    }

    bool Run()
    {
        parts_.clear();
        return Entity(0, 0, true) >= 0;
    }

private:
    Line LineAt(qsizetype pos) const
    {
        Line l;
        l.begin = pos;
        const void* nl = std::memchr(d_ + pos, '\n', std::size_t(n_ - pos));
        if (!nl) {
            l.end = l.next = n_;
            return l;
        }
        const qsizetype at = static_cast<const char*>(nl) - d_;
        l.next = at + 1;
        l.end = (at > pos && d_[at - 1] == '\r') ? at - 1 : at;
        return l;
    }

    // Which enclosing boundary the line at pos is (index into bounds_), or -1.
    // A boundary line is "--", the boundary, "--" for the closing one, and
    // nothing but blanks.
    int BoundaryAt(qsizetype pos, bool* closing) const
    {
        if (bounds_.isEmpty() || n_ - pos < 3 || d_[pos] != '-' || d_[pos + 1] != '-')
            return -1;
        const char* const s = d_ + pos + 2;
        const qsizetype room = n_ - pos - 2;
        for (int k = int(bounds_.size()) - 1; k >= 0; --k) {
            const QByteArray& b = bounds_[k];
            if (room < b.size() || std::memcmp(s, b.constData(), std::size_t(b.size())) != 0)
                continue;
            qsizetype i = b.size();
            bool close = false;
            if (i + 1 < room && s[i] == '-' && s[i + 1] == '-') {
                close = true;
                i += 2;
            }
            while (i < room && s[i] != '\n' && IsLwsp(s[i]))
                ++i;
            if (i == room || s[i] == '\n') {
                *closing = close;
                return k;
            }
        }
        return -1;
    }

    // The first boundary line at or after pos (a line start), or n_.
    qsizetype NextBoundary(qsizetype pos, int* which, bool* closing) const
    {
        if (bounds_.isEmpty())
            return n_;
        const QByteArrayView text(d_, n_);
        for (qsizetype at = pos;;) {
            if ((*which = BoundaryAt(at, closing)) >= 0)
                return at;
            // Only lines that start with "--" can be boundary lines.
            const qsizetype hit = FindBytes(text, at, "\n--");
            if (hit < 0)
                return n_;
            at = hit + 1;
        }
    }

    // Reads a header block from pos; pos ends after its empty line.
    bool Headers(qsizetype& pos, PartFields& f, bool top) const
    {
        QByteArray* current = nullptr;
        bool inField = false;
        bool first = true;
        while (pos < n_) {
            const Line l = LineAt(pos);
            if (l.end == l.begin) {
                pos = l.next;
                return true;
            }
            bool closing = false;
            if (BoundaryAt(l.begin, &closing) >= 0)
                return false; // a header block cut short by a boundary
            const QByteArrayView line(d_ + l.begin, l.end - l.begin);
            if (top && first && line.startsWith("From "))
                return false;
            first = false;
            if (IsWsp(line[0])) {
                if (!inField || Trimmed(line).isEmpty())
                    return false;
                if (current)
                    current->append(line.data(), line.size());
            } else {
                qsizetype colon = 0;
                while (colon < line.size() && IsFieldNameChar(line[colon]))
                    ++colon;
                if (colon == 0 || colon == line.size() || line[colon] != ':')
                    return false;
                const QByteArrayView name = line.first(colon);
                bool* seen = nullptr;
                current = nullptr;
                if (EqualsNoCase(name, "content-type")) {
                    current = &f.contentType;
                    seen = &f.hasType;
                } else if (EqualsNoCase(name, "content-transfer-encoding")) {
                    current = &f.encoding;
                    seen = &f.hasEncoding;
                } else if (EqualsNoCase(name, "content-disposition")) {
                    current = &f.disposition;
                    seen = &f.hasDisposition;
                }
                if (seen) {
                    if (*seen)
                        return false;
                    *seen = true;
                    *current = line.sliced(colon + 1).toByteArray();
                }
                inField = true;
            }
            pos = l.next;
        }
        return false; // no end of the header block
    }

    // Reads one entity (header block and content) from pos. Returns where
    // the boundary line that ends it starts (n_ at the end of the text), or
    // -1 when the message is left to the full parse.
    qsizetype Entity(qsizetype pos, int depth, bool top)
    {
        if (depth > kMaxDepth)
            return -1;
        PartFields f;
        if (!Headers(pos, f, top))
            return -1;
        QByteArray type = "text";
        QByteArray subtype = "plain";
        Parameters typeParams;
        if (f.hasType && !ReadContentType(f.contentType, type, subtype, typeParams))
            return -1;
        if (type == "message")
            return -1;
        if (type == "multipart")
            return Multipart(pos, depth, subtype, typeParams);

        int which = -1;
        bool closing = false;
        const qsizetype next = NextBoundary(pos, &which, &closing);
        qsizetype end = next;
        if (next < n_) {
            // The line break before a boundary line belongs to the boundary.
            if (end > pos && d_[end - 1] == '\n')
                --end;
            if (end > pos && d_[end - 1] == '\r')
                --end;
        }
        if (type != "text")
            return next;

        QByteArray disposition;
        Parameters dispositionParams;
        if (f.hasDisposition && !ReadDisposition(f.disposition, disposition, dispositionParams))
            return -1;
        if ((typeParams.hasName && typeParams.name.isEmpty()) ||
            (dispositionParams.hasName && dispositionParams.name.isEmpty()))
            return -1;
        if (typeParams.hasName || dispositionParams.hasName || disposition == "attachment")
            return next;

        TextPartSpan span;
        if (f.hasEncoding) {
            const QByteArrayView e = Trimmed(f.encoding);
            if (EqualsNoCase(e, "base64"))
                span.encoding = TextPartSpan::Encoding::Base64;
            else if (EqualsNoCase(e, "quoted-printable"))
                span.encoding = TextPartSpan::Encoding::QuotedPrintable;
            else if (!EqualsNoCase(e, "7bit") && !EqualsNoCase(e, "8bit") &&
                     !EqualsNoCase(e, "binary"))
                return -1;
        }
        span.contentType = type + '/' + subtype;
        span.charset = Trimmed(typeParams.charset).toByteArray();
        span.begin = pos;
        span.end = end;
        parts_.append(std::move(span));
        return next;
    }

    qsizetype Multipart(qsizetype pos, int depth, const QByteArray& subtype,
                        const Parameters& params)
    {
        // A digest's parts default to embedded messages.
        if (subtype == "digest" || !params.hasBoundary || !IsPlainBoundary(params.boundary))
            return -1;
        const QByteArray& boundary = params.boundary;
        for (const QByteArray& outer : std::as_const(bounds_))
            if (outer == boundary || outer == boundary + "--" || boundary == outer + "--")
                return -1;
        bounds_.append(boundary);
        const int level = int(bounds_.size()) - 1;
        qsizetype at = pos;
        for (;;) {
            int which = -1;
            bool closing = false;
            const qsizetype line = NextBoundary(at, &which, &closing);
            if (line == n_ || which != level) {
                bounds_.removeLast();
                return line;
            }
            if (closing) {
                // The epilogue runs to an enclosing boundary or the end.
                bounds_.removeLast();
                return NextBoundary(LineAt(line).next, &which, &closing);
            }
            at = Entity(LineAt(line).next, depth + 1, false);
            if (at < 0)
                return -1;
        }
    }

    const char* d_;
    qsizetype n_;
    QList<TextPartSpan>& parts_;
    QList<QByteArray> bounds_; // boundaries of the enclosing multiparts, outermost first
};

// Values of the base64 alphabet; 64 for "=", 255 for everything else.
struct Base64Ranks
{
    unsigned char rank[256];
    constexpr Base64Ranks() : rank()
    {
        for (int i = 0; i < 256; ++i)
            rank[i] = 255;
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            rank[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
        rank[static_cast<unsigned char>('=')] = 64;
    }
};
constexpr Base64Ranks kBase64;

void DecodeBase64(QByteArrayView in, QByteArray& out)
{
    out.resize(in.size() * 3 / 4 + 3);
    char* o = out.data();
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : in) {
        const unsigned char r = kBase64.rank[static_cast<unsigned char>(c)];
        if (r == 255)
            continue;
        if (r == 64) {
            // The end: a group of two or three characters still gives bytes.
            if (count == 2) {
                *o++ = char(bits >> 4);
            } else if (count == 3) {
                *o++ = char(bits >> 10);
                *o++ = char(bits >> 2);
            }
            break;
        }
        bits = (bits << 6) | r;
        if (++count == 4) {
            *o++ = char(bits >> 16);
            *o++ = char(bits >> 8);
            *o++ = char(bits);
            bits = 0;
            count = 0;
        }
    }
    out.resize(o - out.data());
}

void DecodeQuotedPrintable(QByteArrayView in, QByteArray& out)
{
    out.resize(in.size());
    char* o = out.data();
    const qsizetype n = in.size();
    qsizetype i = 0;
    while (i < n) {
        const void* eq = std::memchr(in.data() + i, '=', std::size_t(n - i));
        const qsizetype at = eq ? static_cast<const char*>(eq) - in.data() : n;
        std::memcpy(o, in.data() + i, std::size_t(at - i));
        o += at - i;
        if (at >= n)
            break;
        // "=" and what follows; an "=" left open at the end gives nothing.
        if (at + 1 >= n)
            break;
        const char a = in[at + 1];
        if (a == '\n') {
            i = at + 2;
            continue;
        }
        if (at + 2 >= n)
            break;
        const char b = in[at + 2];
        const int hi = HexValue(a);
        const int lo = HexValue(b);
        if (hi >= 0 && lo >= 0) {
            *o++ = char((hi << 4) | lo);
        } else if (!(a == '\r' && b == '\n')) {
            *o++ = '=';
            *o++ = a;
            *o++ = b;
        }
        i = at + 3;
    }
    out.resize(o - out.data());
}

} // namespace

bool FindTextParts(QByteArrayView raw, QList<TextPartSpan>& parts)
{
    return Scanner(raw, parts).Run();
}

void DecodeTransfer(QByteArrayView content, TextPartSpan::Encoding encoding, QByteArray& out)
{
    switch (encoding) {
    case TextPartSpan::Encoding::None:
        out.resize(0);
        out.append(content);
        return;
    case TextPartSpan::Encoding::Base64:
        DecodeBase64(content, out);
        return;
    case TextPartSpan::Encoding::QuotedPrintable:
        DecodeQuotedPrintable(content, out);
        return;
    }
}

} // namespace vm
