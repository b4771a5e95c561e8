#include "ui/common/SaveErrorWindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "lang/Lang.h"

namespace vm {

namespace {
QString T(const char* key)
{
    return vm::LangText(QStringLiteral("SAVEERRORWND"), QString::fromLatin1(key));
}
} // namespace

SaveErrorWindow::SaveErrorWindow(const QString& report, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SAVEERRORWND"));
    setWindowTitle(T("Caption"));
    auto* layout = new QVBoxLayout(this);
    LHead = new QLabel(T("LHead"), this);
    LHead->setObjectName(QStringLiteral("LHead"));
    LHead->setWordWrap(true);
    MReport = new QPlainTextEdit(report, this);
    MReport->setObjectName(QStringLiteral("MReport"));
    MReport->setReadOnly(true);
    LQuery = new QLabel(T("LQuery"), this);
    LQuery->setObjectName(QStringLiteral("LQuery"));
    RBContinue = new QRadioButton(T("RBContinue"), this);
    RBContinue->setObjectName(QStringLiteral("RBContinue"));
    RBContinue->setChecked(true);
    RBAbort = new QRadioButton(T("RBAbort"), this);
    RBAbort->setObjectName(QStringLiteral("RBAbort"));
    BOK = new QPushButton(T("BOK"), this);
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
    BOK->setFocus();
}

} // namespace vm
