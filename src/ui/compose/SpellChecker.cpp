#include "ui/compose/SpellChecker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

#ifdef VELMORA_HAVE_HUNSPELL
#include <hunspell.hxx>
#endif

#include "core/AppInfo.h"

namespace vm {

namespace {

const QRegularExpression& WordPattern()
{
    static const QRegularExpression re(
        QStringLiteral("[\\p{L}\\p{M}]+(?:['\u2019][\\p{L}\\p{M}]+)*"));
    return re;
}

} // namespace

struct SpellChecker::Engine
{
#ifdef VELMORA_HAVE_HUNSPELL
    std::unique_ptr<Hunspell> hunspell;
    bool utf8 = true;
    std::optional<QStringConverter::Encoding> encoding;

    std::string Encode(const QString& s) const
    {
        if (utf8 || !encoding)
            return s.toStdString();
        QStringEncoder enc(*encoding);
        const QByteArray b = enc.encode(s);
        return b.toStdString();
    }
    QString Decode(const std::string& s) const
    {
        if (utf8 || !encoding)
            return QString::fromStdString(s);
        QStringDecoder dec(*encoding);
        return dec.decode(QByteArray::fromStdString(s));
    }
#endif
};

QStringList SpellChecker::DictionaryFolders()
{
    return {QStringLiteral("/usr/share/hunspell"), QStringLiteral("/usr/share/myspell"),
            QStringLiteral("/usr/share/myspell/dicts"),
            QDir::homePath() + "/.local/share/hunspell"};
}

QStringList SpellChecker::AvailableLanguages(const QStringList& folders)
{
    QStringList out;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QFileInfo& dic : dir.entryInfoList({QStringLiteral("*.dic")}, QDir::Files)) {
            const QString name = dic.completeBaseName();
            if (dir.exists(name + QStringLiteral(".aff")) && !out.contains(name))
                out.append(name);
        }
    }
    out.sort();
    return out;
}

SpellChecker::SpellChecker(const QString& language, const QStringList& folders,
                           const QString& wordsFile)
    : engine_(std::make_unique<Engine>()), wordsFile_(wordsFile)
{
#ifdef VELMORA_HAVE_HUNSPELL
    const QStringList available = AvailableLanguages(folders);
    QString chosen = language;
    if (chosen.isEmpty()) {
        const QString locale = QLocale::system().name();
        chosen = available.contains(locale) ? locale : available.value(0);
    }
    if (chosen.isEmpty() || !available.contains(chosen))
        return;
    for (const QString& folder : folders) {
        const QString base = QDir(folder).filePath(chosen);
        if (!QFile::exists(base + ".dic") || !QFile::exists(base + ".aff"))
            continue;
        engine_->hunspell =
            std::make_unique<Hunspell>(QFile::encodeName(base + ".aff").constData(),
                                       QFile::encodeName(base + ".dic").constData());
        const QString enc = QString::fromStdString(engine_->hunspell->get_dict_encoding());
        engine_->utf8 = enc.compare(QStringLiteral("UTF-8"), Qt::CaseInsensitive) == 0;
        if (!engine_->utf8)
            engine_->encoding = QStringConverter::encodingForName(
                enc.toLatin1().replace("ISO8859", "ISO-8859").constData());
        language_ = chosen;
        break;
    }
    if (!wordsFile_.isEmpty()) {
        QFile f(wordsFile_);
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : f.readAll().split('\n')) {
                const QString w = QString::fromUtf8(line).trimmed();
                if (!w.isEmpty())
                    AddWord(w);
            }
        }
    }
#else
    (void)language;
    (void)folders;
#endif
}

SpellChecker::~SpellChecker() = default;

bool SpellChecker::IsValid() const
{
#ifdef VELMORA_HAVE_HUNSPELL
    return engine_->hunspell != nullptr;
#else
    return false;
#endif
}

bool SpellChecker::IsCorrect(const QString& word) const
{
#ifdef VELMORA_HAVE_HUNSPELL
    if (!IsValid() || added_.contains(word))
        return true;
    return engine_->hunspell->spell(engine_->Encode(word));
#else
    (void)word;
    return true;
#endif
}

QStringList SpellChecker::Suggestions(const QString& word) const
{
    QStringList out;
#ifdef VELMORA_HAVE_HUNSPELL
    if (!IsValid())
        return out;
    for (const std::string& s : engine_->hunspell->suggest(engine_->Encode(word)))
        out.append(engine_->Decode(s));
#else
    (void)word;
#endif
    return out;
}

void SpellChecker::AddWord(const QString& word)
{
    if (word.isEmpty() || added_.contains(word))
        return;
    added_.insert(word);
#ifdef VELMORA_HAVE_HUNSPELL
    if (IsValid())
        engine_->hunspell->add(engine_->Encode(word));
#endif
    if (wordsFile_.isEmpty())
        return;
    // Appended as typed; a file that cannot be written keeps the word for this session.
    QFile f(wordsFile_);
    if (f.open(QIODevice::ReadWrite | QIODevice::Text)) {
        const QStringList present = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        if (!present.contains(word)) {
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            f.write(word.toUtf8() + '\n');
        }
    }
}

SpellChecker& SpellChecker::Shared()
{
    static SpellChecker checker(QString(), DictionaryFolders(),
                                AppInfo::Instance().ProgramDir() + QStringLiteral("spelling.txt"));
    return checker;
}

SpellHighlighter::SpellHighlighter(QTextDocument* document, const SpellChecker& checker)
    : QSyntaxHighlighter(document), checker_(checker)
{
}

QPair<int, int> SpellHighlighter::WordAt(const QString& text, int position)
{
    auto it = WordPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (position >= m.capturedStart() && position <= m.capturedEnd())
            return {int(m.capturedStart()), int(m.capturedLength())};
    }
    return {position, 0};
}

void SpellHighlighter::highlightBlock(const QString& text)
{
    if (!checker_.IsValid())
        return;
    QTextCharFormat wrong;
    wrong.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    wrong.setUnderlineColor(Qt::red);
    auto it = WordPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (!checker_.IsCorrect(m.captured()))
            setFormat(int(m.capturedStart()), int(m.capturedLength()), wrong);
    }
}

} // namespace vm
