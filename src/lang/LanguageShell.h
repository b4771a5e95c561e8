#pragma once
// The loaded language and the list of language files found on disk.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

#include "core/CommonContainer.h"

namespace vm {

class IniFile;

// What discovery knows about a language file.
struct LangHeader
{
    QByteArray Symbol; // value of HEAD/Symbol, e.g. "EN"
    QString Name;      // value of HEAD/Name, e.g. "English"
    QString Path;      // full path of the file
};

// The loaded language: symbol, name and path of the file and its sections.
class LanguageShell
{
public:
    struct Line
    {
        QByteArray Key; // trimmed
        QString Value;  // decoded and processed
    };
    // "Add" first deletes every line with the same key (any letter case).
    class LineContainer : public CommonContainer<Line>
    {
    public:
        int Add(Line* item) override;
    };
    struct Section
    {
        Section() = default;
        Section(const Section& other);
        QByteArray Name;
        LineContainer Lines;
        const Line* FindLine(const QByteArray& key) const;
    };
    // "Add" first deletes every section of the same name (any letter case).
    class SectionContainer : public CommonContainer<Section>
    {
    public:
        int Add(Section* item) override;
    };

    QByteArray Symbol;
    QString Name;
    QString Path;
    SectionContainer Sections;

    bool IsEmpty() const { return Sections.Count() == 0; }
    void Clear();
    const Section* FindSection(const QByteArray& name) const;

    // Replaces the content by that of a parsed file.
    void Fill(const IniFile& file, const QString& path);

    // The processed value of key in section, following "$include" lists:
    // a key defined in the section itself wins; otherwise the last include
    // entry that defines it. Sections already being searched are skipped,
    // so include cycles end. nullptr when not found.
    const QString* Find(const QByteArray& section, const QByteArray& key) const;

    // Find() formatted with the arguments; empty when missing or rejected.
    QString Text(const QByteArray& section, const QByteArray& key,
                 const QStringList& args = {}) const;
};

// The global loaded language; empty until a file is loaded.
LanguageShell& Language();

// The global list of language file headers, rebuilt by every discovery.
CommonContainer<LangHeader>& LanguageHeaders();

// Reads the header of a file: true when it parses and HEAD has non-empty
// Symbol and Name.
bool ReadLangHeader(const QString& path, LangHeader& header);

// Empties the header list and reads the header of every file in directory
// matching pattern (e.g. "*.lng"); keeps the valid ones. Returns how many.
int DiscoverLanguages(const QString& directory, const QString& pattern = QStringLiteral("*.lng"));

// The header whose path equals path (exact match first, then without regard
// to letter case), or nullptr.
const LangHeader* FindLangHeader(const QString& path);

// Loads a language file into Language() and then applies it to all windows
// through the handler set below. On failure the previous content stays.
bool LoadLanguage(const QString& path);

// Set by the window layer: called after every successful LoadLanguage.
void SetLanguageAppliedHandler(std::function<void()> handler);

// The built-in numbered string (see core/StringTable.h) formatted with the
// arguments, then processed like a language file value.
QString NumberedText(int number, const QStringList& args = {});

} // namespace vm
