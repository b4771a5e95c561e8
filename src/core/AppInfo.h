#pragma once
// The process-wide application object: the product's fixed texts and the
// paths of the files it owns. Created on first use by its accessor and never
// destroyed before the process ends.

#include <QString>

namespace vm {

class AppInfo
{
public:
    // The accessor; the data directory must have been set before first use.
    static AppInfo& Instance();

    // Sets the data directory (the "program directory" every owned file is
    // found relative to). Call once, before Instance() is first used.
    static void SetDataDir(const QString& dir);

    QString ProductName() const { return QStringLiteral("Velmora"); }
    // The rights line shown with the version (loading and about windows).
    QString RightsLine() const { return QStringLiteral("\u00A9 The Velmora developers"); }
    // The data directory, always ending with "/".
    QString ProgramDir() const { return programDir_; }
    QString SettingsFilePath() const { return programDir_ + QStringLiteral("velmora.ini"); }
    QString AddressBookFilePath() const { return programDir_ + QStringLiteral("addressbook.vlab"); }
    QString MakerWebSite() const;
    QString MakerHomePage() const;

    // Version texts followed by a blank and the language code ("3.5.0 EN").
    QString FileVersion() const;
    QString ProductVersion() const;
    // The bare version number of the build.
    static QString BareVersion();

    // Start-up state, set once and read later.
    bool startedBySystem = false;
    bool checkSkipped = false;

private:
    explicit AppInfo(const QString& programDir);
    QString programDir_;
};

// True when the first argument (after the program name), lower-cased,
// equals "-startup". Only the first argument counts.
bool IsStartedBySystem(const QStringList& arguments);

} // namespace vm
