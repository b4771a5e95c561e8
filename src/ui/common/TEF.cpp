#include "ui/common/TEF.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/MyApplication.h"
#include "lang/Lang.h"

TEF::TEF(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ErrorWnd"));
    setModal(false);
    setWindowTitle(vm::LangText(QStringLiteral("ERRORWND"), QStringLiteral("ErrorWnd")));
    if (windowTitle().isEmpty())
        setWindowTitle(vm::MyApplication::Instance().ProductName());
    auto* layout = new QVBoxLayout(this);
    LHeader = new QLabel(this);
    LHeader->setObjectName(QStringLiteral("LHeader"));
    LHeader->setWordWrap(true);
    layout->addWidget(LHeader);
    MErrors = new QPlainTextEdit(this);
    MErrors->setObjectName(QStringLiteral("MErrors"));
    MErrors->setReadOnly(true);
    MErrors->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(MErrors, 1);
    BClose = new QPushButton(vm::LangText(QStringLiteral("ERRORWND"), QStringLiteral("BClose")),
                             this);
    BClose->setObjectName(QStringLiteral("BClose"));
    if (BClose->text().isEmpty())
        BClose->setText(tr("Close"));
    layout->addWidget(BClose, 0, Qt::AlignRight);
    connect(BClose, &QPushButton::clicked, this, &QDialog::close);
    resize(560, 300);
}

void TEF::ShowErrors(const QString& header, const QStringList& lines)
{
    LHeader->setText(header);
    MErrors->setPlainText(lines.join('\n'));
    show();
    raise();
}
