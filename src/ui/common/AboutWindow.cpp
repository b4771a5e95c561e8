#include "ui/common/AboutWindow.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSslSocket>
#include <QVBoxLayout>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include "core/AppInfo.h"
#include "ui/common/TranslatedWindow.h"
#include "lang/Lang.h"

namespace vm {

namespace {

QLabel* AddLabel(QVBoxLayout* layout, const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    return label;
}

} // namespace

QStringList AboutWindow::LibraryLines()
{
    QString ssl = QSslSocket::sslLibraryVersionString();
    if (ssl.isEmpty())
        ssl = QStringLiteral("OpenSSL (not loaded)");
    return {QStringLiteral("Qt ") + QString::fromLatin1(qVersion()),
            QStringLiteral("GMime %1.%2.%3")
                .arg(gmime_major_version)
                .arg(gmime_minor_version)
                .arg(gmime_micro_version),
            ssl};
}

AboutWindow::AboutWindow(const QString& dataDir, std::function<void()> openHelp, QWidget* parent)
    : TranslatedWindow(parent), openHelp_(std::move(openHelp))
{
    setObjectName(QStringLiteral("AboutWnd"));
    const AppInfo& info = AppInfo::Instance();
    setWindowTitle(info.ProductName());
    auto* layout = new QVBoxLayout(this);
    LProduct = AddLabel(layout, "LProduct",
                        info.ProductName() + QLatin1Char(' ') + AppInfo::BareVersion() +
                            QLatin1Char('\n') + info.RightsLine(),
                        this);
    QFont big = LProduct->font();
    big.setBold(true);
    LProduct->setFont(big);
    // The licence statement; its text is the language's ABOUTWND/LLicence.
    LLicence = AddLabel(layout, "LLicence", QString(), this);
    LLicence->setWordWrap(true);
    LLibraries = AddLabel(layout, "LLibraries", LibraryLines().join(QLatin1Char('\n')), this);
    LDataDir = AddLabel(layout, "LDataDir", QDir::toNativeSeparators(dataDir), this);
    // The link's word from the language (section ABOUTWND), as plain text.
    QString help = LangText(QStringLiteral("ABOUTWND"), QStringLiteral("Help"));
    if (help.isEmpty())
        help = QStringLiteral("Help");
    LHelp = new QLabel(QStringLiteral("<a href=\"help\">") + help.toHtmlEscaped() +
                           QStringLiteral("</a>"),
                       this);
    LHelp->setObjectName(QStringLiteral("LHelp"));
    LHelp->setTextFormat(Qt::RichText);
    LHelp->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(LHelp, &QLabel::linkActivated, this, [this] {
        if (openHelp_)
            openHelp_();
    });
    layout->addWidget(LHelp);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("BOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    TranslateWindow(this);
}

} // namespace vm
