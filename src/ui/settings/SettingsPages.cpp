// The five pages of the settings window: their controls, groups and
// layouts, and the choices whose ids are the stored values. Filling them
// from the settings and storing them back is SettingsWindow.cpp's part.

#include "ui/settings/SettingsWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
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

} // namespace

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

} // namespace vm
