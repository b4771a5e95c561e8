#include "addressbook/VCard.h"

#include <QHash>
#include <QSet>
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
// The colon that ends a line's name and parameters is searched only in what
// was appended since the last search, so a property folded over megabytes
// unfolds in linear time.
QList<QByteArray> LogicalLines(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype colon = -1;   // in lines.last(); -1 while none was found
    qsizetype searched = 0; // lines.last() holds no colon before this
    bool quotedPrintable = false;
    bool qpContinues = false;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype nl = text.indexOf('\n', pos);
        if (nl < 0)
            nl = text.size();
        qsizetype lineEnd = nl;
        if (lineEnd > pos && text.at(lineEnd - 1) == '\r')
            --lineEnd;
        const char* l = text.constData() + pos;
        const qsizetype length = lineEnd - pos;
        const bool folded = length > 0 && (l[0] == ' ' || l[0] == '\t');
        if (qpContinues && !lines.isEmpty()) {
            lines.last().chop(1); // the "=" of the soft break
            lines.last().append(folded ? l + 1 : l, folded ? length - 1 : length);
        } else if (folded && !lines.isEmpty()) {
            lines.last().append(l + 1, length - 1);
        } else {
            lines.append(QByteArray(l, length));
            colon = -1;
            searched = 0;
            quotedPrintable = false;
        }
        const QByteArray& cur = lines.last();
        if (colon < 0) {
            colon = cur.indexOf(':', searched);
            searched = cur.size();
            if (colon > 0)
                quotedPrintable = cur.left(colon).toUpper().contains("QUOTED-PRINTABLE");
        }
        qpContinues = quotedPrintable && cur.endsWith('=');
        pos = nl + 1;
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
    QSet<QByteArray> emailSet; // the same addresses, for the duplicate check
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
        if (!address.isEmpty() && !s.emailSet.contains(address)) {
            s.emailSet.insert(address);
            s.emails.append(address);
        }
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

VCardImportResult ImportVCards(
    AddressBook& book, const std::vector<VCardContact>& cards,
    const std::function<bool(const QByteArray& address)>& acceptAddress,
    const std::function<void(const QByteArray& address, const QString& name)>& leftOut)
{
    VCardImportResult result;
    // Built once: the entry each display name stands for (the first one of
    // the book with it, or the one a card added), and the addresses of the
    // entries cards went into.
    QHash<QString, Contact*> byName;
    for (int i = 0; i < book.Count(); ++i)
        if (Contact* c = book.At(i); c && !byName.contains(c->DisplayName()))
            byName.insert(c->DisplayName(), c);
    QHash<Contact*, QSet<QByteArray>> held;
    for (const VCardContact& card : cards) {
        const Contact& in = *card.contact;
        if (!card.note.trimmed().isEmpty())
            ++result.notes;
        const QString name = in.DisplayName();
        QList<QByteArray> addresses;
        for (int i = 0; i < in.emails.Count(); ++i) {
            const QByteArray a = in.emails.At(i);
            if (acceptAddress(a))
                addresses.append(a);
            else if (leftOut)
                leftOut(a, name);
        }
        if (name.isEmpty() && addresses.isEmpty())
            continue;
        Contact* entry = name.isEmpty() ? nullptr : byName.value(name);
        if (!entry) {
            entry = new Contact;
            entry->firstName = in.firstName;
            entry->lastName = in.lastName;
            book.Add(entry);
            if (!name.isEmpty())
                byName.insert(name, entry);
            ++result.added;
        } else {
            ++result.updated;
        }
        auto known = held.find(entry);
        if (known == held.end()) {
            QSet<QByteArray> addressesOfEntry;
            for (int i = 0; i < entry->emails.Count(); ++i)
                addressesOfEntry.insert(entry->emails.At(i));
            known = held.insert(entry, addressesOfEntry);
        }
        for (const QByteArray& a : addresses) {
            if (!known->contains(a)) {
                known->insert(a);
                entry->emails.Add(a);
            }
        }
        if (entry->telephone.isEmpty())
            entry->telephone = in.telephone;
        if (entry->messenger.isEmpty())
            entry->messenger = in.messenger;
        if (entry->webSite.isEmpty())
            entry->webSite = in.webSite;
    }
    return result;
}

} // namespace vm
