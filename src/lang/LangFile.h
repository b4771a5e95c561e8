#pragma once
// The grammar of language files and the handling of their values.
//
// A language file is UTF-8 text read line by line (CR LF, LF or CR). Every
// non-empty line after the first must begin with a printable ASCII character
// or a TAB, otherwise the whole file is rejected. A line is classified by the
// first of ";", "#", "[" and "=": comment, section header "[name]", or key
// line "key=value"; lines with none of them are ignored. Names are compared
// without regard to ASCII letter case.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vm {

// ASCII case-insensitive equality of two 8-bit names.
bool NameEquals(const QByteArray& a, const QByteArray& b);

// The general INI reader behind header reading and loading. Sections that
// appear twice are merged; a key that appears twice in a section keeps the
// last value (in the place of its first appearance).
class IniFile
{
public:
    struct key
    {
        QByteArray name;  // trimmed
        QByteArray value; // raw bytes after the first "=", not trimmed
        int line = 0;     // 1-based line number in the file
    };
    struct Section
    {
        QByteArray name;
        QList<key> keys;
        QList<QByteArray> comments; // comment lines that follow the header
        int line = 0;
    };

    // Parses bytes; false when a line breaks the first-character rule, in
    // which case ErrorLine() and ErrorText() say where and why, and the
    // content is empty.
    bool Parse(const QByteArray& data);
    // Reads and parses a file; false when it cannot be read or is rejected.
    bool ParseFile(const QString& path);

    const QList<Section>& Sections() const { return sections_; }
    QList<QByteArray> FileComments() const { return fileComments_; }
    const Section* FindSection(const QByteArray& name) const;
    // The raw value, or nullptr when the section or key is missing.
    const QByteArray* Value(const QByteArray& section, const QByteArray& keyName) const;

    int ErrorLine() const { return errorLine_; }
    QString ErrorText() const { return errorText_; }

    // Files larger than this are not language files.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

private:
    QList<Section> sections_;
    QList<QByteArray> fileComments_;
    int errorLine_ = 0;
    QString errorText_;
};

// The load-time processing of a value: "##" is "#", a single "#" ends the
// value, "||" becomes CR LF, backslash + "t" becomes TAB, and every "%" not
// followed by "%" or "s" is doubled. The value is decoded from UTF-8 first.
QString PostProcessValue(const QByteArray& raw);
QString PostProcessValue(const QString& value);

// Fills up to 8 arguments into a processed value: the k-th "%s" becomes the
// k-th argument and "%%" becomes "%". Empty when the value is empty, has more
// "%s" than arguments, or value and arguments together exceed 4096
// characters; the value is cut to 2048 characters and the filled-in result to
// 1024. The result is trimmed of blanks and control characters.
QString FormatLangValue(const QString& value, const QStringList& args);

// Number of "%s" in a processed value, skipping the character after every "%".
int CountArguments(const QString& value);

} // namespace vm
