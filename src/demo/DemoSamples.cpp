#include "demo/DemoSamples.h"

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <array>

namespace vm {

namespace {

quint32 Crc32(const QByteArray& data, quint32 crc = 0)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (char ch : data)
        crc = table[(crc ^ quint8(ch)) & 0xff] ^ (crc >> 8);
    return ~crc;
}

void PutBe32(QByteArray& out, quint32 v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((v >> shift) & 0xff);
}

void PutLe(QByteArray& out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xff);
}

// Lines ended by CR LF, whatever the source used.
QByteArray Crlf(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '\n' && (i == 0 || text.at(i - 1) != '\r'))
            out += '\r';
        out += text.at(i);
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out;
}

QByteArray Base64Lines(const QByteArray& data)
{
    const QByteArray b64 = data.toBase64();
    QByteArray out;
    out.reserve(b64.size() + b64.size() / 38 + 2);
    for (qsizetype i = 0; i < b64.size(); i += 76)
        out += b64.mid(i, 76) + "\r\n";
    return out;
}

QByteArray Date(const QDateTime& when)
{
    return when.toString(Qt::RFC2822Date).toLatin1();
}

QByteArray Mailbox(const QString& name, const QByteArray& address)
{
    bool ascii = true;
    for (QChar c : name)
        ascii = ascii && c.unicode() < 128;
    const QByteArray shown = ascii ? '"' + name.toLatin1() + '"' : EncodedWord(name);
    return shown + " <" + address + '>';
}

QByteArray To(const DemoRecipient& to)
{
    return Mailbox(QString::fromUtf8(to.name), to.address);
}

// The common header lines of a sample; extra holds further ones (each
// ending in a line break).
QByteArray Head(const QByteArray& from, const DemoRecipient& to, const QByteArray& subject,
                const QDateTime& when, const QByteArray& id, const QByteArray& extra = {})
{
    return "From: " + from + "\nTo: " + To(to) + "\nSubject: " + subject + "\nDate: " + Date(when) +
           "\nMessage-ID: <" + id + "@demo.invalid>\nMIME-Version: 1.0\n" + extra;
}

QByteArray TextPart(const QString& text, const QByteArray& subtype = "plain")
{
    return "Content-Type: text/" + subtype +
           "; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + text.toUtf8() + '\n';
}

QByteArray Attachment(const QByteArray& type, const QByteArray& fileName, const QByteArray& data,
                      const QByteArray& disposition = "attachment", const QByteArray& cid = {})
{
    QByteArray part = "Content-Type: " + type + "; name=\"" + fileName +
                      "\"\nContent-Transfer-Encoding: base64\nContent-Disposition: " + disposition +
                      "; filename=\"" + fileName + "\"\n";
    if (!cid.isEmpty())
        part += "Content-ID: <" + cid + ">\n";
    return part + '\n' + Base64Lines(data);
}

QByteArray Multipart(const QByteArray& subtype, const QByteArray& boundary,
                     const QList<QByteArray>& parts)
{
    QByteArray out = "Content-Type: multipart/" + subtype + "; boundary=\"" + boundary +
                     "\"\n\nThis is a message in MIME format.\n";
    for (const QByteArray& p : parts)
        out += "\n--" + boundary + '\n' + p;
    return out + "\n--" + boundary + "--\n";
}

QByteArray DemoPdf(const QString& title)
{
    // A one-page PDF; the cross-reference offsets are counted as it is built.
    const QByteArray stream = "BT /F1 18 Tf 72 720 Td (" + title.toLatin1() + ") Tj ET";
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream +
            "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype off : offsets)
        pdf += QByteArray::number(off).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray Sample(const QByteArray& head, const QByteArray& body)
{
    return Crlf(head + body);
}

} // namespace

QByteArray EncodedWord(const QString& text)
{
    // RFC 2047 "B" words of at most 75 characters, split between whole
    // characters, folded onto continuation lines.
    QList<QByteArray> words;
    QByteArray chunk;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size();) {
        qsizetype len = 1;
        while (i + len < utf8.size() && (quint8(utf8.at(i + len)) & 0xC0) == 0x80)
            ++len;
        if (chunk.size() + len > 39) {
            words.append("=?UTF-8?B?" + chunk.toBase64() + "?=");
            chunk.clear();
        }
        chunk += utf8.mid(i, len);
        i += len;
    }
    if (!chunk.isEmpty() || words.isEmpty())
        words.append("=?UTF-8?B?" + chunk.toBase64() + "?=");
    return words.join("\n ");
}

QByteArray DemoPng(int width, int height, quint32 seed)
{
    // Truecolour, no interlace; each row starts with filter type 0.
    QByteArray raw;
    raw.reserve((width * 3 + 1) * height);
    QRandomGenerator noise(seed);
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            raw += char((x * 255) / std::max(1, width - 1));
            raw += char((y * 255) / std::max(1, height - 1));
            raw += char((((seed & 0xff) + quint32(x * y)) ^ noise.bounded(32)) & 0xff);
        }
    }
    auto chunk = [](QByteArray& out, const QByteArray& type, const QByteArray& data) {
        PutBe32(out, quint32(data.size()));
        out += type + data;
        PutBe32(out, Crc32(type + data));
    };
    QByteArray ihdr;
    PutBe32(ihdr, quint32(width));
    PutBe32(ihdr, quint32(height));
    ihdr += QByteArray("\x08\x02\x00\x00\x00", 5);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", qCompress(raw, 9).mid(4)); // qCompress puts a length before the zlib stream
    chunk(png, "IEND", {});
    return png;
}

QByteArray DemoZip(const QByteArray& fileName, const QByteArray& content)
{
    // One stored (uncompressed) entry.
    const quint32 crc = Crc32(content);
    QByteArray local("PK\x03\x04", 4);
    PutLe(local, 10, 2); // version needed
    PutLe(local, 0, 2);  // flags
    PutLe(local, 0, 2);  // stored
    PutLe(local, 0, 4);  // time and date
    PutLe(local, crc, 4);
    PutLe(local, quint32(content.size()), 4);
    PutLe(local, quint32(content.size()), 4);
    PutLe(local, quint32(fileName.size()), 2);
    PutLe(local, 0, 2);
    local += fileName + content;
    QByteArray central("PK\x01\x02", 4);
    PutLe(central, 20, 2); // made by
    PutLe(central, 10, 2);
    PutLe(central, 0, 2);
    PutLe(central, 0, 2);
    PutLe(central, 0, 4);
    PutLe(central, crc, 4);
    PutLe(central, quint32(content.size()), 4);
    PutLe(central, quint32(content.size()), 4);
    PutLe(central, quint32(fileName.size()), 2);
    PutLe(central, 0, 2); // extra
    PutLe(central, 0, 2); // comment
    PutLe(central, 0, 2); // disk
    PutLe(central, 0, 2); // internal attributes
    PutLe(central, 0, 4); // external attributes
    PutLe(central, 0, 4); // offset of the local header
    central += fileName;
    QByteArray end("PK\x05\x06", 4);
    PutLe(end, 0, 4);
    PutLe(end, 1, 2);
    PutLe(end, 1, 2);
    PutLe(end, quint32(central.size()), 4);
    PutLe(end, quint32(local.size()), 4);
    PutLe(end, 0, 2);
    return local + central + end;
}

QList<DemoSample> DemoMainSamples(const DemoRecipient& to, const QDateTime& now,
                                  const QByteArray& webBase)
{
    const QString web = QString::fromLatin1(webBase);
    QList<DemoSample> s;
    auto ago = [&](int minutes) { return now.addSecs(-60 * qint64(minutes)); };

    s.append(
        {"sample-welcome",
         Sample(Head(Mailbox(QStringLiteral("Velmora Demo"), "hello@demo.invalid"), to,
                     "Welcome to the Velmora demo", ago(5), "welcome"),
                TextPart(
                    QStringLiteral(
                        "Hello,\n\n"
                        "this mailbox lives on a small POP3 server inside Velmora itself; nothing\n"
                        "leaves your computer. Try these:\n\n"
                        " * select a message to see it in the preview pane;\n"
                        " * remove messages on the server without downloading them;\n"
                        " * reply to a message and send it to %1: the demo's SMTP\n"
                        "   server delivers it here, and the next check shows it;\n"
                        " * wait a few minutes: new mail arrives now and then.\n\n"
                        "The second account reads its mail over TLS with a certificate made\n"
                        "when the demo started.\n\n"
                        "-- \nThe Velmora demo\n")
                        .arg(QString::fromLatin1(to.address))))});

    const QByteArray html = TextPart(
        QStringLiteral("<html><body style=\"font-family: sans-serif\">\n"
                       "<h2 style=\"color:#2a6f97\">Gr&uuml;&szlig;e aus M&uuml;nchen!</h2>\n"
                       "<p>Hallo, hier sind zwei Bilder von unserem Ausflug:</p>\n"
                       "<p><img src=\"cid:berge@demo.invalid\" alt=\"Berge\" width=\"160\">\n"
                       "<img src=\"cid:see@demo.invalid\" alt=\"See\" width=\"160\"></p>\n"
                       "<p>Viele Gr&uuml;&szlig;e,<br><b>J&uuml;rgen</b></p>\n"
                       "</body></html>"),
        "html");
    s.append({"sample-html-inline",
              Sample(Head(Mailbox(QStringLiteral("Jürgen Müller"), "juergen.mueller@demo.invalid"),
                          to, EncodedWord(QStringLiteral("Grüße aus München – mit Bildern")),
                          ago(40), "muenchen"),
                     Multipart("related", "rel-1",
                               {Multipart("alternative", "alt-1",
                                          {TextPart(QStringLiteral(
                                               "Grüße aus München!\n\nHallo, hier sind zwei Bilder "
                                               "von unserem Ausflug.\n\nViele Grüße,\nJürgen")),
                                           html}),
                                Attachment("image/png", "berge.png", DemoPng(160, 100, 7), "inline",
                                           "berge@demo.invalid"),
                                Attachment("image/png", "see.png", DemoPng(160, 100, 0x1ab),
                                           "inline", "see@demo.invalid")}))});

    s.append(
        {"sample-newsletter",
         Sample(
             Head(Mailbox(QStringLiteral("Gadget Weekly"), "news@demo.invalid"), to,
                  "Gadget Weekly: the ten best keyboards of the year", ago(95), "newsletter",
                  "List-Unsubscribe: <" + webBase + "/unsubscribe>\n"),
             TextPart(
                 QStringLiteral(
                     "<html><body style=\"font-family: sans-serif; background: #f4f4f4\">\n"
                     "<table width=\"600\" align=\"center\" style=\"background: white\"><tr><td>\n"
                     "<img src=\"%1/newsletter/banner.png\" width=\"600\" "
                     "height=\"120\" alt=\"Gadget Weekly\">\n"
                     "<h1>The ten best keyboards of the year</h1>\n"
                     "<p>The pictures of this letter are on a web server. Velmora does not load "
                     "them unless you ask, so the sender cannot see that you read it.</p>\n"
                     "<p><img src=\"%1/newsletter/keyboard.png\" width=\"280\" "
                     "height=\"180\" alt=\"A keyboard\">\n"
                     "<img src=\"%1/track/open.gif?id=12345\" width=\"1\" "
                     "height=\"1\" alt=\"\"></p>\n"
                     "<p><a href=\"%1/newsletter/read\">Read on the web</a></p>\n"
                     "</td></tr></table></body></html>")
                     .arg(web),
                 "html"))});

    s.append(
        {"sample-polish",
         Sample(Head(Mailbox(QStringLiteral("Łucja Wąsowska"), "lucja@demo.invalid"), to,
                     EncodedWord(QStringLiteral("Zażółć gęślą jaźń — spotkanie w piątek")),
                     ago(130), "polski"),
                TextPart(QStringLiteral("Cześć!\n\nSpotykamy się w piątek o 18:00 w kawiarni "
                                        "przy Rynku. Będą też Józef i Małgorzata.\n\nPozdrawiam,\n"
                                        "Łucja\n")))});

    s.append({"sample-russian",
              Sample(Head(Mailbox(QStringLiteral("Дмитрий Соколов"), "dmitry@demo.invalid"), to,
                          EncodedWord(QStringLiteral("Отчёт за квартал и планы на весну")),
                          ago(180), "russian"),
                     TextPart(QStringLiteral("Добрый день!\n\nВо вложении — отчёт за квартал. "
                                             "Обсудим его на встрече во вторник.\n\nС уважением,\n"
                                             "Дмитрий\n")))});

    s.append({"sample-greek",
              Sample(Head(Mailbox(QStringLiteral("Ελένη Παπαδοπούλου"), "eleni@demo.invalid"), to,
                          EncodedWord(QStringLiteral("Καλημέρα από την Αθήνα")), ago(240), "greek"),
                     TextPart(QStringLiteral("Γεια σου!\n\nΟ καιρός στην Αθήνα είναι υπέροχος. "
                                             "Πότε θα έρθεις;\n\nΦιλιά,\nΕλένη\n")))});

    s.append({"sample-japanese",
              Sample(Head(Mailbox(QStringLiteral("山田 花子"), "hanako@demo.invalid"), to,
                          EncodedWord(QStringLiteral("会議の資料について")), ago(300), "japanese"),
                     TextPart(QStringLiteral("お疲れ様です。\n\n明日の会議の資料を共有します。"
                                             "ご確認ください。\n\n山田\n")))});

    // The one header written in raw UTF-8, as some servers and programs do.
    s.append({"sample-emoji",
              Sample(Head(Mailbox(QStringLiteral("Party Crew 🎈"), "party@demo.invalid"), to,
                          QStringLiteral("🎉 Pizza party on Friday 🍕🥤").toUtf8(), ago(360),
                          "emoji"),
                     TextPart(QStringLiteral("Bring your appetite! 😋\n\nVotes for toppings: 🍍 or "
                                             "🚫🍍?\n")))});

    const QByteArray notes =
        QStringLiteral("Meeting notes\n=============\n\n1. Budget approved.\n2. Launch moves to "
                       "May.\n3. Café order: größer, bitte.\n")
            .toUtf8();
    s.append(
        {"sample-attachments",
         Sample(Head(Mailbox(QStringLiteral("Anna Schmidt"), "anna@demo.invalid"), to,
                     "Documents for Tuesday's meeting", ago(420), "attachments"),
                Multipart(
                    "mixed", "mix-1",
                    {TextPart(QStringLiteral("Hi,\n\nhere are the agenda (PDF), the chart "
                                             "(PNG), my notes and the whole folder as a "
                                             "ZIP file.\n\nAnna\n")),
                     Attachment("application/pdf", "agenda.pdf",
                                DemoPdf(QStringLiteral("Agenda for Tuesday"))),
                     Attachment("image/png", "chart.png", DemoPng(240, 120, 42)),
                     Attachment("text/plain; charset=UTF-8", "notes.txt", notes),
                     Attachment("application/zip", "meeting.zip", DemoZip("notes.txt", notes))}))});

    // Noise compresses badly, which keeps the message large as sent.
    QByteArray photo;
    photo.resize(kDemoLargeAttachmentBytes);
    QRandomGenerator noise(2026);
    noise.fillRange(reinterpret_cast<quint32*>(photo.data()), photo.size() / 4);
    s.append({"sample-large",
              Sample(Head(Mailbox(QStringLiteral("Photo Archive"), "photos@demo.invalid"), to,
                          "Your photo archive (large message)", ago(500), "large"),
                     Multipart("mixed", "mix-2",
                               {TextPart(QStringLiteral(
                                    "This message is larger than the demo's download limit, so "
                                    "a check keeps only its header. Retrieve it whole from the "
                                    "message list's menu.\n")),
                                Attachment("application/octet-stream", "archive.bin", photo)}))});

    s.append({"sample-urgent",
              Sample(Head(Mailbox(QStringLiteral("Operations"), "ops@demo.invalid"), to,
                          "URGENT: the build server is down", ago(20), "urgent",
                          "X-Priority: 1 (Highest)\nImportance: High\n"),
                     TextPart(QStringLiteral("The build server stopped answering at 07:12. "
                                             "Please have a look.\n")))});

    s.append({"sample-low-priority",
              Sample(Head(Mailbox(QStringLiteral("Canteen"), "canteen@demo.invalid"), to,
                          "Canteen menu for next week", ago(600), "canteen",
                          "X-Priority: 5 (Lowest)\nImportance: Low\n"),
                     TextPart(QStringLiteral("Monday: soup\nTuesday: pasta\nWednesday: curry\n"
                                             "Thursday: fish\nFriday: pizza\n")))});

    s.append({"sample-receipt",
              Sample(Head(Mailbox(QStringLiteral("Paul Martin"), "paul@demo.invalid"), to,
                          "Contract draft - please confirm you received it", ago(660), "receipt",
                          "Disposition-Notification-To: Paul Martin <paul@demo.invalid>\n"),
                     TextPart(QStringLiteral("Hello,\n\nplease confirm that this draft reached "
                                             "you.\n\nPaul\n")))});

    // A thread of six messages; the newest is the one to reply to.
    struct Post
    {
        const char* name;
        const char* address;
        const char* text;
    };
    const Post posts[] = {
        {"Maria Rossi", "maria@demo.invalid",
         "Shall we plan the summer release? I suggest the first week of July."},
        {"Tom Baker", "tom@demo.invalid",
         "July is fine for me, but the translations need two weeks."},
        {"Maria Rossi", "maria@demo.invalid", "Then the texts must be final by mid-June."},
        {"Kenji Sato", "kenji@demo.invalid", "I can prepare the release notes in the meantime."},
        {"Tom Baker", "tom@demo.invalid", "Great. Who tests the installers?"},
        {"Maria Rossi", "maria@demo.invalid",
         "Could you take the installers? Just reply to this message to confirm."},
    };
    QByteArray references;
    QByteArray quoted;
    for (int i = 0; i < 6; ++i) {
        const QByteArray id = "thread-" + QByteArray::number(i + 1);
        QByteArray extra;
        if (i > 0)
            extra = "In-Reply-To: <thread-" + QByteArray::number(i) +
                    "@demo.invalid>\nReferences:" + references + '\n';
        references += " <" + id + "@demo.invalid>";
        const QString body = QString::fromUtf8(posts[i].text) + "\n\n" + QString::fromUtf8(quoted);
        quoted = "> " + QByteArray(posts[i].text) + '\n' + (quoted.isEmpty() ? "" : ">" + quoted);
        s.append(
            {"sample-" + id,
             Sample(Head(Mailbox(QString::fromLatin1(posts[i].name), posts[i].address), to,
                         i == 0 ? "Planning the summer release" : "Re: Planning the summer release",
                         ago(1500 - i * 200), id, extra),
                    TextPart(body))});
    }
    return s;
}

QList<DemoSample> DemoSecondSamples(const DemoRecipient& to, const QDateTime& now)
{
    return {
        {"second-welcome",
         Sample(Head(Mailbox(QStringLiteral("Velmora Demo"), "hello@demo.invalid"), to,
                     "This account reads its mail over TLS", now.addSecs(-600), "second-welcome"),
                TextPart(QStringLiteral(
                    "This account logs in with APOP on a TLS connection. The demo server's "
                    "certificate was made when the demo started; the demo trusts it for this "
                    "server and port only (see certificates.ini in the data directory).\n")))},
        {"second-invoice",
         Sample(Head(Mailbox(QStringLiteral("Billing"), "billing@demo.invalid"), to,
                     "Invoice 2026-0415", now.addSecs(-7200), "second-invoice"),
                Multipart("mixed", "mix-3",
                          {TextPart(QStringLiteral("Please find the invoice attached.\n")),
                           Attachment("application/pdf", "invoice.pdf",
                                      DemoPdf(QStringLiteral("Invoice 2026-0415")))}))},
    };
}

QByteArray DemoArrival(int n, const DemoRecipient& to, const QDateTime& now)
{
    struct Arrival
    {
        const char* name;
        const char* address;
        const char* subject;
        const char* text;
    };
    static const Arrival arrivals[] = {
        {"Maria Rossi", "maria@demo.invalid", "Coffee in five minutes?", "Kitchen, as usual."},
        {"Gadget Weekly", "news@demo.invalid", "Flash sale: headphones", "Only today."},
        {"Tom Baker", "tom@demo.invalid", "Installer test results", "All green on three systems."},
        {"Ελένη Παπαδοπούλου", "eleni@demo.invalid", "Φωτογραφίες από τις διακοπές",
         "Σου στέλνω τις φωτογραφίες σύντομα."},
        {"Łucja Wąsowska", "lucja@demo.invalid", "Przypomnienie: piątek!",
         "Nie zapomnij o piątku."},
    };
    const Arrival& a = arrivals[n % int(std::size(arrivals))];
    const QByteArray id =
        "arrival-" + QByteArray::number(now.toSecsSinceEpoch()) + '-' + QByteArray::number(n);
    return Sample(Head(Mailbox(QString::fromUtf8(a.name), a.address), to,
                       EncodedWord(QString::fromUtf8(a.subject)), now, id),
                  TextPart(QString::fromUtf8(a.text) + "\n"));
}

QByteArray DemoWebResource(const QByteArray& path, QByteArray& contentType)
{
    // The newsletter's pictures, its tracking pixel and its two pages.
    if (path == "/newsletter/banner.png") {
        contentType = "image/png";
        return DemoPng(600, 120, 0x5eed);
    }
    if (path == "/newsletter/keyboard.png") {
        contentType = "image/png";
        return DemoPng(280, 180, 0xbeef);
    }
    if (path.startsWith("/track/open.gif")) {
        contentType = "image/gif";
        static const unsigned char pixel[] = {
            'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0xff, 0xff, 0, 0, 0,
            '!', 0xf9, 4, 1, 0, 0, 0, 0, ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 'D', 1, 0, ';'};
        return QByteArray(reinterpret_cast<const char*>(pixel), sizeof pixel);
    }
    const auto page = [&contentType](const char* title, const char* text) {
        contentType = "text/html; charset=utf-8";
        return QByteArray("<!DOCTYPE html><html><head><title>") + title +
               "</title></head><body style=\"font-family: sans-serif\"><h1>" + title +
               "</h1><p>" + text + "</p></body></html>";
    };
    if (path == "/newsletter/read")
        return page("Gadget Weekly", "This is the web page of the demo's newsletter, served by "
                                     "the demo's own small web server on this computer.");
    if (path == "/unsubscribe")
        return page("Unsubscribed", "The demo's newsletter will not write again (it never "
                                    "really did).");
    return {};
}

} // namespace vm
