#include "ui/common/NotificationSound.h"

#include <QAudioOutput>
#include <QDir>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QUrl>

NotificationSound::NotificationSound(QObject* parent) : QObject(parent) {}

NotificationSound::~NotificationSound() = default;

void NotificationSound::PlayBuiltIn()
{
    if (!builtIn_) {
        Q_INIT_RESOURCE(sounds);
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

QString CorrectCustomSoundPath(const QString& configured, const QString& dataDir)
{
    if (configured.isEmpty() || QFileInfo::exists(configured))
        return configured;
    const QString local = QDir(dataDir).filePath(QFileInfo(configured).fileName());
    return QFileInfo::exists(local) ? local : configured;
}
