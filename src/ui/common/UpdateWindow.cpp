#include "ui/common/UpdateWindow.h"

#include "config/Settings.h"
#include "core/DateTime.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vm {

namespace {

UpdatePageOpener& PageOpener()
{
    static UpdatePageOpener opener;
    return opener;
}

void OpenUpdatePage(const QUrl& url)
{
    if (const UpdatePageOpener& opener = PageOpener())
        opener(url);
    else
        QDesktopServices::openUrl(url);
}

QLabel* WrappedLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setMinimumWidth(380);
    return label;
}

QPushButton* OkButton(QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("OK"), parent);
    button->setObjectName(QStringLiteral("BOK"));
    button->setDefault(true);
    return button;
}

void AddButtonRow(QVBoxLayout* layout, QPushButton* button)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button);
    layout->addLayout(row);
}

} // namespace

void SetUpdatePageOpener(UpdatePageOpener opener)
{
    PageOpener() = std::move(opener);
}

UpdateActivationWindow::UpdateActivationWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("UpdateActivationWnd"));
    setWindowTitle(QStringLiteral("Searching for updates"));
    LUpdateActivation = WrappedLabel("LUpdateActivation", this);
    RBTurnOn = new QRadioButton(QStringLiteral("Yes, activate searching for new versions"), this);
    RBTurnOn->setObjectName(QStringLiteral("RBTurnOn"));
    RBTurnOn->setChecked(true);
    RBTurnOff = new QRadioButton(QStringLiteral("No, do not activate it now"), this);
    RBTurnOff->setObjectName(QStringLiteral("RBTurnOff"));
    BOK = OkButton(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LUpdateActivation);
    layout->addWidget(RBTurnOn);
    layout->addWidget(RBTurnOff);
    AddButtonRow(layout, BOK);

    connect(BOK, &QPushButton::clicked, this,
            [this] { done(RBTurnOn->isChecked() ? QDialog::Accepted : QDialog::Rejected); });
    TranslateWindow(this);
}

UpdateFoundWindow::UpdateFoundWindow(Settings& settings, const QUrl& service, QWidget* parent)
    : TranslatedWindow(parent), settings_(settings), service_(service)
{
    setObjectName(QStringLiteral("UpdateFoundWnd"));
    setWindowTitle(QStringLiteral("Velmora: update available"));
    LUpdateFound = WrappedLabel("LUpdateFound", this);
    RBUpdate = new QRadioButton(QStringLiteral("Yes, take me to the update site"), this);
    RBUpdate->setObjectName(QStringLiteral("RBUpdate"));
    RBLater = new QRadioButton(QStringLiteral("Not now, remind me later:"), this);
    RBLater->setObjectName(QStringLiteral("RBLater"));
    CBRemind = new QComboBox(this);
    CBRemind->setObjectName(QStringLiteral("CBRemind"));
    CBRemind->addItems({QStringLiteral("tomorrow"), QStringLiteral("after 1 week"),
                        QStringLiteral("after 2 weeks"), QStringLiteral("after 1 month")});
    BOK = OkButton(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LUpdateFound);
    layout->addWidget(RBUpdate);
    auto* later = new QHBoxLayout;
    later->addWidget(RBLater);
    later->addWidget(CBRemind);
    later->addStretch();
    layout->addLayout(later);
    AddButtonRow(layout, BOK);

    connect(BOK, &QPushButton::clicked, this, &UpdateFoundWindow::OkClicked);
    TranslateWindow(this);
}

void UpdateFoundWindow::ShowOffer(const UpdateOffer& offer)
{
    offer_ = offer;
    RBUpdate->setChecked(true);
    CBRemind->setCurrentIndex(0);
    show();
    raise();
    activateWindow();
}

void UpdateFoundWindow::OkClicked()
{
    if (RBUpdate->isChecked()) {
        // The reply was checked when it arrived; the address is checked
        // again here, where it leaves the program.
        if (MayOpenUpdateAddress(offer_.address, service_))
            OpenUpdatePage(QUrl(offer_.address, QUrl::StrictMode));
        ApplyUpdateOpened(settings_, offer_);
    } else {
        ApplyUpdateReminder(settings_, CBRemind->currentIndex(), Now());
    }
    accept();
}

UpdateCheckControl::UpdateCheckControl(Settings& settings, const QUrl& service, QObject* parent)
    : QObject(parent), settings_(settings), service_(service)
{
}

UpdateCheckControl::~UpdateCheckControl() = default;

void UpdateCheckControl::RunStartupSteps()
{
    if (UpdateOptInDue(settings_, service_)) {
        UpdateActivationWindow window;
        ApplyUpdateOptIn(settings_, window.ShowModal() == QDialog::Accepted);
    }
    if (!UpdateQueryDue(settings_, service_, Now()) || query_)
        return;
    query_ = std::make_unique<UpdateQuery>();
    connect(query_.get(), &UpdateQuery::offerFound, this, &UpdateCheckControl::ShowOffer);
    connect(query_.get(), &UpdateQuery::finished, this, &UpdateCheckControl::queryFinished);
    query_->Start(service_, settings_.LastNotifiedUpdate);
}

void UpdateCheckControl::ShowOffer(const UpdateOffer& offer)
{
    if (!found_)
        found_ = std::make_unique<UpdateFoundWindow>(settings_, service_);
    found_->ShowOffer(offer);
}

} // namespace vm
