#pragma once
// The receipt alert window: a message asks for a return receipt but its
// account lacks what sending needs (SMTP login, server or From address), so
// the user is only told. With
// "Do not show this warning again" ticked (the default) the request counts as
// declined and the message is not brought up again.

#include "ui/common/TranslatedWindow.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace vm {

class MessageRecord;

class ReceiptAlertWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit ReceiptAlertWindow(QWidget* parent = nullptr);

    // Fills caption and alert from the message (subject, sender).
    void SetMessage(const MessageRecord& message);

    // Shows the window modally for the message; when CBSkipAlert is still
    // ticked at BOK, the receipt state becomes 2 (declined). True then.
    static bool ShowFor(MessageRecord& message, QWidget* parent = nullptr);

    QLabel* LAlert;
    QCheckBox* CBSkipAlert;
    QPushButton* BOK;

protected:
    void AfterTranslation() override;

private:
    void ApplyMessageTexts();
    QString subject_;
    QString from_;
};

} // namespace vm
