#include "ui/main/MainWindow.h"

#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <memory>

#include "config/Settings.h"
#include "core/AppInfo.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "ui/accounts/AccountWindow.h"
#include "ui/accounts/AccountWizard.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MainWindowShared.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"


namespace vm {

using namespace mainwindow;

namespace {

// A bottom bar button: the system paints the button, then the 32 x 32 image
// (its disabled variant when disabled) is drawn centred near the top and the
// caption centred below it.
class BarButton : public QToolButton
{
public:
    explicit BarButton(QWidget* parent) : QToolButton(parent) {}
    void SetImage(vm::BarImage image)
    {
        image_ = image;
        hasImage_ = true;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QStyleOptionToolButton opt;
        initStyleOption(&opt);
        opt.text.clear();
        opt.icon = QIcon();
        style()->drawComplexControl(QStyle::CC_ToolButton, &opt, &p, this);
        if (!hasImage_)
            return;
        QFont f = font();
        p.setFont(f);
        const QFontMetrics fm(f);
        const int th = fm.boundingRect(QStringLiteral("XYZ")).height();
        const int h = height();
        const int g = (h - th - 32) / 3;
        const QPixmap img = vm::BottomBarImage(image_, !isEnabled());
        p.drawPixmap((width() - 32) / 2, g, img);
        p.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                             : palette().color(QPalette::Disabled, QPalette::ButtonText));
        const int y = static_cast<int>(h - th - 1 - 1.5 * g);
        QString caption = text();
        caption.remove('&');
        p.drawText(QRect(0, y, width(), th), Qt::AlignHCenter | Qt::AlignTop,
                   fm.elidedText(caption, Qt::ElideRight, width() - 2));
    }

private:
    vm::BarImage image_ = vm::BarImage::Refresh;
    bool hasImage_ = false;
};

} // namespace

QToolButton* MainWindow::AddBarButton(const char* name, const QString& caption)
{
    auto* b = new BarButton(BottomBar);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setAutoRaise(true);
    return b;
}
void MainWindow::BuildBottomBar()
{
    BottomBar = new QWidget(central_);
    BottomBar->setObjectName(QStringLiteral("BottomBar"));
    BRefresh = AddBarButton("BRefresh", QStringLiteral("Check mail"));
    BComposeNew = AddBarButton("BComposeNew", QStringLiteral("New message"));
    BClient = AddBarButton("BClient", QStringLiteral("Client"));
    BAddressBook = AddBarButton("BAddressBook", QStringLiteral("Address book"));
    BSettings = AddBarButton("BSettings", QStringLiteral("Settings"));
    BInfo = AddBarButton("BInfo", QStringLiteral("About"));
    BTray = AddBarButton("BTray", QStringLiteral("To tray"));
    static_cast<BarButton*>(BRefresh)->SetImage(vm::BarImage::Refresh);
    static_cast<BarButton*>(BComposeNew)->SetImage(vm::BarImage::ComposeNew);
    static_cast<BarButton*>(BClient)->SetImage(vm::BarImage::Client);
    static_cast<BarButton*>(BAddressBook)->SetImage(vm::BarImage::AddressBook);
    static_cast<BarButton*>(BSettings)->SetImage(vm::BarImage::Settings);
    static_cast<BarButton*>(BInfo)->SetImage(vm::BarImage::Info);
    static_cast<BarButton*>(BTray)->SetImage(vm::BarImage::ToTray);

    connect(BRefresh, &QToolButton::clicked, this, &MainWindow::BRefreshClick);
    connect(BComposeNew, &QToolButton::clicked, this, [this] {
        if (shownMailbox_ && commands.compose)
            commands.compose(nullptr, ShownAccount(), 3);
    });
    connect(BClient, &QToolButton::clicked, this, [this] {
        if (shownMailbox_ && commands.client)
            commands.client(ShownAccount());
    });
    connect(BAddressBook, &QToolButton::clicked, this, [this] {
        if (commands.addressBook)
            commands.addressBook();
    });
    connect(BSettings, &QToolButton::clicked, this, [this] {
        if (commands.settings)
            commands.settings();
    });
    connect(BInfo, &QToolButton::clicked, this, [this] {
        if (commands.about)
            commands.about();
    });
    connect(BTray, &QToolButton::clicked, this, [this] {
        if (commands.tray)
            commands.tray();
    });
}

void MainWindow::UpdateTrayButton()
{
    const bool crossHides = vm::AppSettings().CrossHides;
    BTray->setText(crossHides ? MainText("BTrayExit") : MainText("BTrayTray"));
    static_cast<BarButton*>(BTray)->SetImage(crossHides ? vm::BarImage::Exit
                                                        : vm::BarImage::ToTray);
    BTray->setEnabled(bool(commands.tray) && !(busy_ && crossHides));
}

} // namespace vm
