#include "ui/view/ReceiptAlertWindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "mime/MessageRecord.h"
#include "ops/ErrorList.h"

namespace vm {

ReceiptAlertWindow::ReceiptAlertWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("DispNotifWnd"));
    LAlert = new QLabel(this);
    LAlert->setObjectName(QStringLiteral("LAlert"));
    LAlert->setWordWrap(true);
    LAlert->setTextFormat(Qt::PlainText); // the sender text holds angle brackets
    LAlert->setMinimumWidth(320);
    CBSkipAlert = new QCheckBox(QStringLiteral("Do not show this warning again"), this);
    CBSkipAlert->setObjectName(QStringLiteral("CBSkipAlert"));
    CBSkipAlert->setChecked(true);
    BOK = new QPushButton(QStringLiteral("OK"), this);
    BOK->setObjectName(QStringLiteral("BOK"));
    BOK->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LAlert);
    layout->addWidget(CBSkipAlert);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BOK);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(BOK, &QPushButton::clicked, this, &QDialog::accept);
    TranslateWindow(this);
    ApplyMessageTexts();
}

void ReceiptAlertWindow::SetMessage(const MessageRecord& message)
{
    subject_ = message.Subject();
    from_ = message.FromText();
    ApplyMessageTexts();
}

void ReceiptAlertWindow::AfterTranslation()
{
    ApplyMessageTexts();
}

void ReceiptAlertWindow::ApplyMessageTexts()
{
    setWindowTitle(TextOr("DISPNOTIFWND", "Caption", "Return receipt demanded: %s", {subject_}));
    LAlert->setText(TextOr("DISPNOTIFWND", "Alert",
                           "Sender of this message (%s) asked for a return receipt.", {from_}));
}

bool ReceiptAlertWindow::ShowFor(MessageRecord& message, QWidget* parent)
{
    ReceiptAlertWindow window(parent);
    window.SetMessage(message);
    window.BOK->setFocus(Qt::OtherFocusReason);
    // Only BOK applies the tick; a window closed otherwise changes nothing.
    if (window.ShowModal() != QDialog::Accepted || !window.CBSkipAlert->isChecked())
        return false;
    message.receiptState = 2;
    return true;
}

} // namespace vm
