#include "lang/LanguageShell.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include "core/StringTable.h"
#include "lang/Lang.h"
#include "lang/LangFile.h"

namespace vm {

namespace {

const QByteArray kIncludeKey = QByteArrayLiteral("$include");

std::function<void()>& AppliedHandler()
{
    static std::function<void()> handler;
    return handler;
}

QString TrimmedText(const QString& s)
{
    return s.trimmed();
}

// The names of an include list: each name is what stands before a ";"; a
// final piece without ";" is ignored. Names are not trimmed.
QList<QByteArray> IncludeNames(const QString& value)
{
    QList<QByteArray> names;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == ';') {
            names.append(value.mid(start, i - start).toUtf8());
            start = i + 1;
        }
    }
    return names;
}

// One lookup's walk through sections and their include lists. Results of
// sections already searched are remembered, so a section listed many times is
// searched once; a section still being searched (an include cycle) is skipped.
class IncludeWalk
{
public:
    IncludeWalk(const LanguageShell& shell, const QByteArray& key) : shell_(shell), key_(key) {}

    const QString* Search(const LanguageShell::Section* section)
    {
        const auto done = finished_.constFind(section);
        if (done != finished_.constEnd())
            return *done;
        if (active_.contains(section))
            return nullptr;
        active_.insert(section);
        const QString* result = nullptr;
        const QString* candidate = nullptr;
        for (int i = 0; i < section->Lines.Count(); ++i) {
            const LanguageShell::Line* line = section->Lines.At(i);
            if (NameEquals(line->Key, key_)) {
                result = &line->Value;
                break;
            }
            if (NameEquals(line->Key, kIncludeKey)) {
                for (const QByteArray& name : IncludeNames(line->Value)) {
                    const LanguageShell::Section* inc = shell_.FindSection(name);
                    if (!inc)
                        continue;
                    if (const QString* hit = Search(inc))
                        candidate = hit;
                }
            }
        }
        if (!result)
            result = candidate;
        active_.remove(section);
        finished_.insert(section, result);
        return result;
    }

private:
    const LanguageShell& shell_;
    const QByteArray key_;
    QSet<const LanguageShell::Section*> active_;
    QHash<const LanguageShell::Section*, const QString*> finished_;
};

} // namespace

int LanguageShell::LineContainer::Add(Line* item)
{
    for (int i = Count() - 1; i >= 0; --i)
        if (NameEquals(At(i)->Key, item->Key))
            Delete(i);
    return CommonContainer<Line>::Add(item);
}

LanguageShell::Section::Section(const Section& other) : Name(other.Name)
{
    Lines.AppendCopies(other.Lines);
}

const LanguageShell::Line* LanguageShell::Section::FindLine(const QByteArray& key) const
{
    for (int i = 0; i < Lines.Count(); ++i)
        if (NameEquals(Lines.At(i)->Key, key))
            return Lines.At(i);
    return nullptr;
}

int LanguageShell::SectionContainer::Add(Section* item)
{
    for (int i = Count() - 1; i >= 0; --i)
        if (NameEquals(At(i)->Name, item->Name))
            Delete(i);
    return CommonContainer<Section>::Add(item);
}

void LanguageShell::Clear()
{
    Symbol.clear();
    Name.clear();
    Path.clear();
    Sections.Clear();
}

const LanguageShell::Section* LanguageShell::FindSection(const QByteArray& name) const
{
    for (int i = 0; i < Sections.Count(); ++i)
        if (NameEquals(Sections.At(i)->Name, name))
            return Sections.At(i);
    return nullptr;
}

void LanguageShell::Fill(const IniFile& file, const QString& path)
{
    Clear();
    for (const IniFile::Section& s : file.Sections()) {
        auto* section = new Section;
        section->Name = s.name;
        // The parser has already merged repeated keys, so the lines can be
        // appended without the duplicate search of LineContainer::Add.
        for (const IniFile::key& k : s.keys)
            section->Lines.CommonContainer<Line>::Add(new Line{k.name, PostProcessValue(k.value)});
        Sections.Add(section);
    }
    const QByteArray* symbol = file.Value("HEAD", "Symbol");
    const QByteArray* name = file.Value("HEAD", "Name");
    Symbol = symbol ? TrimmedText(PostProcessValue(*symbol)).toUtf8() : QByteArray();
    Name = name ? TrimmedText(PostProcessValue(*name)) : QString();
    Path = path;
}

const QString* LanguageShell::Find(const QByteArray& section, const QByteArray& key) const
{
    const Section* s = FindSection(section);
    if (!s)
        return nullptr;
    IncludeWalk walk(*this, key);
    return walk.Search(s);
}

QString LanguageShell::Text(const QByteArray& section, const QByteArray& key,
                            const QStringList& args) const
{
    const QString* value = Find(section, key);
    if (!value)
        return {};
    return FormatLangValue(*value, args);
}

LanguageShell& Language()
{
    static auto* shell = new LanguageShell; // lives until the process ends
    return *shell;
}

CommonContainer<LangHeader>& LanguageHeaders()
{
    static auto* headers = new CommonContainer<LangHeader>;
    return *headers;
}

namespace {

bool HeaderFromFile(const IniFile& file, const QString& path, LangHeader& header)
{
    const QByteArray* symbol = file.Value("HEAD", "Symbol");
    const QByteArray* name = file.Value("HEAD", "Name");
    if (!symbol || !name)
        return false;
    LangHeader h;
    h.Symbol = TrimmedText(PostProcessValue(*symbol)).toUtf8();
    h.Name = TrimmedText(PostProcessValue(*name));
    h.Path = path;
    if (h.Symbol.isEmpty() || h.Name.isEmpty())
        return false;
    header = h;
    return true;
}

} // namespace

bool ReadLangHeader(const QString& path, LangHeader& header)
{
    IniFile file;
    if (!file.ParseFile(path))
        return false;
    return HeaderFromFile(file, path, header);
}

int DiscoverLanguages(const QString& directory, const QString& pattern)
{
    CommonContainer<LangHeader>& headers = LanguageHeaders();
    headers.Clear();
    QDir dir(directory);
    const QFileInfoList entries = dir.entryInfoList(
        QStringList{pattern}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
        LangHeader header;
        const QString path = QDir(directory).filePath(entry.fileName());
        if (ReadLangHeader(path, header))
            headers.Add(new LangHeader(header));
    }
    return headers.Count();
}

const LangHeader* FindLangHeader(const QString& path)
{
    const CommonContainer<LangHeader>& headers = LanguageHeaders();
    const QString wanted = QDir::cleanPath(path);
    for (int i = 0; i < headers.Count(); ++i)
        if (QDir::cleanPath(headers.At(i)->Path) == wanted)
            return headers.At(i);
    for (int i = 0; i < headers.Count(); ++i)
        if (QDir::cleanPath(headers.At(i)->Path).compare(wanted, Qt::CaseInsensitive) == 0)
            return headers.At(i);
    return nullptr;
}

bool LoadLanguage(const QString& path)
{
    IniFile file;
    if (!file.ParseFile(path))
        return false;
    LangHeader header;
    if (!HeaderFromFile(file, path, header))
        return false;
    Language().Fill(file, path);
    if (AppliedHandler())
        AppliedHandler()();
    return true;
}

void SetLanguageAppliedHandler(std::function<void()> handler)
{
    AppliedHandler() = std::move(handler);
}

QString NumberedText(int number, const QStringList& args)
{
    const QString text = StringTable(number).left(1024);
    return PostProcessValue(FormatLangValue(text, args));
}

QString LangText(const QString& section, const QString& key)
{
    return Language().Text(section.toUtf8(), key.toUtf8());
}

QString LangFormat(const QString& section, const QString& key, const QStringList& args)
{
    return Language().Text(section.toUtf8(), key.toUtf8(), args);
}

QString TextOr(const char* section, const char* key, const char* english, const QStringList& args)
{
    // Formatted with its arguments: a text that takes some is empty when
    // looked up without them, which must not make it fall back to English.
    const QString translated = Language().Text(section, key, args);
    if (!translated.isEmpty())
        return translated;
    QString text = QString::fromUtf8(english).replace(QLatin1String("||"), QLatin1String("\n"));
    qsizetype from = 0;
    for (const QString& arg : args) {
        const qsizetype at = text.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        text.replace(at, 2, arg);
        from = at + arg.size();
    }
    return text;
}

} // namespace vm
