// Message pages written from parsed messages: which text is shown, the page
// texts, inline and attached pictures, the plain mode, the notice page, and
// that nothing a message says can write outside the page's folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "render/MessagePage.h"

using namespace vm;

namespace {

// The page texts, written out here on their own so that a change to the
// program's copies shows.
const QByteArray kHead =
    "<?xml version=\"1.0\" ?><!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    "\"DTD/xhtml1-transitional.dtd\"><html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"\" "
    "lang=\"\"><head><meta http-equiv=\"Content-type\" content=\"text/html; charset=";
const QByteArray kHeadEnd = "\" /><title></title></head><body style='font-size:12pt'>";

QByteArray Head(const QByteArray& charset)
{
    return kHead + charset + kHeadEnd + "\r\n";
}

MessageRecord Whole(const QByteArray& raw)
{
    MessageRecord m;
    m.raw = raw;
    m.headersOnly = false;
    m.ParseWhole();
    return m;
}

struct Part
{
    QByteArray headers; // without the blank line
    QByteArray body;
};

QByteArray Multipart(const QList<Part>& parts, const QByteArray& type = "multipart/mixed")
{
    QByteArray raw =
        "From: a@example.org\r\nSubject: s\r\nMIME-Version: 1.0\r\nContent-Type: " + type +
        "; boundary=\"BB\"\r\n\r\n";
    for (const Part& p : parts)
        raw += "--BB\r\n" + p.headers + "\r\n\r\n" + p.body + "\r\n";
    return raw + "--BB--\r\n";
}

QByteArray Single(const QByteArray& contentType, const QByteArray& body)
{
    return "From: a@example.org\r\nSubject: s\r\nMIME-Version: 1.0\r\nContent-Type: " +
           contentType + "\r\n\r\n" + body;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Readable and writable by its owner only.
bool OwnerOnly(const QString& path)
{
    return QFileInfo(path).permissions() == (QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ReadUser | QFileDevice::WriteUser);
}

class DefaultCharset
{
public:
    explicit DefaultCharset(int id) { SetDefaultIncomingCharset(id); }
    ~DefaultCharset() { SetDefaultIncomingCharset(saved_); }

private:
    int saved_ = DefaultIncomingCharset();
};

class MessagePage : public ::testing::Test
{
protected:
    QString Folder() const { return dir.path(); }
    QStringList FilesInFolder() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    PageOptions noPictures{true, false};
    PageOptions pictureFiles{true, true, 0}; // every picture as a file beside the page
};

const Part kPlainA{"Content-Type: text/plain; charset=us-ascii", "first"};
const Part kPlainB{"Content-Type: text/plain; charset=iso-8859-2", "second\r\nline"};
const Part kHtmlA{"Content-Type: text/html; charset=us-ascii", "<b>one</b>"};
const Part kHtmlB{"Content-Type: text/html; charset=utf-8", "<i>two</i>"};

} // namespace

TEST_F(MessagePage, PagesHoldTheTextTheMessageKindAsksFor)
{
    const DefaultCharset latin2(CharsetIdFromName(QByteArray("iso-8859-2")));
    const QByteArray defaultName = CharsetName(DefaultIncomingCharset()).toLatin1();
    const struct
    {
        const char* what;
        QByteArray raw;
        QByteArray page;
    } cases[] = {
        {"plain single part with a link",
         Single("text/plain; charset=koi8-r", "Hi www.x.org\r\n\r\nBye\r\n"),
         Head("koi8-r") + "Hi <a href=\"http://www.x.org\">www.x.org</a><br />\r\n<br />\r\n"
                          "Bye<br />\r\n</body></html>\r\n"},
        {"no charset: the incoming default", Single("text/plain", "x"),
         Head(defaultName) + "x<br />\r\n</body></html>\r\n"},
        {"two plain parts: a rule between, the last part's charset", Multipart({kPlainA, kPlainB}),
         Head("iso-8859-2") + "first<br />\r\n<br /><hr></hr><br />\r\nsecond<br />\r\n"
                              "line<br />\r\n</body></html>\r\n"},
        {"two HTML parts joined without a rule", Multipart({kHtmlA, kPlainA, kHtmlB}),
         Head("utf-8") + "<b>one</b>\r\n<i>two</i>\r\n</body></html>\r\n"},
        {"an HTML part beside an attachment named .html is still HTML",
         Multipart({kHtmlA, {"Content-Type: text/html; name=\"a.html\"", "<p>no</p>"}}),
         Head("us-ascii") + "<b>one</b>\r\n</body></html>\r\n"},
        {"HTML with its own charset and <body> comes without the frame",
         Single("text/html", "<html><head><META CHARSET=\"utf-8\"></head><BODY>x</BODY></html>"),
         "<html><head><META CHARSET=\"utf-8\"></head><BODY>x</BODY></html>\r\n"},
        {"HTML with <body> but no charset gets the frame",
         Single("text/html; charset=utf-8", "<body>x</body>"),
         Head("utf-8") + "<body>x</body>\r\n</body></html>\r\n"},
        {"HTML without text: frame without charset", Single("text/html", ""),
         Head("") + "</body></html>\r\n"},
        {"a charset that is not a plain name falls back to the default",
         Single("text/plain; charset=\"x\\\"><script>alert(1)</script>\"", "y"),
         Head(defaultName) + "y<br />\r\n</body></html>\r\n"},
        {"a Windows code page gets the label browsers know",
         Single("text/plain; charset=Windows1250", "y"),
         Head("windows-1250") + "y<br />\r\n</body></html>\r\n"},
        {"a charset past 64 characters falls back to the default",
         Single("text/plain; charset=" + QByteArray(65, 'a'), "y"),
         Head(defaultName) + "y<br />\r\n</body></html>\r\n"},
    };
    for (const auto& c : cases) {
        MessagePageWriter writer(Folder(), "message1.html");
        const RenderedPage r = writer.Render(Whole(c.raw), noPictures);
        EXPECT_TRUE(r.html && r.written) << c.what;
        EXPECT_EQ(ReadAll(writer.PageFilePath()).toStdString(), c.page.toStdString()) << c.what;
    }
}

TEST_F(MessagePage, PlainModeShowsThePlainPartsDecoded)
{
    const struct
    {
        const char* what;
        QByteArray raw;
        QString text;
    } cases[] = {
        {"plain parts joined with CR LF, no rule, read in the last charset",
         Multipart({{"Content-Type: text/plain; charset=windows-1251", "\xEF\xF0\xE8"},
                    kHtmlA,
                    {"Content-Type: text/plain; charset=windows-1251", "\xE2\xE5\xF2\r\n!"}}),
         QString::fromUtf8("\xD0\xBF\xD1\x80\xD0\xB8\r\n\xD0\xB2\xD0\xB5\xD1\x82\r\n!")},
        {"an HTML-only message shows nothing", Multipart({kHtmlA, kHtmlB}), QString()},
        {"a single HTML part shows nothing", Single("text/html", "<b>x</b>"), QString()},
        {"a single plain part", Single("text/plain; charset=utf-8", "a\r\nb\r\n"), "a\r\nb"},
    };
    for (const auto& c : cases) {
        MessagePageWriter writer(Folder(), "message1.html");
        const RenderedPage r = writer.Render(Whole(c.raw), PageOptions{false, true});
        EXPECT_FALSE(r.html) << c.what;
        EXPECT_EQ(r.plainText, c.text) << c.what;
        EXPECT_TRUE(FilesInFolder().isEmpty()) << c.what;
    }
}

TEST_F(MessagePage, HeadersOnlyRecordsGiveNoText)
{
    MessageRecord m;
    m.raw = Single("text/plain", "");
    m.ParseHeaders();
    ASSERT_TRUE(m.headersOnly);
    EXPECT_TRUE(CollectText(m, true).lines.isEmpty());
    m.raw += "body\r\n";
    EXPECT_TRUE(CollectText(m, false).lines.isEmpty());
}

TEST_F(MessagePage, InlinePicturesAreSavedAndTheirReferencesReplaced)
{
    const QByteArray html = "<img src=\"cid:one@x\"><img src=cid:two><img src=\"cid:one@xy\">\r\n"
                            "cid:two cid:nothing cid:two cid:";
    const MessageRecord m = Whole(
        Multipart({{"Content-Type: text/html", html},
                   {"Content-Type: image/png; name=\"a.png\"\r\nContent-ID: <one@x>", "PNG-A"},
                   {"Content-Type: image/gif; name=\"b.gif\"\r\nContent-ID: two", "GIF-B"},
                   {"Content-Type: image/gif; name=\"c.gif\"\r\nContent-ID: <one@xy>", "GIF-C"},
                   {"Content-Type: application/pdf; name=\"d.pdf\"", "PDF"}},
                  "multipart/related"));
    MessagePageWriter writer(Folder(), "message1.html");
    const RenderedPage r = writer.Render(m, pictureFiles);
    ASSERT_TRUE(r.written);
    const QString f = Folder() + '/';
    EXPECT_EQ(writer.InlineFiles(), QStringList({f + "__a.png", f + "__b.gif", f + "__c.gif"}));
    EXPECT_EQ(writer.PictureFiles(), QStringList({f + "_a.png", f + "_b.gif", f + "_c.gif"}));
    const QByteArray ref = QUrl::toPercentEncoding(f, "/");
    const QByteArray pictures = "<br />\r\n"
                                "<hr></hr><p style='text-align:center'><img src=\"" +
                                ref +
                                "_a.png\" /></p>\r\n<hr></hr><p style='text-align:center'>"
                                "<img src=\"" +
                                ref +
                                "_b.gif\" /></p>\r\n<hr></hr><p style='text-align:center'>"
                                "<img src=\"" +
                                ref + "_c.gif\" /></p>\r\n";
    EXPECT_EQ(ReadAll(writer.PageFilePath()).toStdString(),
              (Head(CharsetName(DefaultIncomingCharset()).toLatin1()) + "<img src=\"" + ref +
               "__a.png\"><img src=" + ref + "__b.gif><img src=\"" + ref + "__c.gif\">\r\n" + ref +
               "__b.gif cid:nothing " + ref + "__b.gif cid:\r\n" + pictures + "</body></html>\r\n")
                  .toStdString());
    EXPECT_EQ(ReadAll(f + "__b.gif"), "GIF-B");
    EXPECT_EQ(ReadAll(f + "_c.gif"), "GIF-C");

    // A plain-text message saves no inline parts, only the pictures.
    const MessageRecord plain = Whole(Multipart(
        {kPlainA, {"Content-Type: image/png; name=\"a.png\"\r\nContent-ID: <one@x>", "PNG"}}));
    writer.Render(plain, pictureFiles);
    EXPECT_TRUE(writer.InlineFiles().isEmpty());
    EXPECT_EQ(writer.PictureFiles(), QStringList{f + "_a.png"});
    QStringList files = FilesInFolder();
    files.sort();
    EXPECT_EQ(files, QStringList({"_a.png", "message1.html"}));
}

// Where a "cid:" reference ends: at the quote, bracket, blank or other
// character that closes it in markup; "'" and "&" end it only when the id
// does not go on with them; an id percent-encoded in the link (RFC 2392) is
// found too. Ids here: "a", "ab", "x@y" and "o'k&1@y".
TEST_F(MessagePage, InlineReferencesEndWhereMarkupEndsThem)
{
    const struct
    {
        QByteArray line, expected; // {A}, {B}, {X}, {O}: the parts' pictures, inside the page
    } cases[] = {
        {"<img src=\"cid:a\"><img src='cid:ab'>", "<img src=\"{A}\"><img src='{B}'>"},
        {"style=\"background:url(cid:ab);x:url( cid:a )\"", "style=\"background:url({B});x:url( {A} )\""},
        {"<img src=cid:x@y alt=1><img src=cid:x%40y>", "<img src={X} alt=1><img src={X}>"},
        {"cid:a,cid:ab;cid:a&amp;cid:ab\\cid:a:", "{A},{B};{A}&amp;{B}\\{A}:"},
        {"cid:abc cid:a.png cid:A cid:", "cid:abc cid:a.png cid:A cid:"},
        {"cid:cid:a", "cid:{A}"},
        {"<img src=\"cid:o'k&1@y\"><img src='cid:o'k&1@y'>", "<img src=\"{O}\"><img src='{O}'>"},
        {"cid:o'k&1@yz cid:o%27k%261%40y", "cid:o'k&1@yz {O}"},
    };
    QByteArray html;
    for (const auto& c : cases)
        html += c.line + "\r\n";
    const MessageRecord m = Whole(Multipart(
        {{"Content-Type: text/html", html},
         {"Content-Type: image/png; name=\"a.png\"\r\nContent-ID: <a>", "A"},
         {"Content-Type: image/png; name=\"b.png\"\r\nContent-ID: <ab>", "B"},
         {"Content-Type: image/png; name=\"x.png\"\r\nContent-ID: <x@y>", "X"},
         {"Content-Type: image/png; name=\"o.png\"\r\nContent-ID: <o'k&1@y>", "O"}},
        "multipart/related"));
    MessagePageWriter writer(Folder(), "message1.html");
    ASSERT_TRUE(writer.Render(m, PageOptions{true, false}).written);
    QList<QByteArray> lines = ReadAll(writer.PageFilePath()).split('\n');
    ASSERT_GE(lines.size(), int(std::size(cases)) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        QByteArray want = cases[i].expected;
        want.replace("{A}", "data:image/png;base64,QQ==")
            .replace("{B}", "data:image/png;base64,Qg==")
            .replace("{X}", "data:image/png;base64,WA==")
            .replace("{O}", "data:image/png;base64,Tw==");
        EXPECT_EQ(lines[qsizetype(i) + 1].chopped(1), want) << cases[i].line.constData();
    }
}

TEST_F(MessagePage, NamesFromTheMessageStayInsideTheFolderAndLoad)
{
    QTemporaryDir outside;
    const QString escape = "../" + QFileInfo(outside.path()).fileName() + "/x";
    const QString inner = Folder() + "/sub";
    ASSERT_TRUE(QDir().mkpath(inner));
    QList<Part> parts{{"Content-Type: text/html", "<img src=\"cid:c0\">"}};
    const QByteArray names[] = {
        "../../x",
        QFile::encodeName("../" + escape),
        "/etc/passwd",
        "",
        "a.png",
        "a.png",
        "a #?%b c.png",
        QByteArray(300, 'n') + ".png", // too long for a file system
        QByteArray("\xC3\xA9").repeated(150) + ".png",
    };
    int i = 0;
    for (const QByteArray& name : names) {
        parts.append({"Content-Type: image/png" +
                          (name.isEmpty() ? QByteArray() : "; name=\"" + name + "\"") +
                          "\r\nContent-ID: <c" + QByteArray::number(i) + ">",
                      "data" + QByteArray::number(i)});
        ++i;
    }
    MessagePageWriter writer(inner, "message1.html");
    ASSERT_TRUE(writer.Render(Whole(Multipart(parts, "multipart/related")), pictureFiles).written);
    const int n = int(std::size(names));
    ASSERT_EQ(writer.InlineFiles().size(), n);
    ASSERT_EQ(writer.PictureFiles().size(), n);
    QStringList all = writer.InlineFiles() + writer.PictureFiles();
    all.append(writer.PageFilePath());
    EXPECT_EQ(QDir(inner).entryList(QDir::Files).size(), all.size()) << "a file was overwritten";
    EXPECT_TRUE(QDir(outside.path()).isEmpty());
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files).size(), 0);
    const QByteArray page = ReadAll(writer.PageFilePath());
    const QUrl pageUrl = QUrl::fromLocalFile(writer.PageFilePath());
    for (int k = 0; k < n; ++k) {
        for (const QString& path : {writer.InlineFiles()[k], writer.PictureFiles()[k]}) {
            EXPECT_EQ(QFileInfo(path).absolutePath(), inner) << path.toStdString();
            EXPECT_TRUE(OwnerOnly(path)) << path.toStdString();
            EXPECT_EQ(ReadAll(path), "data" + QByteArray::number(k)) << path.toStdString();
        }
        // The page's reference (picture line) loads the file whatever its name holds.
        const QString picture = writer.PictureFiles()[k];
        const QByteArray ref = QUrl::toPercentEncoding(picture, "/");
        ASSERT_TRUE(page.contains("<img src=\"" + ref + "\" />")) << picture.toStdString();
        EXPECT_EQ(pageUrl.resolved(QUrl::fromEncoded(ref)).toLocalFile(), picture);
    }
    EXPECT_TRUE(page.contains("<img src=\"" +
                              QUrl::toPercentEncoding(writer.InlineFiles()[0], "/") + "\">"));
    EXPECT_TRUE(OwnerOnly(writer.PageFilePath()));
}

TEST_F(MessagePage, FilesAreDeletedBeforeEachRenderingAndAtTheEnd)
{
    const MessageRecord m = Whole(
        Multipart({kHtmlA, {"Content-Type: image/png; name=\"a.png\"\r\nContent-ID: <c>", "PNG"}}));
    // The other view writes into the same folder: its files stay.
    MessagePageWriter other(Folder(), "message2.html");
    other.Render(m, pictureFiles);
    const QStringList otherFiles = FilesInFolder();
    ASSERT_EQ(otherFiles.size(), 3);
    {
        MessagePageWriter writer(Folder(), "message1.html");
        writer.Render(m, pictureFiles);
        EXPECT_EQ(FilesInFolder().size(), 6);
        writer.Render(Whole(Single("text/plain", "x")), pictureFiles);
        EXPECT_EQ(FilesInFolder().size(), 4);
        ASSERT_TRUE(writer.WriteNotice("View <inaccessible> \xC3\xA9"));
        EXPECT_EQ(ReadAll(writer.PageFilePath()),
                  Head("utf-8") +
                      "<p style='font-family:arial;font-size:11pt;color:#B0B0B0;text-align:center;"
                      "font-weight:bold'><br />View &lt;inaccessible&gt; \xC3\xA9</p>\r\n");
        writer.Render(m, pictureFiles);
    }
    EXPECT_EQ(FilesInFolder(), otherFiles);
    other.DeletePageFiles();
    EXPECT_TRUE(FilesInFolder().isEmpty());

    // Without a folder nothing is written anywhere (not in the working directory).
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Folder()));
    MessagePageWriter nowhere(QString(), "message1.html");
    EXPECT_FALSE(nowhere.Render(m, pictureFiles).written);
    EXPECT_TRUE(FilesInFolder().isEmpty());
    EXPECT_FALSE(nowhere.WriteNotice("x"));
    EXPECT_TRUE(FilesInFolder().isEmpty());
    QDir::setCurrent(cwd);
}

TEST_F(MessagePage, SmallPicturesGoIntoThePageAndOthersBesideIt)
{
    const QByteArray png = "\x89PNG small";
    const QByteArray big(40, 'B');
    const MessageRecord m = Whole(Multipart(
        {{"Content-Type: text/html", "<img src=\"cid:a\"><img src=\"cid:big\"><a href=cid:d>d</a>"},
         {"Content-Type: image/png; name=\"a.png\"\r\nContent-ID: <a>", png},
         {"Content-Type: image/gif; name=\"b.gif\"\r\nContent-Disposition: attachment", "GIF"},
         {"Content-Type: image/x_odd; name=\"c.x\"\r\nContent-Disposition: attachment", "ODD"},
         {"Content-Type: image/png; name=\"big.png\"\r\nContent-ID: <big>", big},
         {"Content-Type: application/pdf; name=\"d.pdf\"\r\nContent-ID: <d>", "PDF"}},
        "multipart/related"));
    MessagePageWriter writer(Folder(), "message1.html");
    ASSERT_TRUE(writer.Render(m, PageOptions{true, true, 16}).written);
    // Only what is too large or no picture is written beside the page.
    QStringList files = FilesInFolder();
    files.sort();
    EXPECT_EQ(files, QStringList({"__big.png", "__d.pdf", "_big.png", "message1.html"}));
    const QByteArray dataA = "data:image/png;base64,iVBORyBzbWFsbA==";
    const QByteArray ref = QUrl::toPercentEncoding(Folder() + '/', "/");
    EXPECT_EQ(ReadAll(writer.PageFilePath()).toStdString(),
              (Head(CharsetName(DefaultIncomingCharset()).toLatin1()) + "<img src=\"" + dataA +
               "\"><img src=\"" + ref + "__big.png\"><a href=" + ref + "__d.pdf>d</a>\r\n<br />\r\n" +
               page::PictureLine(dataA) + "\r\n" + page::PictureLine("data:image/gif;base64,R0lG") +
               "\r\n" + page::PictureLine("data:application/octet-stream;base64,T0RE") + "\r\n" +
               page::PictureLine(ref + "_big.png") + "\r\n</body></html>\r\n")
                  .toStdString());

    // A page holds at most its budget: the picture past it becomes a file.
    QList<Part> many{{"Content-Type: text/html", "x"}};
    const int fit = int(kPagePictureBudget / kPagePictureBytes);
    for (int i = 0; i <= fit; ++i)
        many.append({"Content-Type: image/png; name=\"p" + QByteArray::number(i) +
                         ".png\"\r\nContent-Disposition: attachment",
                     QByteArray(kPagePictureBytes, char('a' + i % 26))});
    ASSERT_TRUE(writer.Render(Whole(Multipart(many)), PageOptions{}).written);
    EXPECT_EQ(writer.PictureFiles(), QStringList{Folder() + "/_p" + QByteArray::number(fit) + ".png"});
    EXPECT_EQ(ReadAll(writer.PageFilePath()).count("data:image/png;base64,"), fit);
}
