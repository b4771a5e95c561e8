#include "ui/common/NotificationSound.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

// Q_INIT_RESOURCE has to be used outside any namespace.
static void InitSoundResources()
{
    Q_INIT_RESOURCE(sounds);
}

namespace vm {

NotificationSound::NotificationSound(QObject* parent) : QObject(parent) {}

NotificationSound::~NotificationSound()
{
    // Qt's shared sample cache deadlocks at program exit when a sound is
    // still being decoded then (its destructor holds the lock the decoding
    // thread needs to finish). So a sound still loading is let finish first:
    // only the sound's own queued notifications are delivered meanwhile,
    // nothing else of the program runs, and the wait is bounded.
    if (!builtIn_ || builtIn_->status() != QSoundEffect::Loading)
        return;
    QDeadlineTimer deadline(2000);
    while (builtIn_->status() == QSoundEffect::Loading && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents(builtIn_, QEvent::MetaCall);
        for (QObject* part : builtIn_->findChildren<QObject*>())
            QCoreApplication::sendPostedEvents(part, QEvent::MetaCall);
        QThread::msleep(5);
    }
}

void NotificationSound::PlayBuiltIn()
{
    if (!builtIn_) {
        InitSoundResources();
        builtIn_ = new QSoundEffect(this);
        builtIn_->setSource(QUrl(QStringLiteral("qrc:/sounds/NEW_WAV.wav")));
    }
    builtIn_->play();
}

void NotificationSound::LoadFile(const QString& path)
{
    if (!player_) {
        player_ = new QMediaPlayer(this);
        output_ = new QAudioOutput(this);
        player_->setAudioOutput(output_);
    }
    loadedFile_ = path;
    player_->setSource(QUrl::fromLocalFile(path));
}

bool NotificationSound::PlayFile(const QString& path)
{
    if (!QFileInfo::exists(path))
        return false;
    if (loadedFile_ != path || !player_)
        LoadFile(path);
    player_->setPosition(0);
    player_->play();
    return true;
}

SoundFileTest::SoundFileTest(QObject* parent) : QObject(parent) {}

void SoundFileTest::Fail(const QString& reason)
{
    if (reported_)
        return;
    reported_ = true;
    if (player_)
        player_->stop();
    emit failed(reason);
}

bool SoundFileTest::Play(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return false;
    reported_ = false;
    if (QMediaDevices::audioOutputs().isEmpty()) {
        Fail(QStringLiteral("No audio output device."));
        return true;
    }
    if (!player_) {
        player_ = new QMediaPlayer(this);
        output_ = new QAudioOutput(this);
        player_->setAudioOutput(output_);
        connect(player_, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString& text) { Fail(text); });
        connect(player_, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus status) {
                    if (status == QMediaPlayer::InvalidMedia)
                        Fail(player_->errorString());
                });
    }
    player_->stop();
    player_->setSource(QUrl::fromLocalFile(path));
    player_->play();
    return true;
}

QString CorrectCustomSoundPath(const QString& configured, const QString& dataDir)
{
    if (configured.isEmpty() || QFileInfo::exists(configured))
        return configured;
    const QString local = QDir(dataDir).filePath(QFileInfo(configured).fileName());
    return QFileInfo::exists(local) ? local : configured;
}

} // namespace vm
