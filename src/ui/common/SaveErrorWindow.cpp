#include "ui/common/SaveErrorWindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>


namespace vm {

SaveErrorWindow::SaveErrorWindow(const QString& report, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SAVEERRORWND"));
    setWindowTitle(QStringLiteral("Failure"));
    auto* layout = new QVBoxLayout(this);
    LHead = new QLabel(this);
    LHead->setObjectName(QStringLiteral("LHead"));
    LHead->setWordWrap(true);
    MReport = new QPlainTextEdit(report, this);
    MReport->setObjectName(QStringLiteral("MReport"));
    MReport->setReadOnly(true);
    LQuery = new QLabel(this);
    LQuery->setObjectName(QStringLiteral("LQuery"));
    RBContinue = new QRadioButton(this);
    RBContinue->setObjectName(QStringLiteral("RBContinue"));
    RBContinue->setChecked(true);
    RBAbort = new QRadioButton(this);
    RBAbort->setObjectName(QStringLiteral("RBAbort"));
    BOK = new QPushButton(QStringLiteral("OK"), this);
    BOK->setObjectName(QStringLiteral("BOK"));
    BOK->setDefault(true);
    for (QWidget* w : {static_cast<QWidget*>(LHead), static_cast<QWidget*>(MReport),
                       static_cast<QWidget*>(LQuery), static_cast<QWidget*>(RBContinue),
                       static_cast<QWidget*>(RBAbort)})
        layout->addWidget(w);
    layout->addWidget(BOK, 0, Qt::AlignRight);
    connect(BOK, &QPushButton::clicked, this,
            [this] { RBAbort->isChecked() ? reject() : accept(); });
    resize(460, 320);
    // Caption (key "SaveErrorWnd", matched without regard to letter case)
    // and control texts come from the window's own section.
    vm::TranslateWindow(this);
    BOK->setFocus();
}

} // namespace vm
