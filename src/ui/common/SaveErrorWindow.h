#pragma once
// Asked at exit when a mailbox file could not be written: try the remaining
// mailboxes and exit, or stay in the program to recover. One window per
// failure; it translates itself from its own language section.

#include <QDialog>

#include "ui/common/TranslatedWindow.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace vm {


class SaveErrorWindow : public QDialog, public TranslationHooks
{
    Q_OBJECT
public:
    // report: the text shown in MReport.
    explicit SaveErrorWindow(const QString& report, QWidget* parent = nullptr);

    // Accepted = go on saving the other mailboxes; rejected = do not exit.
    QLabel* LHead = nullptr;
    QLabel* LQuery = nullptr;
    QPlainTextEdit* MReport = nullptr;
    QRadioButton* RBContinue = nullptr;
    QRadioButton* RBAbort = nullptr;
    QPushButton* BOK = nullptr;
};

} // namespace vm
