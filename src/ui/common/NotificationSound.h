#pragma once
// The new-mail sound: the built-in chime, or a sound file the user chose.
// Errors of the sound system (no audio device, unreadable file) are ignored:
// the other ways of announcing mail still run.

#include <QObject>
#include <QString>

class QMediaPlayer;
class QAudioOutput;
class QSoundEffect;

namespace vm {


class NotificationSound : public QObject
{
    Q_OBJECT
public:
    explicit NotificationSound(QObject* parent = nullptr);
    ~NotificationSound() override;

    // Plays the built-in sound without waiting for it to end.
    void PlayBuiltIn();
    // Plays the file; a missing file is skipped silently. The file is loaded
    // once and kept loaded until another file is asked for.
    // Returns false when the file does not exist.
    bool PlayFile(const QString& path);
    // Loads a file ahead of time (when the setting changes).
    void LoadFile(const QString& path);
    QString LoadedFile() const { return loadedFile_; }

private:
    QSoundEffect* builtIn_ = nullptr;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* output_ = nullptr;
    QString loadedFile_;
};

// The custom sound file correction at start: when the chosen file is gone but
// a file of the same name lies in the data directory, that one is used.
// Returns the path to keep in the setting.
QString CorrectCustomSoundPath(const QString& configured, const QString& dataDir);

} // namespace vm
