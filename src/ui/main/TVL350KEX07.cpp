#include "ui/main/TVL350KEX07.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/MyApplication.h"

namespace {

// The 7-pixel bar between the tree and the right side; dragging it asks the
// window for a new left width.
class SplitterBar : public QWidget
{
public:
    explicit SplitterBar(TVL350KEX07* window, QWidget* parent) : QWidget(parent), window_(window)
    {
        setCursor(Qt::SplitHCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        dragging_ = e->button() == Qt::LeftButton;
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (dragging_)
            window_->TrySetLeftWidth(mapTo(parentWidget(), e->position().toPoint()).x());
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

private:
    TVL350KEX07* window_;
    bool dragging_ = false;
};

} // namespace

TVL350KEX07::TVL350KEX07(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MAINWND"));
    setWindowTitle(vm::MyApplication::Instance().ProductName() + ' ' +
                   vm::MyApplication::Instance().ProductVersion());
    setMinimumSize(860, 500);
    central_ = new QWidget(this);
    setCentralWidget(central_);

    LeftPanel = new QWidget(central_);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    LeftPanel->resize(200, 100);
    auto* leftLayout = new QVBoxLayout(LeftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    Tree = new QTreeWidget(LeftPanel);
    Tree->setObjectName(QStringLiteral("Tree"));
    Tree->setHeaderHidden(true);
    Tree->setIndentation(23);
    Tree->setRootIsDecorated(false);
    leftLayout->addWidget(Tree);

    Splitter = new SplitterBar(this, central_);
    Splitter->setObjectName(QStringLiteral("Splitter"));

    PBoxHeader = new QFrame(central_);
    PBoxHeader->setObjectName(QStringLiteral("PBoxHeader"));
    PBoxHeader->setFrameShape(QFrame::StyledPanel);
    PBoxHeader->setFixedHeight(24);
    SBUnfilterList = new QToolButton(PBoxHeader);
    SBUnfilterList->setObjectName(QStringLiteral("SBUnfilterList"));
    SBUnfilterList->setGeometry(1, 1, 22, 22);
    SBUnfilterList->setVisible(false);
    PBoxInfo = new QLabel(PBoxHeader);
    PBoxInfo->setObjectName(QStringLiteral("PBoxInfo"));
    PBoxInfo->setGeometry(28, 2, 600, 20);

    ViewFrame = new QWidget(central_);
    ViewFrame->setObjectName(QStringLiteral("ViewFrame"));
    ViewFrame->setVisible(false);
    WelcomeFrame = new QWidget(central_);
    WelcomeFrame->setObjectName(QStringLiteral("WelcomeFrame"));
    WelcomeFrame->setAutoFillBackground(true);
    QPalette wp = WelcomeFrame->palette();
    wp.setColor(QPalette::Window, Qt::white);
    WelcomeFrame->setPalette(wp);

    BottomBar = new QWidget(central_);
    BottomBar->setObjectName(QStringLiteral("BottomBar"));
    BRefresh = AddBarButton("BRefresh", tr("Check"));
    BComposeNew = AddBarButton("BComposeNew", tr("New"));
    BClient = AddBarButton("BClient", tr("Client"));
    BAddressBook = AddBarButton("BAddressBook", tr("Addresses"));
    BSettings = AddBarButton("BSettings", tr("Settings"));
    BInfo = AddBarButton("BInfo", tr("About"));
    BTray = AddBarButton("BTray", tr("Hide"));

    BottomPanel = new QWidget(central_);
    BottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    PVersion = new QLabel(BottomPanel);
    PVersion->setObjectName(QStringLiteral("PVersion"));
    PVersion->setText(vm::MyApplication::Instance().ProductVersion());
    PVersion->setFrameShape(QFrame::StyledPanel);
    PStatus = new QWidget(BottomPanel);
    PStatus->setObjectName(QStringLiteral("PStatus"));
    auto* statusLayout = new QHBoxLayout(PStatus);
    statusLayout->setContentsMargins(4, 0, 0, 0);
    StatusText = new QLabel(PStatus);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    statusLayout->addWidget(StatusText, 1);
    ToolBar = new QToolBar(PStatus);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    TBAbort = new QToolButton(ToolBar);
    TBAbort->setObjectName(QStringLiteral("TBAbort"));
    TBAbort->setText(tr("Stop"));
    TBAbort->setEnabled(false);
    ToolBar->addWidget(TBAbort);
    TBLock = new QToolButton(ToolBar);
    TBLock->setObjectName(QStringLiteral("TBLock"));
    TBLock->setText(tr("Lock"));
    ToolBar->addWidget(TBLock);
    statusLayout->addWidget(ToolBar);

    resize(900, 600);
    UpdateLayout();
}

QToolButton* TVL350KEX07::AddBarButton(const char* name, const QString& caption)
{
    auto* b = new QToolButton(BottomBar);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    return b;
}

void TVL350KEX07::SetStatusText(const QString& text)
{
    StatusText->setText(text);
    StatusText->repaint();
}

bool TVL350KEX07::TrySetLeftWidth(int width)
{
    const int clientWidth = central_->width();
    if (width <= kLeftMinWidth || width >= clientWidth - kRightMinWidth)
        return false;
    LeftPanel->resize(width, LeftPanel->height());
    UpdateLayout();
    return true;
}

void TVL350KEX07::UpdateLayout()
{
    const int cw = central_->width();
    const int ch = central_->height();
    const int barHeight = 56;
    int leftWidth = std::max(LeftPanel->width(), kLeftMinWidth);
    if (cw - kRightMinWidth < leftWidth)
        leftWidth = std::max(cw - kRightMinWidth, 0);
    const int bottomTop = ch - kBottomPanelHeight;
    LeftPanel->setGeometry(0, 0, leftWidth, bottomTop);
    Splitter->setGeometry(leftWidth, 0, kSplitterWidth, bottomTop);

    const int viewLeft = leftWidth + kSplitterWidth;
    const int viewWidth = std::max(cw - viewLeft - 1, 0);
    PBoxHeader->setGeometry(viewLeft, 0, viewWidth, PBoxHeader->height());
    const int viewTop = PBoxHeader->height();
    const int viewHeight = std::max(ch - barHeight - kBottomPanelHeight - viewTop, 0);
    ViewFrame->setGeometry(viewLeft, viewTop, viewWidth, viewHeight);
    WelcomeFrame->setGeometry(viewLeft, viewTop, viewWidth, viewHeight);

    const QList<QToolButton*> buttons{BRefresh, BComposeNew, BClient, BAddressBook,
                                      BSettings, BInfo, BTray};
    const int w = viewWidth / 7;
    const int barLeft = viewLeft + (viewWidth - 7 * w) / 2;
    BottomBar->setGeometry(barLeft, bottomTop - barHeight, 7 * w, barHeight);
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setGeometry(i * w, 0, w, barHeight);

    BottomPanel->setGeometry(0, bottomTop, cw, kBottomPanelHeight);
    PVersion->setGeometry(0, 0, leftWidth + 1, kBottomPanelHeight);
    PStatus->setGeometry(viewLeft, 0, cw - viewLeft + 1, kBottomPanelHeight);
}

void TVL350KEX07::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    UpdateLayout();
}

void TVL350KEX07::closeEvent(QCloseEvent* event)
{
    if (closeRequestHandler && !closeRequestHandler())
        event->ignore();
    else
        event->accept();
}
