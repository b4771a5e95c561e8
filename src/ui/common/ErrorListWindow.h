#pragma once
// The error window shown after a network operation failed: a header naming
// the operation and one line per failure. It is not modal, so the program
// goes on while the report stays open; the automatic check closes it a
// second before the next check. Its caption and buttons follow a language
// switch like every window's (section ERRORWND).

#include "ops/OperationReport.h"
#include "ui/common/TranslatedWindow.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vm {


class ErrorListWindow : public TranslatedWindow, public vm::ErrorWindowService
{
    Q_OBJECT
public:
    explicit ErrorListWindow(QWidget* parent = nullptr);

    void ShowErrors(const QString& header, const QStringList& lines) override;

    // When the operation failed because a server's certificate was refused,
    // BCertificate offers to show it (and to trust it). Opens the window for
    // one failure; returns its result.
    int ShowCertificate(int index);

    QLabel* LHeader = nullptr;
    QPlainTextEdit* MErrors = nullptr;
    QPushButton* BClose = nullptr;
    QPushButton* BCertificate = nullptr;

private:
    void OfferCertificates();
};

} // namespace vm
