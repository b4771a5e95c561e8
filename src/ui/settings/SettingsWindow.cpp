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

QCheckBox* Check(const char* name, const QString& text, QWidget* parent)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QRadioButton* Radio(const char* name, const QString& text, QWidget* parent)
{
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

// A numeric field from 1 to max; the maximum keeps the value, and whatever
// the program multiplies it by, inside an int.
QSpinBox* Spin(const char* name, int max, QWidget* parent)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(1, max);
    s->setMinimumWidth(90);
    return s;
}

QGroupBox* Group(const char* name, const QString& title, QWidget* parent)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QString::fromLatin1(name));
    return g;
}

// A group of exclusive choices; the ids are the stored values.
QButtonGroup* Choices(QObject* owner, std::initializer_list<std::pair<QRadioButton*, int>> items)
{
    auto* g = new QButtonGroup(owner);
    for (const auto& [button, id] : items)
        g->addButton(button, id);
    return g;
}

void Choose(QButtonGroup* group, int id)
{
    if (QAbstractButton* b = group->button(id))
        b->setChecked(true);
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    for (QWidget* w : widgets)
        row->addWidget(w);
    row->addStretch(1);
    return row;
}

QWidget* Page(QTabWidget* tabs, const char* name, const QString& title)
{
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    tabs->addTab(page, title);
    return page;
}

// The system's general font family, used wherever a fixed face would
// otherwise be named.
QString SystemFontFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
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

void SettingsWindow::BuildApplicationPage()
{
    TSApplication = Page(PGC, "TSApplication", QStringLiteral("Application"));
    auto* grid = new QGridLayout(TSApplication);

    auto* start = Group("GBAutostart", QStringLiteral("Start-up"), TSApplication);
    auto* s = new QVBoxLayout(start);
    CBRunOnWindowsStartup = Check("CBRunOnWindowsStartup",
                                  QStringLiteral("Start Velmora together with my session"), start);
    CBRunInTray = Check("CBRunInTray", QStringLiteral("Start minimized to the tray"), start);
    CBHoldOnStartup = Check("CBHoldOnStartup", QStringLiteral("Delay the first mail check"), start);
    PHoldStartup = Spin("PHoldStartup", Settings::kMaxSeconds, start);
    s->addWidget(CBRunOnWindowsStartup);
    s->addWidget(CBRunInTray);
    s->addLayout(Row({CBHoldOnStartup, PHoldStartup}));

    auto* update = Group("GBAutoUpdate", QStringLiteral("Updates"), TSApplication);
    auto* u = new QVBoxLayout(update);
    CBAutoUpdate = Check("CBAutoUpdate", QStringLiteral("Check for a new version"), update);
    u->addWidget(CBAutoUpdate);
    LNoUpdateServer = NamedLabel("LNoUpdateServer",
                                 QStringLiteral("No update server is configured."), update);
    u->addWidget(LNoUpdateServer);

    auto* errors = Group("GBErrors", QStringLiteral("Failed operations"), TSApplication);
    auto* e = new QVBoxLayout(errors);
    RBAlwaysNotifyFailure =
        Radio("RBAlwaysNotifyFailure", QStringLiteral("Always report failures"), errors);
    RBNotifyFailureIfNotInTray =
        Radio("RBNotifyFailureIfNotInTray", QStringLiteral("Not while in the tray"), errors);
    e->addWidget(RBAlwaysNotifyFailure);
    e->addWidget(RBNotifyFailureIfNotInTray);

    auto* cross = Group("GBHideOrTerminate", QStringLiteral("Window close button"), TSApplication);
    auto* c = new QVBoxLayout(cross);
    RBCrossHides = Radio("RBCrossHides", QStringLiteral("Hides the program"), cross);
    RBCrossCloses = Radio("RBCrossCloses", QStringLiteral("Closes the program"), cross);
    c->addWidget(RBCrossHides);
    c->addWidget(RBCrossCloses);
    CBSaveWndParams =
        Check("CBSaveWndParams", QStringLiteral("Remember the main window's position and size"),
              TSApplication);
    CBPasswordsInKeyring = Check("CBPasswordsInKeyring",
                                 QStringLiteral("Keep passwords in the desktop keyring"),
                                 TSApplication);

    auto* list = Group("GBMessageList", QStringLiteral("Message list"), TSApplication);
    auto* l = new QVBoxLayout(list);
    RBClassicNavigation = Radio("RBClassicNavigation", QStringLiteral("Classic"), list);
    RBWebmailNavigation = Radio("RBWebmailNavigation", QStringLiteral("Webmail-like"), list);
    CBShowMessagesOnStartUp =
        Check("CBShowMessagesOnStartUp", QStringLiteral("Show the stored message lists"), list);
    l->addWidget(NamedLabel("LNavigationStyle", QStringLiteral("Navigation style:"), list));
    l->addWidget(RBClassicNavigation);
    l->addWidget(RBWebmailNavigation);
    l->addWidget(NamedLabel("LShowMessagesOnStartup", QStringLiteral("At start-up:"), list));
    l->addWidget(CBShowMessagesOnStartUp);

    auto* preview = Group("GBPreview", QStringLiteral("Preview"), TSApplication);
    auto* p = new QVBoxLayout(preview);
    CBTurnOnDHTML = Check("CBTurnOnDHTML", QStringLiteral("Show messages as HTML"), preview);
    CBTurnOnGraphicsPreview =
        Check("CBTurnOnGraphicsPreview", QStringLiteral("Show pictures"), preview);
    RBHeadersPage = Radio("RBHeadersPage", QStringLiteral("Headers"), preview);
    RBBodyPage = Radio("RBBodyPage", QStringLiteral("Body"), preview);
    p->addWidget(CBTurnOnDHTML);
    p->addWidget(CBTurnOnGraphicsPreview);
    p->addWidget(NamedLabel("LDefaultMessagePage",
                            QStringLiteral("First page of the details window:"), preview));
    p->addLayout(Row({RBHeadersPage, RBBodyPage}));

    grid->addWidget(start, 0, 0);
    grid->addWidget(update, 1, 0);
    grid->addWidget(errors, 2, 0);
    grid->addWidget(cross, 3, 0);
    grid->addWidget(list, 0, 1, 2, 1);
    grid->addWidget(preview, 2, 1, 2, 1);
    grid->addWidget(CBSaveWndParams, 4, 0, 1, 2);
    grid->addWidget(CBPasswordsInKeyring, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);

    Choices(this, {{RBAlwaysNotifyFailure, 1}, {RBNotifyFailureIfNotInTray, 0}});
    Choices(this, {{RBCrossHides, 1}, {RBCrossCloses, 0}});
    Choices(this, {{RBClassicNavigation, 0}, {RBWebmailNavigation, 1}});
    Choices(this, {{RBHeadersPage, 0}, {RBBodyPage, 1}});
}

void SettingsWindow::BuildMailPage()
{
    TSMail = Page(PGC, "TSMail", QStringLiteral("Mail"));
    auto* grid = new QGridLayout(TSMail);

    auto* checking = Group("GBMailChecking", QStringLiteral("Checking mail"), TSMail);
    auto* c = new QVBoxLayout(checking);
    CBMailAutoCheck =
        Check("CBMailAutoCheck", QStringLiteral("Check mail automatically"), checking);
    CBCheckMailOnStartup = Check("CBCheckMailOnStartup", QStringLiteral("At start-up"), checking);
    CBCheckMailAtInterval =
        Check("CBCheckMailAtInterval", QStringLiteral("Every (minutes):"), checking);
    PMailCheckInterval = Spin("PMailCheckInterval", Settings::kMaxCheckMinutes, checking);
    c->addWidget(CBMailAutoCheck);
    c->addWidget(CBCheckMailOnStartup);
    c->addLayout(Row({CBCheckMailAtInterval, PMailCheckInterval}));

    auto* retrieving = Group("GBMailRetrieving", QStringLiteral("A mail check downloads"), TSMail);
    auto* r = new QVBoxLayout(retrieving);
    RBHeadersOnly = Radio("RBHeadersOnly", QStringLiteral("Headers only"), retrieving);
    RBWhole = Radio("RBWhole", QStringLiteral("Whole messages"), retrieving);
    RBWholeIfSmall = Radio("RBWholeIfSmall", QStringLiteral("Whole if small"), retrieving);
    PMaxDownloadSize = Spin("PMaxDownloadSize", Settings::kMaxKilobytes, retrieving);
    r->addWidget(RBHeadersOnly);
    r->addWidget(RBWhole);
    r->addLayout(Row({RBWholeIfSmall, PMaxDownloadSize}));
    r->addWidget(NamedLabel("LMailRetrievinHint", QString(), retrieving));

    auto* connections = Group("GBConnections", QStringLiteral("Connections"), TSMail);
    auto* n = new QHBoxLayout(connections);
    PConnectTimeout = Spin("PConnectTimeout", Settings::kMaxSeconds, connections);
    n->addWidget(
        NamedLabel("LConnectTimeout", QStringLiteral("Time limit (seconds):"), connections));
    n->addWidget(PConnectTimeout);
    n->addStretch(1);

    auto* storage = Group("GBStorage", QStringLiteral("Mailbox files store"), TSMail);
    auto* st = new QVBoxLayout(storage);
    RBSaveNothing = Radio("RBSaveNothing", QStringLiteral("Nothing"), storage);
    RBSaveUIDL = Radio("RBSaveUIDL", QStringLiteral("Unique ids only"), storage);
    RBSaveHeadersOnly = Radio("RBSaveHeadersOnly", QStringLiteral("Headers only"), storage);
    RBSaveWhole = Radio("RBSaveWhole", QStringLiteral("Whole messages"), storage);
    RBSaveWholeIfSmall = Radio("RBSaveWholeIfSmall", QStringLiteral("Whole if small"), storage);
    RBSaveWholeIfLarge = Radio("RBSaveWholeIfLarge", QStringLiteral("Whole if large"), storage);
    PMaxSaveSize = Spin("PMaxSaveSize", Settings::kMaxKilobytes, storage);
    PMinSaveSize = Spin("PMinSaveSize", Settings::kMaxKilobytes, storage);
    RBMbxAppDir = Radio("RBMbxAppDir", QStringLiteral("the program's data directory"), storage);
    RBMbxElsewhere = Radio("RBMbxElsewhere", QStringLiteral("this directory:"), storage);
    EMbxElsewhere = NamedEdit("EMbxElsewhere", storage);
    SBMbxElsewhere = new QToolButton(storage);
    SBMbxElsewhere->setObjectName(QStringLiteral("SBMbxElsewhere"));
    SBMbxElsewhere->setText(QStringLiteral("..."));
    st->addWidget(RBSaveNothing);
    st->addWidget(RBSaveUIDL);
    st->addWidget(RBSaveHeadersOnly);
    st->addWidget(RBSaveWhole);
    st->addLayout(Row({RBSaveWholeIfSmall, PMaxSaveSize}));
    st->addLayout(Row({RBSaveWholeIfLarge, PMinSaveSize}));
    st->addWidget(NamedLabel("LMbxStorage", QStringLiteral("Mailbox files are kept in:"), storage));
    st->addWidget(RBMbxAppDir);
    auto* elsewhere = new QHBoxLayout;
    elsewhere->addWidget(RBMbxElsewhere);
    elsewhere->addWidget(EMbxElsewhere, 1);
    elsewhere->addWidget(SBMbxElsewhere);
    st->addLayout(elsewhere);
    // A changed folder takes effect at once (OK moves the files there), so
    // the note that it waits for a restart stays hidden.
    st->addWidget(NamedLabel("LMbxStorageRestart", QString(), storage));
    storage->findChild<QLabel*>(QStringLiteral("LMbxStorageRestart"))->hide();

    grid->addWidget(checking, 0, 0);
    grid->addWidget(retrieving, 1, 0);
    grid->addWidget(connections, 2, 0);
    grid->addWidget(storage, 0, 1, 3, 1);
    grid->setRowStretch(3, 1);

    downloadRange_ = Choices(this, {{RBHeadersOnly, 0}, {RBWhole, 1}, {RBWholeIfSmall, 2}});
    saveRange_ = Choices(this, {{RBSaveUIDL, 0},
                                {RBSaveHeadersOnly, 1},
                                {RBSaveWhole, 2},
                                {RBSaveWholeIfSmall, 3},
                                {RBSaveWholeIfLarge, 4},
                                {RBSaveNothing, 5}});
    Choices(this, {{RBMbxAppDir, 0}, {RBMbxElsewhere, 1}});
}

void SettingsWindow::BuildMessagesPage()
{
    TSMessages = Page(PGC, "TSMessages", QStringLiteral("Messages"));
    auto* grid = new QGridLayout(TSMessages);

    auto* fresh = Group("GBNewMessages", QStringLiteral("New messages"), TSMessages);
    auto* f = new QVBoxLayout(fresh);
    RBNewMsgTimeout = Radio("RBNewMsgTimeout", QStringLiteral("For seconds:"), fresh);
    RBNewMsgUntilUnchecked =
        Radio("RBNewMsgUntilUnchecked", QStringLiteral("Until unchecked"), fresh);
    RBNewMsgUntilDisplayed =
        Radio("RBNewMsgUntilDisplayed", QStringLiteral("Until displayed"), fresh);
    PNewMsgTimeout = Spin("PNewMsgTimeout", Settings::kMaxSeconds, fresh);
    f->addWidget(NamedLabel("LNewMsg", QStringLiteral("A message stays new:"), fresh));
    f->addLayout(Row({RBNewMsgTimeout, PNewMsgTimeout}));
    f->addWidget(RBNewMsgUntilUnchecked);
    f->addWidget(RBNewMsgUntilDisplayed);

    auto* old = Group("GBOldMessages", QStringLiteral("Old messages"), TSMessages);
    auto* o = new QVBoxLayout(old);
    POldMsgTime = Spin("POldMsgTime", Settings::kMaxAge, old);
    CBOldMsgUnit = new QComboBox(old);
    CBOldMsgUnit->setObjectName(QStringLiteral("CBOldMsgUnit"));
    CBOldMsgUnit->addItems({QStringLiteral("hour(s)"), QStringLiteral("day(s)"),
                            QStringLiteral("week(s)"), QStringLiteral("month(s)")});
    CBOldMsgDefHidden = Check("CBOldMsgDefHidden", QStringLiteral("Hide old messages"), old);
    CBOldMsgGetHeaders = Check("CBOldMsgGetHeaders", QStringLiteral("Download only headers"), old);
    CBOldMsgSaveHeaders = Check("CBOldMsgSaveHeaders", QStringLiteral("Store only headers"), old);
    o->addWidget(
        NamedLabel("LOldMessages", QStringLiteral("Messages are old when older than:"), old));
    o->addLayout(Row({POldMsgTime, CBOldMsgUnit}));
    o->addWidget(CBOldMsgDefHidden);
    o->addWidget(CBOldMsgGetHeaders);
    o->addWidget(CBOldMsgSaveHeaders);

    auto* compose = Group("GBComposeMessages", QStringLiteral("New messages"), TSMessages);
    auto* form = new QFormLayout(compose);
    CBComposeMsgFormatting = new QComboBox(compose);
    CBComposeMsgFormatting->setObjectName(QStringLiteral("CBComposeMsgFormatting"));
    CBComposeMsgFormatting->addItems(
        {QStringLiteral("formatted (HTML)"), QStringLiteral("plain text")});
    CBComposeMsgFontName = new QComboBox(compose);
    CBComposeMsgFontName->setObjectName(QStringLiteral("CBComposeMsgFontName"));
    CBComposeMsgFontName->addItems(QFontDatabase::families());
    CBComposeMsgFontSize = new QComboBox(compose);
    CBComposeMsgFontSize->setObjectName(QStringLiteral("CBComposeMsgFontSize"));
    CBComposeMsgFontSize->setEditable(true);
    for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72})
        CBComposeMsgFontSize->addItem(QString::number(size));
    SBComposeMsgFontColor = new QToolButton(compose);
    SBComposeMsgFontColor->setObjectName(QStringLiteral("SBComposeMsgFontColor"));
    ComposeMsgEncodingFrame = new CharsetEncodingFrame(compose);
    ComposeMsgEncodingFrame->setObjectName(QStringLiteral("ComposeMsgEncodingFrame"));
    CBComposeMsgSaveAddressees =
        Check("CBComposeMsgSaveAddressees", QStringLiteral("Add recipients to the address book"),
              compose);
    auto* font = new QHBoxLayout;
    font->addWidget(CBComposeMsgFontName, 1);
    font->addWidget(CBComposeMsgFontSize);
    font->addWidget(SBComposeMsgFontColor);
    form->addRow(NamedLabel("LComposeMsgFormatting", QStringLiteral("Format:"), compose, false),
                 CBComposeMsgFormatting);
    form->addRow(NamedLabel("LComposeMsgFont", QStringLiteral("Font:"), compose, false), font);
    form->addRow(NamedLabel("LComposeMsgEncoding", QStringLiteral("Encoding:"), compose, false),
                 ComposeMsgEncodingFrame);
    form->addRow(CBComposeMsgSaveAddressees);

    grid->addWidget(fresh, 0, 0);
    grid->addWidget(old, 0, 1);
    grid->addWidget(compose, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);

    newMessagesStyle_ = Choices(
        this, {{RBNewMsgTimeout, 0}, {RBNewMsgUntilUnchecked, 1}, {RBNewMsgUntilDisplayed, 2}});
}

void SettingsWindow::BuildNotificationsPage()
{
    TSNotifications = Page(PGC, "TSNotifications", QStringLiteral("Notifications"));
    auto* v = new QVBoxLayout(TSNotifications);

    CBNewMailBox = Check("CBNewMailBox",
                         QStringLiteral("Show a message box when new mail arrives while the "
                                        "window is open"),
                         TSNotifications);

    auto* methods =
        Group("GBNotificationMethods", QStringLiteral("Announce new mail with"), TSNotifications);
    auto* m = new QVBoxLayout(methods);
    CBSound = Check("CBSound", QStringLiteral("a sound"), methods);
    CBSplash = Check("CBSplash", QStringLiteral("a notification window"), methods);
    CBScrollLock = Check("CBScrollLock", QStringLiteral("the Scroll Lock light"), methods);
    m->addWidget(CBSound);
    m->addWidget(CBSplash);
    m->addWidget(CBScrollLock);

    GBCustomSound = Group("GBCustomSound", QStringLiteral("Sound"), TSNotifications);
    auto* s = new QVBoxLayout(GBCustomSound);
    CBUseCustomSound =
        Check("CBUseCustomSound", QStringLiteral("Use this sound file:"), GBCustomSound);
    ECustomSound = NamedEdit("ECustomSound", GBCustomSound);
    BSelectCustomSound = new QPushButton(QStringLiteral("Browse..."), GBCustomSound);
    BSelectCustomSound->setObjectName(QStringLiteral("BSelectCustomSound"));
    BTestCustomSound = new QPushButton(QStringLiteral("Test"), GBCustomSound);
    BTestCustomSound->setObjectName(QStringLiteral("BTestCustomSound"));
    s->addWidget(CBUseCustomSound);
    auto* file = new QHBoxLayout;
    file->addWidget(ECustomSound, 1);
    file->addWidget(BSelectCustomSound);
    file->addWidget(BTestCustomSound);
    s->addLayout(file);

    GBNotificationWindow =
        Group("GBNotificationWindow", QStringLiteral("Notification window"), TSNotifications);
    auto* w = new QVBoxLayout(GBNotificationWindow);
    CBPersistentNotifWindow = Radio("CBPersistentNotifWindow",
                                    QStringLiteral("Keep it until I return"), GBNotificationWindow);
    CBTimedNotifWindow = Radio("CBTimedNotifWindow", QStringLiteral("Close it after (seconds):"),
                               GBNotificationWindow);
    PNotifShowTime = Spin("PNotifShowTime", Settings::kMaxSeconds, GBNotificationWindow);
    w->addWidget(CBPersistentNotifWindow);
    w->addLayout(Row({CBTimedNotifWindow, PNotifShowTime}));

    v->addWidget(CBNewMailBox);
    v->addWidget(methods);
    v->addWidget(GBCustomSound);
    v->addWidget(GBNotificationWindow);
    v->addStretch(1);

    Choices(this, {{CBPersistentNotifWindow, 0}, {CBTimedNotifWindow, 1}});
    soundTest_ = new SoundFileTest(this);
    connect(soundTest_, &SoundFileTest::failed, this, [](const QString& reason) {
        QString text = LangText(kSection, QStringLiteral("ErrorCustomSoundFileTest"));
        if (!reason.isEmpty())
            text += '\n' + reason;
        ShowError(text);
    });
}

void SettingsWindow::BuildLanguagesPage()
{
    TSLanguages = Page(PGC, "TSLanguages", QStringLiteral("Languages"));
    auto* v = new QVBoxLayout(TSLanguages);

    auto* language = Group("GBLanguage", QStringLiteral("Interface"), TSLanguages);
    auto* l = new QHBoxLayout(language);
    auto* panel = new QWidget(language);
    panel->setObjectName(QStringLiteral("PLanguage"));
    auto* p = new QHBoxLayout(panel);
    p->setContentsMargins(0, 0, 0, 0);
    CBLanguage = new QComboBox(panel);
    CBLanguage->setObjectName(QStringLiteral("CBLanguage"));
    // Language names in many scripts: the system face, which the desktop
    // sets up with fallbacks for them.
    QFont font(SystemFontFamily());
    font.setPointSize(9);
    CBLanguage->setFont(font);
    p->addWidget(CBLanguage);
    l->addWidget(NamedLabel("LLanguage", QStringLiteral("Language:"), language, false));
    l->addWidget(panel, 1);

    auto* encoding = Group("GBDefaultEncoding", QStringLiteral("Incoming messages"), TSLanguages);
    auto* e = new QHBoxLayout(encoding);
    DefIncomingEncodingFrame = new CharsetEncodingFrame(encoding);
    DefIncomingEncodingFrame->setObjectName(QStringLiteral("DefIncomingEncodingFrame"));
    e->addWidget(NamedLabel("LDefaultEncoding", QStringLiteral("Encoding:"), encoding, false));
    e->addWidget(DefIncomingEncodingFrame, 1);

    v->addWidget(language);
    v->addWidget(encoding);
    v->addStretch(1);
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
