#pragma once
// The find window: searches the rows of the main window's message list for
// a phrase in the sender's name, the sender's address, the subject and the
// body, and either selects the next matching row (find, find next) or
// narrows the list to the matching messages (filter). Not modal; F3 runs
// find next here and, while the window is visible, in the main window.

#include "mime/MessageMatcher.h"
#include "ui/common/TranslatedWindow.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QPushButton;

namespace vm {

class MainWindow;
class Settings;

class FindWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit FindWindow(MainWindow& main, QWidget* parent = nullptr);

    // True while a POP3 operation runs: searching then could parse records
    // a worker is filling, so every command is refused.
    std::function<bool()> busy;

    // Shows the window (placed at its first activation) and raises it.
    void ShowOrRaise();
    // The window is disabled while an operation runs.
    void SetBusy(bool on);

    // The commands of the buttons; each does nothing while busy.
    void Find();
    void FindNext();
    void Filter();
    void Unfilter();
    // Ends a find: find next is no longer offered (another mailbox shown,
    // the window closed).
    void ResetFound();
    bool Found() const { return found_; }
    // Enabling of the buttons from the controls and the state.
    void UpdateButtons();

    // The filter the controls describe.
    MessageFilter FilterFromControls(bool filterNew) const;
    // The window's rectangle into the settings (at shutdown).
    void CopyPlacement(Settings& settings) const;

    QFrame* PPhrase = nullptr;
    QComboBox* Phrase = nullptr;
    QCheckBox* CBSenderName = nullptr;
    QCheckBox* CBSenderAddress = nullptr;
    QCheckBox* CBSubject = nullptr;
    QCheckBox* CBBody = nullptr;
    QCheckBox* CBCaseSensitive = nullptr;
    QCheckBox* CBWholeWords = nullptr;
    QCheckBox* CBNewMsgFiltering = nullptr;
    QPushButton* BFind = nullptr;
    QPushButton* BNext = nullptr;
    QPushButton* BFilter = nullptr;
    QPushButton* BUnfilter = nullptr;
    QPushButton* BClose = nullptr;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    enum class SearchResult { Found, NotFound, Declined };
    // Visits the rows from `row` on; see the .cpp for the rules.
    SearchResult SearchFrom(int row);
    void SelectRow(int row);
    void Succeeded();
    void RememberPhrase();
    void LoadChecks();
    void StoreChecks() const;
    bool Refused() const { return busy && busy(); }

    MainWindow& main_;
    MessageFilter findFilter_;
    bool found_ = false;
    bool placed_ = false;
};

} // namespace vm
