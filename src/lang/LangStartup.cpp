#include "lang/LangStartup.h"

#include <QDir>
#include <QFileInfo>

#include "lang/BuiltinLanguage.h"
#include "lang/LangFile.h"
#include "lang/LanguageShell.h"

namespace vm {

QString NoLanguageFileText()
{
    return QStringLiteral(
        "Could not find any accessible file with language strings. Check out what is wrong with "
        "*.lng files in programs's directory and restart Velmora; reinstall the application if "
        "necessary.");
}

QString NoDefaultLanguageFileText()
{
    return QStringLiteral(
        "Could not load neither default language file nor that indicated by program's general "
        "settings. Check out what is wrong with *.lng files in programs's directory and restart "
        "Velmora.");
}

QString LanguageLoadFailedText(const QString& path)
{
    return QStringLiteral("Could not load language strings from file ") + path +
           QStringLiteral(". The file may be corrupted or you don't have enough priviliges to "
                          "access it. Check out what is wrong, because VL cannot continue its "
                          "execution without valid interface strings.");
}

namespace {

QString WithSlash(const QString& dir)
{
    return dir.endsWith('/') ? dir : dir + '/';
}

} // namespace

QString DiscoverLanguageFiles(const QString& programDir)
{
    // English only when nothing usable is there (it replaces a broken copy);
    // the translations whenever the directory lacks them or holds an older
    // version nobody edited.
    if (DiscoverLanguages(programDir) == 0)
        WriteBuiltinEnglish(programDir);
    UpdateBuiltinLanguages(programDir);
    if (DiscoverLanguages(programDir) > 0)
        return {};
    return NoLanguageFileText();
}

QString ChooseAndLoadLanguage(const QString& programDir, const QString& languageFileSetting)
{
    const QString dir = WithSlash(programDir);
    const LangHeader* header = nullptr;
    if (!languageFileSetting.isEmpty())
        header = FindLangHeader(dir + languageFileSetting);
    if (!header) {
        const QString english = dir + DefaultLanguageFileName();
        if (!QFileInfo::exists(english)) {
            WriteBuiltinEnglish(dir);
            DiscoverLanguages(dir);
        }
        header = FindLangHeader(english);
    }
    if (!header)
        return NoDefaultLanguageFileText();
    const QString path = header->Path;
    if (!LoadLanguage(path))
        return LanguageLoadFailedText(path);
    return {};
}

int CheckLanguageFile(const QString& path, QTextStream& out)
{
    IniFile file;
    if (!file.ParseFile(path)) {
        out << "NOT ACCEPTED: " << path << "\n";
        if (file.ErrorLine() > 0)
            out << file.ErrorText() << "\n";
        else
            out << "The file " << file.ErrorText() << "\n";
        return 1;
    }
    const QByteArray* symbol = file.Value("HEAD", "Symbol");
    const QByteArray* name = file.Value("HEAD", "Name");
    const QString symbolText = symbol ? PostProcessValue(*symbol).trimmed() : QString();
    const QString nameText = name ? PostProcessValue(*name).trimmed() : QString();
    out << "Symbol: " << symbolText << "\n";
    out << "Name: " << nameText << "\n";
    const bool accepted = !symbolText.isEmpty() && !nameText.isEmpty();
    if (!accepted) {
        out << "NOT ACCEPTED: " << path << "\n";
        const IniFile::Section* head = file.FindSection("HEAD");
        if (!head)
            out << "The file has no section [HEAD].\n";
        if (symbolText.isEmpty())
            out << "Section [HEAD] needs a non-empty key Symbol (for example Symbol=EN).\n";
        if (nameText.isEmpty())
            out << "Section [HEAD] needs a non-empty key Name (for example Name=English).\n";
    }

    IniFile english;
    english.Parse(BuiltinEnglishFile());
    int missingSections = 0;
    int missingKeys = 0;
    for (const IniFile::Section& s : english.Sections()) {
        const IniFile::Section* own = file.FindSection(s.name);
        if (!own) {
            out << "Missing section [" << s.name << "] (" << s.keys.size() << " keys)\n";
            ++missingSections;
            missingKeys += static_cast<int>(s.keys.size());
            continue;
        }
        for (const IniFile::key& k : s.keys) {
            if (!file.Value(s.name, k.name)) {
                out << "Missing key [" << s.name << "] " << k.name << "\n";
                ++missingKeys;
            }
        }
    }
    if (missingSections == 0 && missingKeys == 0)
        out << "Complete: every section and key of the built-in English file is present.\n";
    else
        out << "Lacking " << missingSections << " sections and " << missingKeys
            << " keys of the built-in English file.\n";
    if (accepted)
        out << "ACCEPTED: " << path << "\n";
    return accepted ? 0 : 1;
}

} // namespace vm
