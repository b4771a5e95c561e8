#include "addressbook/VCard.h"

#include <QStringDecoder>
#include <QStringList>

namespace vm {

namespace {

struct Property
{
    QByteArray name;                             // upper case, without group
    QList<QPair<QByteArray, QByteArray>> params; // upper-case names, raw values
    QByteArray value;                            // raw, still escaped

    QByteArray Param(const char* key) const
    {
        for (const auto& p : params)
            if (p.first == key)
                return p.second;
        return {};
    }
    bool HasType(const char* type) const
    {
        for (const auto& p : params) {
            // "TYPE=home,pref", "TYPE=PREF" or a bare "PREF" (vCard 2.1).
            if (p.first == "TYPE")
                for (const QByteArray& t : p.second.toUpper().split(','))
                    if (t.trimmed() == type)
                        return true;
            if (p.second.isEmpty() && p.first == type)
                return true;
        }
        return false;
    }
};

QByteArray DecodeQuotedPrintable(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(v));
                i += 2;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

// Splits at unquoted separators.
QList<QByteArray> SplitOutsideQuotes(const QByteArray& s, char sep)
{
    QList<QByteArray> parts;
    QByteArray cur;
    bool quoted = false;
    for (char c : s) {
        if (c == '"')
            quoted = !quoted;
        if (c == sep && !quoted) {
            parts.append(cur);
            cur.clear();
        } else {
            cur.append(c);
        }
    }
    parts.append(cur);
    return parts;
}

bool ParseLine(const QByteArray& line, Property& p)
{
    bool quoted = false;
    int colon = -1;
    for (int i = 0; i < line.size(); ++i) {
        if (line.at(i) == '"')
            quoted = !quoted;
        else if (line.at(i) == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return false;
    const QList<QByteArray> head = SplitOutsideQuotes(line.left(colon), ';');
    QByteArray name = head.first().trimmed().toUpper();
    const int dot = name.lastIndexOf('.');
    if (dot >= 0)
        name = name.mid(dot + 1); // "item1.EMAIL" (a group)
    p.name = name;
    p.params.clear();
    for (int i = 1; i < head.size(); ++i) {
        const QByteArray& param = head.at(i);
        const int eq = param.indexOf('=');
        QByteArray key = (eq < 0 ? param : param.left(eq)).trimmed().toUpper();
        QByteArray value = eq < 0 ? QByteArray() : param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        p.params.append({key, value});
    }
    p.value = line.mid(colon + 1);
    return true;
}

// The logical lines of the text: CRLF or LF ends, folded lines joined (a
// line starting with a blank or a tab continues the previous one), and the
// soft line breaks of quoted-printable values (a line ending with "=").
QList<QByteArray> LogicalLines(const QByteArray& text)
{
    QList<QByteArray> physical = text.split('\n');
    QList<QByteArray> lines;
    bool qpContinues = false;
    for (QByteArray l : physical) {
        if (l.endsWith('\r'))
            l.chop(1);
        if (qpContinues && !lines.isEmpty()) {
            lines.last().chop(1); // the "=" of the soft break
            lines.last().append(l.startsWith(' ') || l.startsWith('\t') ? l.mid(1) : l);
        } else if ((l.startsWith(' ') || l.startsWith('\t')) && !lines.isEmpty()) {
            lines.last().append(l.mid(1));
        } else {
            lines.append(l);
        }
        const QByteArray& cur = lines.last();
        const int colon = cur.indexOf(':');
        qpContinues = cur.endsWith('=') && colon > 0 &&
                      cur.left(colon).toUpper().contains("QUOTED-PRINTABLE");
    }
    return lines;
}

// Splits a structured value at unescaped separators, keeping the escapes.
QList<QByteArray> SplitUnescaped(const QByteArray& value, char sep)
{
    QList<QByteArray> parts;
    QByteArray cur;
    for (int i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (c == '\\' && i + 1 < value.size()) {
            cur.append(c);
            cur.append(value.at(++i));
        } else if (c == sep) {
            parts.append(cur);
            cur.clear();
        } else {
            cur.append(c);
        }
    }
    parts.append(cur);
    return parts;
}

QByteArray Unescape(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (c == '\\' && i + 1 < value.size()) {
            const char n = value.at(++i);
            out.append(n == 'n' || n == 'N' ? '\n' : n);
        } else {
            out.append(c);
        }
    }
    return out;
}

// The property's bytes as text: quoted-printable decoded, then the charset
// named by CHARSET= (UTF-8 when none or unknown).
QString Decode(const Property& p, const QByteArray& bytes)
{
    QByteArray raw = bytes;
    if (p.Param("ENCODING").toUpper() == "QUOTED-PRINTABLE" || p.HasType("QUOTED-PRINTABLE"))
        raw = DecodeQuotedPrintable(raw);
    const QByteArray charset = p.Param("CHARSET");
    if (!charset.isEmpty() && charset.toUpper() != "UTF-8") {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(raw);
    }
    return QString::fromUtf8(raw);
}

// One line of text: line breaks and other controls become blanks.
QString SingleLine(const QString& s)
{
    QString out = s;
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return out.simplified().isEmpty() ? QString() : out.trimmed();
}

QString TextValue(const Property& p)
{
    return Decode(p, Unescape(p.value));
}

// Joins the values of one N component ("Ann,Marie" holds two names).
QString NamePart(const Property& p, const QByteArray& component)
{
    QStringList names;
    for (const QByteArray& piece : SplitUnescaped(component, ','))
        names.append(SingleLine(Decode(p, Unescape(piece))));
    names.removeAll(QString());
    return names.join(QLatin1Char(' '));
}

QByteArray Utf8Field(const QString& s)
{
    return SingleLine(s).toUtf8();
}

struct CardState
{
    bool haveN = false;
    QString given, family, formatted, org;
    QList<QByteArray> emails;
    QByteArray tel, url, messenger;
    bool telPreferred = false;
    QString note;
};

void Apply(const Property& p, CardState& s)
{
    if (p.name == "N") {
        const QList<QByteArray> parts = SplitUnescaped(p.value, ';');
        s.haveN = true;
        s.family = NamePart(p, parts.value(0));
        QString given = NamePart(p, parts.value(1));
        const QString additional = NamePart(p, parts.value(2));
        if (!additional.isEmpty())
            given = (given + QLatin1Char(' ') + additional).trimmed();
        s.given = given;
    } else if (p.name == "FN") {
        s.formatted = SingleLine(TextValue(p));
    } else if (p.name == "ORG") {
        s.org = NamePart(p, SplitUnescaped(p.value, ';').value(0));
    } else if (p.name == "EMAIL") {
        QByteArray address = Utf8Field(TextValue(p));
        if (address.toLower().startsWith("mailto:"))
            address = address.mid(7);
        if (!address.isEmpty() && !s.emails.contains(address))
            s.emails.append(address);
    } else if (p.name == "TEL") {
        QByteArray tel = Utf8Field(TextValue(p));
        if (tel.toLower().startsWith("tel:"))
            tel = tel.mid(4);
        const bool preferred = p.HasType("PREF") || p.Param("PREF") == "1";
        if (!tel.isEmpty() && (s.tel.isEmpty() || (preferred && !s.telPreferred))) {
            s.tel = tel;
            s.telPreferred = preferred;
        }
    } else if (p.name == "URL") {
        if (s.url.isEmpty())
            s.url = Utf8Field(TextValue(p));
    } else if (p.name == "IMPP" || p.name == "X-JABBER" || p.name == "X-SKYPE" ||
               p.name == "X-SKYPE-USERNAME" || p.name == "X-ICQ" || p.name == "X-AIM" ||
               p.name == "X-MSN" || p.name == "X-YAHOO") {
        if (s.messenger.isEmpty())
            s.messenger = Utf8Field(TextValue(p));
    } else if (p.name == "NOTE") {
        s.note = TextValue(p);
    }
}

std::unique_ptr<Contact> ToContact(const CardState& s)
{
    auto c = std::make_unique<Contact>();
    if (s.haveN && !(s.given.isEmpty() && s.family.isEmpty())) {
        c->firstName = s.given;
        c->lastName = s.family;
    } else if (!s.formatted.isEmpty()) {
        c->lastName = s.formatted;
    } else {
        c->lastName = s.org;
    }
    for (const QByteArray& e : s.emails)
        c->emails.Add(e);
    c->telephone = s.tel;
    c->webSite = s.url;
    c->messenger = s.messenger;
    return c;
}

QByteArray Escape(const QString& text)
{
    QByteArray out;
    for (char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out.append("\\\\");
            break;
        case ',':
            out.append("\\,");
            break;
        case ';':
            out.append("\\;");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

// Folds a content line at 75 octets, never inside a UTF-8 sequence; each
// continuation line starts with a blank.
QByteArray Folded(const QByteArray& line)
{
    QByteArray out;
    int start = 0;
    int limit = 75;
    while (line.size() - start > limit) {
        int cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(line.at(cut)) & 0xC0) == 0x80)
            --cut;
        out.append(line.mid(start, cut - start));
        out.append("\r\n ");
        start = cut;
        limit = 74;
    }
    out.append(line.mid(start));
    out.append("\r\n");
    return out;
}

} // namespace

std::vector<VCardContact> ReadVCards(const QByteArray& text)
{
    std::vector<VCardContact> cards;
    bool inCard = false;
    CardState state;
    Property p;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.mid(3);
    for (const QByteArray& line : LogicalLines(body)) {
        if (!ParseLine(line, p))
            continue;
        const QByteArray value = p.value.trimmed().toUpper();
        if (p.name == "BEGIN" && value == "VCARD") {
            inCard = true;
            state = CardState();
            continue;
        }
        if (!inCard)
            continue;
        if (p.name == "END" && value == "VCARD") {
            inCard = false;
            std::unique_ptr<Contact> c = ToContact(state);
            if (c->DisplayName().isEmpty() && c->emails.Count() == 0)
                continue;
            cards.push_back(VCardContact{std::move(c), state.note});
            continue;
        }
        Apply(p, state);
    }
    return cards;
}

QByteArray WriteVCard(const Contact& contact, VCardVersion version, const QString& note)
{
    const bool v4 = version == VCardVersion::V4;
    QByteArray out;
    out += Folded("BEGIN:VCARD");
    out += Folded(v4 ? "VERSION:4.0" : "VERSION:3.0");
    out += Folded("FN:" + Escape(contact.DisplayName()));
    out += Folded("N:" + Escape(contact.lastName) + ';' + Escape(contact.firstName) + ";;;");
    for (int i = 0; i < contact.emails.Count(); ++i)
        out += Folded((v4 ? "EMAIL:" : "EMAIL;TYPE=INTERNET:") +
                      Escape(QString::fromUtf8(contact.emails.At(i))));
    if (!contact.telephone.isEmpty())
        out += Folded("TEL:" + Escape(QString::fromUtf8(contact.telephone)));
    if (!contact.webSite.isEmpty())
        out += Folded("URL:" + Escape(QString::fromUtf8(contact.webSite)));
    if (!contact.messenger.isEmpty())
        out += Folded("IMPP:" + Escape(QString::fromUtf8(contact.messenger)));
    if (!note.isEmpty())
        out += Folded("NOTE:" + Escape(note));
    out += Folded("END:VCARD");
    return out;
}

QByteArray WriteVCards(const AddressBook& book, VCardVersion version)
{
    QByteArray out;
    for (int i = 0; i < book.Count(); ++i)
        if (const Contact* c = book.At(i))
            out += WriteVCard(*c, version);
    return out;
}

} // namespace vm
