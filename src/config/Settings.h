#pragma once
// The program's general settings and the settings file "velmora.ini" in the
// data directory. One process-wide object, reached through vm::Settings().
//
// Every public data member is named exactly like its key in the file; the
// initialisers are the built-in defaults. Code elsewhere reads and writes the
// members directly; the two old-message settings should be changed through
// their setters so that the old-message threshold follows.

#include <QList>
#include <QString>

#include "core/DateTime.h"

namespace vm {

class Settings
{
public:
    // New-mail notification methods as held in MessageNotification: method n
    // has the bit value 2 to the power n (the file stores 1, 2 and 4).
    static constexpr int kNotifyWindow = 0x02;     // blinking notification window
    static constexpr int kNotifySound = 0x04;      // sound
    static constexpr int kNotifyScrollLock = 0x10; // blinking Scroll Lock light

    // Upper bounds of the amounts, so the arithmetic done with them stays in
    // range: seconds are multiplied by 1000 into milliseconds held in an int,
    // kilobytes by 1024 into a byte count compared with 32-bit sizes (where
    // 0xFFFFFFFF stands for an unknown size that must stay above every
    // limit). Reading clamps to them and the settings window offers no more.
    static constexpr int kMaxSeconds = 2147483647 / 1000;
    static constexpr int kMaxKilobytes = 4194303;  // 1024 times this is below 0xFFFFFFFF
    static constexpr int kMaxAge = 1000000;        // hours, days, weeks or months
    static constexpr int kMaxCheckMinutes = 2147483647 / 60; // interval in minutes
    static constexpr int kMaxFontSize = 999;

    Settings();

    // Reads the settings file. True when the file existed and was read
    // completely; a missing file leaves every value as it was. Keys that are
    // missing or cannot be converted keep their current values. Numeric
    // values outside their allowed range become the nearest bound (amounts:
    // times, sizes) or the built-in default (choices); see Settings.cpp.
    bool Load(const QString& path);

    // Writes every key, atomically: a temporary file renamed over the old one.
    // False on any failure, with the reason in *error when given, in which
    // case the previous file is left intact. LanguageFile is first set to the
    // name of the loaded language file.
    bool Save(const QString& path, QString* error = nullptr);

    // Every known key with the value Save writes for it, in the file's order.
    struct Entry
    {
        QString section, key, value;
    };
    QList<Entry> KnownEntries() const;

    // Store the value and recompute OldMessagesThreshold.
    void SetOldMessagesTime(int n);
    void SetOldMessagesUnit(int unit);

    // Writes or removes the start-with-the-session entry according to
    // RunOnStartup, for the running executable and the data directory in
    // use (AppInfo). True on success.
    bool WriteStartupEntry() const;

    // The threshold for the given old-message age at the moment now:
    // unit 0 hours, 1 days, 2 weeks, 3 months (same day and time, months
    // counted back with year borrowing; a day past the end of the target
    // month becomes its last day). Any other unit returns current unchanged.
    static TDateTime ComputeOldMessagesThreshold(TDateTime now, int time, int unit,
                                                 TDateTime current);

    // ---- GENERAL ----
    bool AutoMailCheck = true;
    bool CheckMailOnStartup = true;
    bool CheckMailOnTimer = true;
    int AutoMailCheckInterval = 600; // seconds
    bool RunOnStartup = true;
    bool RunMinimizedOnStartup = true;
    bool ShowMessagesOnStartup = true;
    bool AutoUpdateQuery = true;
    bool AutoUpdateCheck = false;
    QString LastNotifiedUpdate;
    TDateTime UpdateReminder = 0;
    int MsgListNavigation = 1;     // 0 classic, 1 webmail-like
    int MessagesDownloadRange = 2; // 0 headers, 1 whole, 2 whole if <= MaximumDownloadSize
    int MaximumDownloadSize = 512; // KB
    int MessageSaveRange = 2;      // 0 UIDL, 1 headers, 2 whole, 3 whole if small,
                                   // 4 whole if large, 5 nothing
    int MaximumSaveSize = 1024;    // KB
    int MinimumSaveSize = 10;      // KB
    QString MbxStorage;            // empty: the data directory
    int ConnectTimeout = 60;       // seconds
    bool AlwaysNotifyErrors = false;
    bool SleepOnStartup = true;
    int StartupSleepingTime = 40; // seconds
    int DefaultBrowserPage = 1;   // 0 headers, 1 body
    bool DHTMLPreview = true;
    bool GraphicsPreview = true;
    bool CrossHides = false;
    int MessageNotification = kNotifyWindow | kNotifySound; // bit set, see above
    int MessageNotificationWindowType = 0;                  // 0 until the user returns, 1 timed
    int MessageNotificationWindowTimeout = 20;              // seconds
    bool UseCustomMessageNotificationSound = false;
    QString CustomMessageNotificationSound;
    bool OldMessagesDefHidden = true;
    bool OldMessagesSaveHeaders = true;
    bool OldMessagesGetHeaders = true;
    int OldMessagesTime = 10;
    int OldMessagesUnit = 1;    // 0 hours, 1 days, 2 weeks, 3 months
    int NewMessagesTimeout = 5; // seconds
    int NewMessagesStyle = 2;   // 0 timeout, 1 until unchecked, 2 until displayed
    // A message box announces new mail while the main window is on screen.
    bool MessageNotificationBox = true;

    // ---- LANGUAGES ----
    QString LanguageFile = QStringLiteral("english.lng"); // file name only
    int ComposeMessageEncoding = 1;                       // charset id (the file stores id - 1)
    int DefIncomingEncoding = 1;                          // charset id, stored as it is

    // ---- GENERAL (written after LANGUAGES) ----
    bool ComposeMessageFormatted = false;
    int ComposeMessageFontSize = 10;
    QString ComposeMessageFontName = QStringLiteral("Arial");
    int ComposeMessageFontColor = 0; // 0x00BBGGRR
    bool ComposeMessageSaveRecipients = true;
    int PasswordStorage = 0; // 0 in the mailbox files' account blocks, 1 in the desktop keyring

    // ---- WINDOWS ----
    bool SaveWindowParams = true;
    int MainWndLeft = 0;
    int MainWndTop = 0;
    int MainWndRight = 0;
    int MainWndBottom = 0;
    int MainWndHorzDiv = 0;
    int MainWndVertDiv = 0;
    bool MainWndPreview = true;
    int PreviewWndLeft = 0;
    int PreviewWndTop = 0;
    int PreviewWndRight = 0;
    int PreviewWndBottom = 0;
    int FindWndLeft = 0;
    int FindWndTop = 0;
    int FindWndRight = 0;
    int FindWndBottom = 0;
    bool MainWndSortAscending = true;
    int MainWndColumn = 2;
    QString LastAccount;
    // The main window was maximised (its normal rectangle is MainWnd*).
    bool MainWndMaximized = false;
    // Widths of the message list's columns as the user set them, "w0;w1;w2;w3;w4";
    // empty while the user has not set any.
    QString MainWndColumnWidths;

    // ---- SEARCH ----
    bool SenderName = true;
    bool Subject = true;
    bool Body = false;
    bool SenderAddress = true;
    bool WholeWordsOnly = false;
    bool CaseSensitive = false;
    bool New = false;

    // Derived, not stored: a message dated earlier than this is old.
    TDateTime OldMessagesThreshold = 0;
};

// The process-wide settings object, created with the defaults on first use.
Settings& AppSettings();

// The text form of a stored date-time ("yyyy-MM-dd HH:mm:ss.zzz", local
// time as held). DateTimeFromText reads exactly that form back (seconds and
// milliseconds may be left out) and returns false for anything else.
QString DateTimeToText(TDateTime value);
bool DateTimeFromText(const QString& text, TDateTime& value);

} // namespace vm
