#pragma once
// Spell checking with the system's Hunspell dictionaries: a checker for one
// language and a highlighter that underlines unknown words in red. Without
// an installed dictionary (or without Hunspell) the checker is invalid and
// nothing is marked.

#include <QSet>
#include <QString>
#include <QStringList>
#include <QSyntaxHighlighter>

#include <memory>
#include <optional>

namespace vm {

class SpellChecker
{
public:
    // Folders searched for "<language>.dic" with its ".aff".
    static QStringList DictionaryFolders();
    // Languages with both files, sorted ("en_US", "de_DE", ...).
    static QStringList AvailableLanguages(const QStringList& folders = DictionaryFolders());

    // The dictionary of that language; with an empty name the one of the
    // system locale, else the first available. Words added by the user are
    // kept in wordsFile (one per line) when a path is given.
    explicit SpellChecker(const QString& language = {},
                          const QStringList& folders = DictionaryFolders(),
                          const QString& wordsFile = {});
    ~SpellChecker();
    SpellChecker(const SpellChecker&) = delete;
    SpellChecker& operator=(const SpellChecker&) = delete;

    bool IsValid() const;
    QString Language() const { return language_; }
    bool IsCorrect(const QString& word) const;
    QStringList Suggestions(const QString& word) const;
    // Accepts the word from now on and appends it to the words file.
    void AddWord(const QString& word);

    // The spell checker the compose windows share (the user's words in the
    // data directory).
    static SpellChecker& Shared();

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
    QString language_;
    QString wordsFile_;
    QSet<QString> added_;
};

class SpellHighlighter : public QSyntaxHighlighter
{
public:
    SpellHighlighter(QTextDocument* document, const SpellChecker& checker);

    // The word at a position of a block's text: its start and length, or
    // length 0 when the position is not inside a word.
    static QPair<int, int> WordAt(const QString& text, int position);

protected:
    void highlightBlock(const QString& text) override;

private:
    const SpellChecker& checker_;
};

} // namespace vm
