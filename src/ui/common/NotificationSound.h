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

// Plays a sound file once so the user can hear it (the settings window's
// test button). failed() is emitted, once per Play, when it cannot be
// played: no audio output, or a file the media framework cannot open or
// decode (a missing codec or GStreamer plug-in shows up here too).
class SoundFileTest : public QObject
{
    Q_OBJECT
public:
    explicit SoundFileTest(QObject* parent = nullptr);
    // False (and nothing is played or reported) when the file does not exist.
    bool Play(const QString& path);

signals:
    void failed(const QString& reason);

private:
    void Fail(const QString& reason);
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* output_ = nullptr;
    bool reported_ = false;
};

// The custom sound file correction at start: when the chosen file is gone but
// a file of the same name lies in the data directory, that one is used.
// Returns the path to keep in the setting.
QString CorrectCustomSoundPath(const QString& configured, const QString& dataDir);

} // namespace vm
