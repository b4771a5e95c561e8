#include "ui/settings/SettingsWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "config/MailboxFolder.h"
#include "config/PasswordStorage.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/AppInfo.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "lang/LanguageShell.h"
#include "mime/Charsets.h"
#include "model/AccountsDirectory.h"
#include "ops/UpdateCheck.h"
#include "platform/Autostart.h"
#include "ui/common/CharsetEncodingFrame.h"
#include "ui/common/FormParts.h"
#include "ui/common/NotificationSound.h"

namespace vm {

namespace {

const QString kSection = QStringLiteral("SettingsWnd");

void Choose(QButtonGroup* group, int id)
{
    if (QAbstractButton* b = group->button(id))
        b->setChecked(true);
}

} // namespace

QColor ColorFromBgr(int bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

int BgrFromColor(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

SettingsWindow::SettingsWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("SettingsWnd"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);

    chooseFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QString(), start);
    };
    chooseSoundFile = [this](const QString& start) {
        return QFileDialog::getOpenFileName(this, QString(), start);
    };
    chooseColor = [this](const QColor& initial) { return QColorDialog::getColor(initial, this); };

    auto* top = new QVBoxLayout(this);
    PGC = new QTabWidget(this);
    PGC->setObjectName(QStringLiteral("PGC"));
    top->addWidget(PGC);
    BuildApplicationPage();
    BuildMailPage();
    BuildMessagesPage();
    BuildNotificationsPage();
    BuildLanguagesPage();
    AddOkCancelRow(top, this, BOK, BCancel);

    // Every control an enabling rule looks at applies the rules again.
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (b->isCheckable())
            connect(b, &QAbstractButton::toggled, this, &SettingsWindow::ApplyEnablingRules);
    connect(ECustomSound, &QLineEdit::textChanged, this, &SettingsWindow::ApplyEnablingRules);

    connect(SBMbxElsewhere, &QToolButton::clicked, this, &SettingsWindow::SBMbxElsewhereClick);
    connect(BSelectCustomSound, &QPushButton::clicked, this,
            &SettingsWindow::BSelectCustomSoundClick);
    connect(BTestCustomSound, &QPushButton::clicked, this, &SettingsWindow::BTestCustomSoundClick);
    connect(SBComposeMsgFontColor, &QToolButton::clicked, this,
            &SettingsWindow::SBComposeMsgFontColorClick);
    connect(BOK, &QPushButton::clicked, this, [this] { BOKClick(); });
    connect(BCancel, &QPushButton::clicked, this, &SettingsWindow::reject);
    TranslateWindow(this);
}

SettingsWindow::~SettingsWindow() = default;

QString SettingsWindow::SystemFontFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

void SettingsWindow::FillLanguageList()
{
    CBLanguage->clear();
    QString current = QFileInfo(Language().Path).fileName();
    if (current.isEmpty())
        current = AppSettings().LanguageFile;
    const CommonContainer<LangHeader>& headers = LanguageHeaders();
    for (int i = 0; i < headers.Count(); ++i) {
        const LangHeader* h = headers.At(i);
        CBLanguage->addItem(h->Name + QStringLiteral(" (") + QString::fromUtf8(h->Symbol) + ')',
                            h->Path);
        if (QFileInfo(h->Path).fileName().compare(current, Qt::CaseInsensitive) == 0)
            CBLanguage->setCurrentIndex(CBLanguage->count() - 1);
    }
}

void SettingsWindow::ShowFontColor()
{
    QPixmap swatch(16, 16);
    swatch.fill(ColorFromBgr(fontColor_));
    SBComposeMsgFontColor->setIcon(QIcon(swatch));
}

void SettingsWindow::LoadFromSettings()
{
    const Settings& s = AppSettings();
    CBMailAutoCheck->setChecked(s.AutoMailCheck);
    CBCheckMailOnStartup->setChecked(s.CheckMailOnStartup);
    CBCheckMailAtInterval->setChecked(s.CheckMailOnTimer);
    PMailCheckInterval->setValue(s.AutoMailCheckInterval / 60);
    PConnectTimeout->setValue(s.ConnectTimeout);
    (s.MsgListNavigation == 0 ? RBClassicNavigation : RBWebmailNavigation)->setChecked(true);
    // Without an update server the box could do nothing: it is off and
    // disabled, and the note beside it says why.
    const bool updateServer = !UpdateServiceUrl().isEmpty();
    CBAutoUpdate->setChecked(updateServer && s.AutoUpdateCheck);
    CBAutoUpdate->setEnabled(updateServer);
    LNoUpdateServer->setVisible(!updateServer);
    PNewMsgTimeout->setValue(s.NewMessagesTimeout);
    Choose(newMessagesStyle_, s.NewMessagesStyle);
    CBRunOnWindowsStartup->setChecked(s.RunOnStartup);
    CBRunInTray->setChecked(s.RunMinimizedOnStartup);
    CBHoldOnStartup->setChecked(s.SleepOnStartup);
    PHoldStartup->setValue(s.StartupSleepingTime);
    CBShowMessagesOnStartUp->setChecked(s.ShowMessagesOnStartup);
    (s.CrossHides ? RBCrossHides : RBCrossCloses)->setChecked(true);
    CBUseCustomSound->setChecked(s.UseCustomMessageNotificationSound);
    ECustomSound->setText(s.CustomMessageNotificationSound);
    (s.MessageNotificationWindowType == 1 ? CBTimedNotifWindow : CBPersistentNotifWindow)
        ->setChecked(true);
    PNotifShowTime->setValue(s.MessageNotificationWindowTimeout);
    CBNewMailBox->setChecked(s.MessageNotificationBox);
    Choose(downloadRange_, s.MessagesDownloadRange);
    PMaxDownloadSize->setValue(s.MaximumDownloadSize);
    (s.AlwaysNotifyErrors ? RBAlwaysNotifyFailure : RBNotifyFailureIfNotInTray)->setChecked(true);
    (s.DefaultBrowserPage == 1 ? RBBodyPage : RBHeadersPage)->setChecked(true);
    CBTurnOnDHTML->setChecked(s.DHTMLPreview);
    CBTurnOnGraphicsPreview->setChecked(s.GraphicsPreview);
    CBSound->setChecked(s.MessageNotification & Settings::kNotifySound);
    CBSplash->setChecked(s.MessageNotification & Settings::kNotifyWindow);
    CBScrollLock->setChecked(s.MessageNotification & Settings::kNotifyScrollLock);
    CBOldMsgDefHidden->setChecked(s.OldMessagesDefHidden);
    CBOldMsgSaveHeaders->setChecked(s.OldMessagesSaveHeaders);
    CBOldMsgGetHeaders->setChecked(s.OldMessagesGetHeaders);
    POldMsgTime->setValue(s.OldMessagesTime);
    if (s.OldMessagesUnit >= 0 && s.OldMessagesUnit < CBOldMsgUnit->count())
        CBOldMsgUnit->setCurrentIndex(s.OldMessagesUnit);
    Choose(saveRange_, s.MessageSaveRange);
    PMaxSaveSize->setValue(s.MaximumSaveSize);
    PMinSaveSize->setValue(s.MinimumSaveSize);
    (s.MbxStorage.isEmpty() ? RBMbxAppDir : RBMbxElsewhere)->setChecked(true);
    EMbxElsewhere->setText(s.MbxStorage);
    CBSaveWndParams->setChecked(s.SaveWindowParams);
    CBPasswordsInKeyring->setChecked(s.PasswordStorage == 1);
    FillLanguageList();
    DefIncomingEncodingFrame->SelectCharset(s.DefIncomingEncoding);
    CBComposeMsgFormatting->setCurrentIndex(s.ComposeMessageFormatted ? 0 : 1);
    int font = CBComposeMsgFontName->findText(s.ComposeMessageFontName, Qt::MatchFixedString);
    if (font < 0)
        font = CBComposeMsgFontName->findText(SystemFontFamily(), Qt::MatchFixedString);
    CBComposeMsgFontName->setCurrentIndex(font);
    CBComposeMsgFontSize->setEditText(QString::number(s.ComposeMessageFontSize));
    fontColor_ = s.ComposeMessageFontColor;
    ShowFontColor();
    ComposeMsgEncodingFrame->SelectCharset(s.ComposeMessageEncoding);
    CBComposeMsgSaveAddressees->setChecked(s.ComposeMessageSaveRecipients);

    PGC->setCurrentIndex(0);
    ApplyEnablingRules();
    BCancel->setFocus();
}

bool SettingsWindow::Edit()
{
    LoadFromSettings();
    return ShowModal() == QDialog::Accepted;
}

void SettingsWindow::ApplyEnablingRules()
{
    const bool autoCheck = CBMailAutoCheck->isChecked();
    CBCheckMailOnStartup->setEnabled(autoCheck);
    CBCheckMailAtInterval->setEnabled(autoCheck);
    PMailCheckInterval->setEnabled(autoCheck && CBCheckMailAtInterval->isChecked());

    const bool run = CBRunOnWindowsStartup->isChecked();
    CBRunInTray->setEnabled(run);
    CBHoldOnStartup->setEnabled(run);
    PHoldStartup->setEnabled(run && CBHoldOnStartup->isChecked());

    CBTurnOnGraphicsPreview->setEnabled(CBTurnOnDHTML->isChecked());

    const bool splash = CBSplash->isChecked();
    CBPersistentNotifWindow->setEnabled(splash);
    CBTimedNotifWindow->setEnabled(splash);
    PNotifShowTime->setEnabled(splash && CBTimedNotifWindow->isChecked());

    const bool sound = CBSound->isChecked();
    const bool custom = sound && CBUseCustomSound->isChecked();
    CBUseCustomSound->setEnabled(sound);
    ECustomSound->setEnabled(custom);
    BSelectCustomSound->setEnabled(custom);
    BTestCustomSound->setEnabled(custom && !ECustomSound->text().isEmpty());

    CBOldMsgGetHeaders->setEnabled(!RBHeadersOnly->isChecked());
    PMaxDownloadSize->setEnabled(RBWholeIfSmall->isChecked());
    PMaxSaveSize->setEnabled(RBSaveWholeIfSmall->isChecked());
    PMinSaveSize->setEnabled(RBSaveWholeIfLarge->isChecked());
    CBOldMsgSaveHeaders->setEnabled(!RBSaveNothing->isChecked() && !RBSaveHeadersOnly->isChecked());

    EMbxElsewhere->setEnabled(RBMbxElsewhere->isChecked());
    SBMbxElsewhere->setEnabled(RBMbxElsewhere->isChecked());
    PNewMsgTimeout->setEnabled(RBNewMsgTimeout->isChecked());
}

void SettingsWindow::SBMbxElsewhereClick()
{
    const QString folder = chooseFolder ? chooseFolder(EMbxElsewhere->text().trimmed()) : QString();
    if (folder.isEmpty())
        return;
    EMbxElsewhere->setText(folder.trimmed());
    EMbxElsewhere->setCursorPosition(static_cast<int>(EMbxElsewhere->text().size()));
}

void SettingsWindow::BSelectCustomSoundClick()
{
    const QString file = chooseSoundFile ? chooseSoundFile(ECustomSound->text()) : QString();
    if (!file.isEmpty())
        ECustomSound->setText(file);
}

void SettingsWindow::BTestCustomSoundClick()
{
    if (!soundTest_->Play(ECustomSound->text()))
        ShowError(LangText(kSection, QStringLiteral("ErrorCustomSoundFileDNE")));
}

void SettingsWindow::SBComposeMsgFontColorClick()
{
    const QColor chosen = chooseColor ? chooseColor(ColorFromBgr(fontColor_)) : QColor();
    if (!chosen.isValid())
        return;
    fontColor_ = BgrFromColor(chosen);
    ShowFontColor();
}

bool SettingsWindow::CopyToMailboxFolder(MailboxFolderMove& move, QString* target)
{
    target->clear();
    const QString typed = RBMbxElsewhere->isChecked() ? EMbxElsewhere->text().trimmed() : QString();
    const QString chosen = typed.isEmpty() ? AppInfo::Instance().ProgramDir() : typed;
    QString current = Accounts().MailboxDirectory();
    if (current.isEmpty())
        current = MailboxDirectoryFromSettings();
    if (ComparableFolder(chosen) == ComparableFolder(current))
        return true;

    auto backToField = [this] {
        PGC->setCurrentWidget(TSMail);
        (RBMbxElsewhere->isChecked() ? static_cast<QWidget*>(EMbxElsewhere) : RBMbxAppDir)
            ->setFocus();
        return false;
    };
    if (!FolderAcceptsFiles(chosen)) {
        ShowError(LangFormat(kSection, QStringLiteral("ErrorMbxStorage"), {chosen}));
        return backToField();
    }
    if (FolderHoldsMailboxes(chosen) &&
        !AskYesNo(LangFormat(kSection, QStringLiteral("MbxStorageHoldsMailboxes"), {chosen})))
        return backToField();
    QString error;
    if (!move.Copy(chosen, SaveOptionsFromSettings(), &error)) {
        ShowError(LangFormat(kSection, QStringLiteral("ErrorMovingMailboxes"), {chosen, error}));
        return backToField();
    }
    *target = chosen;
    return true;
}

bool SettingsWindow::ChangePasswordStorage()
{
    const bool toKeyring = CBPasswordsInKeyring->isChecked();
    if (toKeyring == (AppSettings().PasswordStorage == 1))
        return true;
    const MailboxSaveOptions options = SaveOptionsFromSettings();
    const PasswordMoveResult moved =
        toKeyring ? MovePasswordsToKeyring(Accounts(), InstalledSecretVault(), options)
                  : MovePasswordsToFiles(Accounts(), InstalledSecretVault(), options);
    const QString report = PasswordMoveReport(moved, toKeyring);
    if (!moved.moved) {
        ShowError(report);
        PGC->setCurrentWidget(TSApplication);
        CBPasswordsInKeyring->setFocus();
        return false;
    }
    AppSettings().PasswordStorage = toKeyring ? 1 : 0;
    if (!report.isEmpty())
        ShowWarning(report);
    return true;
}

void SettingsWindow::StoreSettings()
{
    Settings& s = AppSettings();
    s.AutoMailCheck = CBMailAutoCheck->isChecked();
    s.CheckMailOnStartup = CBCheckMailOnStartup->isChecked();
    s.CheckMailOnTimer = CBCheckMailAtInterval->isChecked();
    s.AutoMailCheckInterval = PMailCheckInterval->value() * 60;
    s.ConnectTimeout = PConnectTimeout->value();
    s.MsgListNavigation = RBClassicNavigation->isChecked() ? 0 : 1;
    if (LNoUpdateServer->isHidden()) // else the box was off for want of a server
        s.AutoUpdateCheck = CBAutoUpdate->isChecked();
    s.NewMessagesTimeout = PNewMsgTimeout->value();
    if (newMessagesStyle_->checkedId() >= 0)
        s.NewMessagesStyle = newMessagesStyle_->checkedId();
    s.RunOnStartup = CBRunOnWindowsStartup->isChecked();
    s.RunMinimizedOnStartup = CBRunInTray->isChecked();
    s.SleepOnStartup = CBHoldOnStartup->isChecked();
    s.StartupSleepingTime = PHoldStartup->value();
    s.ShowMessagesOnStartup = CBShowMessagesOnStartUp->isChecked();
    s.CrossHides = RBCrossHides->isChecked();
    s.UseCustomMessageNotificationSound = CBUseCustomSound->isChecked();
    s.CustomMessageNotificationSound = ECustomSound->text();
    s.MessageNotificationWindowType = CBTimedNotifWindow->isChecked() ? 1 : 0;
    s.MessageNotificationWindowTimeout = PNotifShowTime->value();
    s.MessageNotificationBox = CBNewMailBox->isChecked();
    if (downloadRange_->checkedId() >= 0)
        s.MessagesDownloadRange = downloadRange_->checkedId();
    s.MaximumDownloadSize = PMaxDownloadSize->value();
    s.AlwaysNotifyErrors = RBAlwaysNotifyFailure->isChecked();
    s.DefaultBrowserPage = RBBodyPage->isChecked() ? 1 : 0;
    s.DHTMLPreview = CBTurnOnDHTML->isChecked();
    s.GraphicsPreview = CBTurnOnGraphicsPreview->isChecked();
    // The set is rebuilt from the three boxes alone.
    s.MessageNotification = (CBSound->isChecked() ? Settings::kNotifySound : 0) |
                            (CBSplash->isChecked() ? Settings::kNotifyWindow : 0) |
                            (CBScrollLock->isChecked() ? Settings::kNotifyScrollLock : 0);
    s.OldMessagesDefHidden = CBOldMsgDefHidden->isChecked();
    s.OldMessagesSaveHeaders = CBOldMsgSaveHeaders->isChecked();
    s.OldMessagesGetHeaders = CBOldMsgGetHeaders->isChecked();
    s.SetOldMessagesTime(POldMsgTime->value());
    s.SetOldMessagesUnit(CBOldMsgUnit->currentIndex() >= 0 ? CBOldMsgUnit->currentIndex()
                                                           : s.OldMessagesUnit);
    if (saveRange_->checkedId() >= 0)
        s.MessageSaveRange = saveRange_->checkedId();
    s.MaximumSaveSize = PMaxSaveSize->value();
    s.MinimumSaveSize = PMinSaveSize->value();
    s.MbxStorage = RBMbxElsewhere->isChecked() ? EMbxElsewhere->text() : QString();
    s.SaveWindowParams = CBSaveWndParams->isChecked();
    s.PasswordStorage = CBPasswordsInKeyring->isChecked() ? 1 : 0;
    s.DefIncomingEncoding = DefIncomingEncodingFrame->SelectedCharset();
    s.ComposeMessageFormatted = CBComposeMsgFormatting->currentIndex() == 0;
    if (CBComposeMsgFontName->currentIndex() >= 0)
        s.ComposeMessageFontName = CBComposeMsgFontName->currentText();
    bool sizeOk = false;
    const int size = CBComposeMsgFontSize->currentText().trimmed().toInt(&sizeOk);
    if (sizeOk && size >= 1 && size <= Settings::kMaxFontSize)
        s.ComposeMessageFontSize = size;
    s.ComposeMessageFontColor = fontColor_;
    s.ComposeMessageEncoding = ComposeMsgEncodingFrame->SelectedCharset();
    s.ComposeMessageSaveRecipients = CBComposeMsgSaveAddressees->isChecked();
}

bool SettingsWindow::BOKClick()
{
    Settings& s = AppSettings();

    if (CBSound->isChecked() && CBUseCustomSound->isChecked() &&
        !QFileInfo(ECustomSound->text()).isFile() &&
        !AskYesNo(LangFormat(kSection, QStringLiteral("ErrorCustomSoundFileSave"),
                             {ECustomSound->text()})))
        return false;

    // The passwords move first: a move that cannot be made changes nothing,
    // and one that was made is kept even when the window stays open. The
    // mailbox files are then written into a new folder (with the passwords
    // where they now belong); the old ones go only once the settings that
    // name the new folder are on the disk.
    if (!ChangePasswordStorage())
        return false;
    MailboxFolderMove move(Accounts());
    QString movedTo;
    if (!CopyToMailboxFolder(move, &movedTo))
        return false;
    const QString previousStorage = s.MbxStorage;

    // Another language: loading it translates every window.
    const QString chosenPath = CBLanguage->currentData().toString();
    QString current = QFileInfo(Language().Path).fileName();
    if (current.isEmpty())
        current = s.LanguageFile;
    const QString chosenName = QFileInfo(chosenPath).fileName();
    if (!chosenPath.isEmpty() && chosenName.compare(current, Qt::CaseInsensitive) != 0) {
        if (LoadLanguage(chosenPath))
            s.LanguageFile = chosenName;
        else
            ShowError(LangFormat(kSection, QStringLiteral("ErrorLoadingLngShell"), {chosenName}));
    }

    SetDefaultIncomingCharset(DefIncomingEncodingFrame->SelectedCharset());

    // A download choice that fetches more than before makes the next check
    // of every mailbox read the whole list again.
    const int newRange = downloadRange_->checkedId();
    const bool reread = newRange != 0 && s.MessagesDownloadRange != 1;
    for (int i = 0; i < Accounts().Count(); ++i)
        Accounts().At(i)->Box().SetCheckFailed(reread);

    StoreSettings();

    const QString path =
        settingsPath.isEmpty() ? AppInfo::Instance().SettingsFilePath() : settingsPath;
    QString reason;
    const bool saved = s.Save(path, &reason);
    const QString notSaved = LangFormat(kSection, QStringLiteral("ErrorSavingSettings"), {path});
    if (!movedTo.isEmpty() && !saved) {
        // The next start would look in the old folder: the files stay there.
        move.Undo();
        s.MbxStorage = previousStorage;
        ShowError(LangFormat(kSection, QStringLiteral("ErrorMovingMailboxes"),
                             {movedTo, notSaved + QLatin1Char(' ') + reason}));
    } else if (!saved) {
        ShowError(WithReason(notSaved, reason));
    } else if (!movedTo.isEmpty()) {
        move.Finish();
    }
    if (!s.WriteStartupEntry())
        ShowError(
            LangFormat(kSection, QStringLiteral("ErrorWritingAutostart"), {AutostartFilePath()}));
    accept();
    return true;
}

} // namespace vm
