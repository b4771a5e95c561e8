#pragma once
// The settings window: the program-wide settings on five pages. Every show
// fills the controls from the settings object; OK checks, stores every value,
// writes velmora.ini and the start-with-the-session entry, loads another
// language when one was chosen and moves the mailbox files when their folder
// changed; Cancel (or closing) stores nothing.

#include <QColor>
#include <QString>

#include <functional>

#include "ui/common/TranslatedWindow.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QWidget;

namespace vm {

class MailboxFolderMove;

class CharsetEncodingFrame;
class SoundFileTest;

// The settings keep colours as 0x00BBGGRR; these convert at the edge.
QColor ColorFromBgr(int bgr);
int BgrFromColor(const QColor& color);

class SettingsWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit SettingsWindow(QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Fills every control from the settings, applies the enabling rules and
    // puts the focus on BCancel (the first step of Edit).
    void LoadFromSettings();
    // Shows the window modally; true when closed with OK (settings stored).
    bool Edit();
    // The steps of OK; closes the window when the settings were stored.
    // False when the user was sent back to the window.
    bool BOKClick();
    // Enables and disables the controls that depend on others.
    void ApplyEnablingRules();
    // The font colour the window holds, as the settings store it.
    int FontColor() const { return fontColor_; }

    // The dialogs the window opens; tests replace them. Each returns an
    // empty result (an invalid colour) when the user cancels.
    std::function<QString(const QString& start)> chooseFolder;
    std::function<QString(const QString& start)> chooseSoundFile;
    std::function<QColor(const QColor& initial)> chooseColor;
    // Where OK writes the settings; the data directory's velmora.ini unless set.
    QString settingsPath;

    QTabWidget* PGC = nullptr;
    QWidget* TSApplication = nullptr;
    QWidget* TSMail = nullptr;
    QWidget* TSMessages = nullptr;
    QWidget* TSNotifications = nullptr;
    QWidget* TSLanguages = nullptr;

    // Application
    QCheckBox* CBRunOnWindowsStartup = nullptr;
    QCheckBox* CBRunInTray = nullptr;
    QCheckBox* CBHoldOnStartup = nullptr;
    QSpinBox* PHoldStartup = nullptr;
    QCheckBox* CBAutoUpdate = nullptr;
    // Shown (and CBAutoUpdate disabled) when no update server is configured.
    QLabel* LNoUpdateServer = nullptr;
    QRadioButton* RBAlwaysNotifyFailure = nullptr;
    QRadioButton* RBNotifyFailureIfNotInTray = nullptr;
    QRadioButton* RBCrossHides = nullptr;
    QRadioButton* RBCrossCloses = nullptr;
    QCheckBox* CBSaveWndParams = nullptr;
    QCheckBox* CBPasswordsInKeyring = nullptr;
    QRadioButton* RBClassicNavigation = nullptr;
    QRadioButton* RBWebmailNavigation = nullptr;
    QCheckBox* CBShowMessagesOnStartUp = nullptr;
    QCheckBox* CBTurnOnDHTML = nullptr;
    QCheckBox* CBTurnOnGraphicsPreview = nullptr;
    QRadioButton* RBHeadersPage = nullptr;
    QRadioButton* RBBodyPage = nullptr;

    // Mail
    QCheckBox* CBMailAutoCheck = nullptr;
    QCheckBox* CBCheckMailOnStartup = nullptr;
    QCheckBox* CBCheckMailAtInterval = nullptr;
    QSpinBox* PMailCheckInterval = nullptr; // minutes
    QRadioButton* RBHeadersOnly = nullptr;
    QRadioButton* RBWhole = nullptr;
    QRadioButton* RBWholeIfSmall = nullptr;
    QSpinBox* PMaxDownloadSize = nullptr;
    QSpinBox* PConnectTimeout = nullptr;
    QRadioButton* RBSaveNothing = nullptr;
    QRadioButton* RBSaveUIDL = nullptr;
    QRadioButton* RBSaveHeadersOnly = nullptr;
    QRadioButton* RBSaveWhole = nullptr;
    QRadioButton* RBSaveWholeIfSmall = nullptr;
    QRadioButton* RBSaveWholeIfLarge = nullptr;
    QSpinBox* PMaxSaveSize = nullptr;
    QSpinBox* PMinSaveSize = nullptr;
    QRadioButton* RBMbxAppDir = nullptr;
    QRadioButton* RBMbxElsewhere = nullptr;
    QLineEdit* EMbxElsewhere = nullptr;
    QToolButton* SBMbxElsewhere = nullptr;

    // Messages
    QRadioButton* RBNewMsgTimeout = nullptr;
    QRadioButton* RBNewMsgUntilUnchecked = nullptr;
    QRadioButton* RBNewMsgUntilDisplayed = nullptr;
    QSpinBox* PNewMsgTimeout = nullptr;
    QSpinBox* POldMsgTime = nullptr;
    QComboBox* CBOldMsgUnit = nullptr;
    QCheckBox* CBOldMsgDefHidden = nullptr;
    QCheckBox* CBOldMsgGetHeaders = nullptr;
    QCheckBox* CBOldMsgSaveHeaders = nullptr;
    QComboBox* CBComposeMsgFormatting = nullptr;
    QComboBox* CBComposeMsgFontName = nullptr;
    QComboBox* CBComposeMsgFontSize = nullptr;
    QToolButton* SBComposeMsgFontColor = nullptr;
    CharsetEncodingFrame* ComposeMsgEncodingFrame = nullptr;
    QCheckBox* CBComposeMsgSaveAddressees = nullptr;

    // Notifications
    QCheckBox* CBNewMailBox = nullptr; // the message box while the window is open
    QCheckBox* CBSound = nullptr;
    QCheckBox* CBSplash = nullptr;
    QCheckBox* CBScrollLock = nullptr;
    QGroupBox* GBCustomSound = nullptr;
    QCheckBox* CBUseCustomSound = nullptr;
    QLineEdit* ECustomSound = nullptr;
    QPushButton* BSelectCustomSound = nullptr;
    QPushButton* BTestCustomSound = nullptr;
    QGroupBox* GBNotificationWindow = nullptr;
    QRadioButton* CBPersistentNotifWindow = nullptr;
    QRadioButton* CBTimedNotifWindow = nullptr;
    QSpinBox* PNotifShowTime = nullptr;

    // Languages
    QComboBox* CBLanguage = nullptr; // inside the panel PLanguage
    CharsetEncodingFrame* DefIncomingEncodingFrame = nullptr;

    QPushButton* BOK = nullptr;
    QPushButton* BCancel = nullptr;

private:
    void BuildApplicationPage();
    void BuildMailPage();
    void BuildMessagesPage();
    void BuildNotificationsPage();
    void BuildLanguagesPage();
    // The system's general font family, used wherever a fixed face would
    // otherwise be named.
    static QString SystemFontFamily();
    void FillLanguageList();
    void ShowFontColor();
    void SBMbxElsewhereClick();
    void BSelectCustomSoundClick();
    void BTestCustomSoundClick();
    void SBComposeMsgFontColorClick();
    // Checks the chosen mailbox folder and, when it differs from the folder
    // in use, writes the mailbox files there (the old ones stay until the
    // settings naming the new folder are written; see MailboxFolderMove).
    // False sends the user back. *target is the folder written to, or empty.
    bool CopyToMailboxFolder(MailboxFolderMove& move, QString* target);
    // Moves every account's passwords when "Keep passwords in the desktop
    // keyring" changed, and takes the new choice into the settings. False
    // (after the report) when nothing could move.
    bool ChangePasswordStorage();
    void StoreSettings();

    QButtonGroup* downloadRange_ = nullptr;
    QButtonGroup* saveRange_ = nullptr;
    QButtonGroup* newMessagesStyle_ = nullptr;
    int fontColor_ = 0;
    SoundFileTest* soundTest_ = nullptr;
};

} // namespace vm
