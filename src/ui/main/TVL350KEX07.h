#pragma once
// The main window: the account tree on the left, the list header, the
// message view (or the welcome page) on the right, the bottom tool bar and
// the status panel. The close box does not close the window directly: every
// close request goes through the shutdown sequence, which may refuse it.

#include <QMainWindow>

#include <functional>

class QLabel;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QFrame;

class TVL350KEX07 : public QMainWindow
{
    Q_OBJECT
public:
    explicit TVL350KEX07(QWidget* parent = nullptr);

    // Decides a close request; true lets the window close. Without a handler
    // the window closes.
    std::function<bool()> closeRequestHandler;

    // Runs the layout rules: the left panel keeps at least 512 pixels for the
    // right side, the header, view and welcome page share one column, the
    // bottom bar's seven buttons share the view's width.
    void UpdateLayout();
    // Tries a new left panel width from the splitter; accepted only when it
    // lies strictly between the panel's minimum and client width - 512.
    bool TrySetLeftWidth(int width);
    void SetStatusText(const QString& text);

    // Controls, named as the language file and the tests know them.
    QWidget* LeftPanel = nullptr;
    QTreeWidget* Tree = nullptr;
    QWidget* Splitter = nullptr;
    QFrame* PBoxHeader = nullptr;
    QToolButton* SBUnfilterList = nullptr;
    QLabel* PBoxInfo = nullptr;
    QWidget* ViewFrame = nullptr;
    QWidget* WelcomeFrame = nullptr;
    QWidget* BottomBar = nullptr;
    QToolButton* BRefresh = nullptr;
    QToolButton* BComposeNew = nullptr;
    QToolButton* BClient = nullptr;
    QToolButton* BAddressBook = nullptr;
    QToolButton* BSettings = nullptr;
    QToolButton* BInfo = nullptr;
    QToolButton* BTray = nullptr;
    QWidget* BottomPanel = nullptr;
    QLabel* PVersion = nullptr;
    QWidget* PStatus = nullptr;
    QLabel* StatusText = nullptr;
    QToolBar* ToolBar = nullptr;
    QToolButton* TBAbort = nullptr;
    QToolButton* TBLock = nullptr;

    static constexpr int kLeftMinWidth = 160;
    static constexpr int kRightMinWidth = 512;
    static constexpr int kSplitterWidth = 7;
    static constexpr int kBottomPanelHeight = 32;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* AddBarButton(const char* name, const QString& caption);
    QWidget* central_ = nullptr;
};
