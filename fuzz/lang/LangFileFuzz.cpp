// Fuzzes the language file reader: the INI parser, the loading into the
// language table (value processing, "$include" lists) and the formatting of
// texts with arguments. Beyond the sanitizers it checks that a rejected
// file leaves nothing behind, that every key of an accepted file is found
// in the loaded table with its processed value, and that formatted texts
// keep to their length limit.

#include <cstddef>
#include <cstdint>

#include "lang/LangFile.h"
#include "lang/LanguageShell.h"

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IniFile file;
    if (!file.Parse(bytes)) {
        if (!file.Sections().isEmpty() || file.ErrorLine() <= 0)
            __builtin_trap();
        return 0;
    }
    LanguageShell shell;
    shell.Fill(file, QStringLiteral("fuzz.lng"));
    const QStringList args = {QStringLiteral("one"), QStringLiteral("%s two"),
                              QString(300, QLatin1Char('x'))};
    for (const IniFile::Section& s : file.Sections()) {
        for (const IniFile::key& k : s.keys) {
            const QByteArray* raw = file.Value(s.name, k.name);
            const QString* loaded = shell.Find(s.name, k.name);
            if (!raw || !loaded || *loaded != PostProcessValue(*raw))
                __builtin_trap();
            if (shell.Text(s.name, k.name, args).size() > 1024)
                __builtin_trap();
            CountArguments(*loaded);
        }
        // A key the section lacks is looked up through its include list.
        shell.Find(s.name, "\x01missing");
    }
    return 0;
}
