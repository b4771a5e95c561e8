#include "ui/common/ErrorListWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AppInfo.h"
#include "lang/Lang.h"
#include "ops/CertificateFailures.h"
#include "ui/common/CertificateWindow.h"
#include "ops/ErrorList.h"

namespace vm {

ErrorListWindow::ErrorListWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("ErrorWnd"));
    setModal(false);
    setWindowTitle(vm::LangText(QStringLiteral("ERRORWND"), QStringLiteral("ErrorWnd")));
    if (windowTitle().isEmpty())
        setWindowTitle(vm::AppInfo::Instance().ProductName());
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
    BCertificate = new QPushButton(
        vm::TextOr("ERRORWND", "BCertificate", "Show certificate..."), this);
    BCertificate->setObjectName(QStringLiteral("BCertificate"));
    BCertificate->hide();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BCertificate);
    buttons->addStretch(1);
    buttons->addWidget(BClose);
    layout->addLayout(buttons);
    connect(BClose, &QPushButton::clicked, this, &QDialog::close);
    connect(BCertificate, &QPushButton::clicked, this, &ErrorListWindow::OfferCertificates);
    resize(560, 300);
}

void ErrorListWindow::ShowErrors(const QString& header, const QStringList& lines)
{
    LHeader->setText(header);
    MErrors->setPlainText(lines.join('\n'));
    BCertificate->setVisible(!vm::CertificateFailures().isEmpty());
    show();
    raise();
}

int ErrorListWindow::ShowCertificate(int index)
{
    const QList<vm::CertificateFailure> failures = vm::CertificateFailures();
    if (index < 0 || index >= failures.size())
        return QDialog::Rejected;
    CertificateWindow wnd(failures.at(index), this);
    return wnd.exec();
}

void ErrorListWindow::OfferCertificates()
{
    const QList<vm::CertificateFailure> failures = vm::CertificateFailures();
    if (failures.size() == 1) {
        ShowCertificate(0);
        return;
    }
    // Several servers refused: the user picks one.
    QMenu menu(this);
    for (int i = 0; i < failures.size(); ++i) {
        const auto& f = failures.at(i);
        QAction* a = menu.addAction(QStringLiteral("%1:%2").arg(f.host).arg(f.port));
        connect(a, &QAction::triggered, this, [this, i] { ShowCertificate(i); });
    }
    menu.exec(BCertificate->mapToGlobal(QPoint(0, BCertificate->height())));
}

} // namespace vm
