#pragma once
// Blinks the Scroll Lock light every 600 ms to announce new mail; turning
// the blinking off always leaves the light dark.

#include <QObject>
#include <QTimer>

#include <memory>

#include "platform/ScrollLock.h"

namespace vm {

class ScrollLockBlinker : public QObject
{
    Q_OBJECT
public:
    explicit ScrollLockBlinker(QObject* parent = nullptr, const char* displayName = nullptr);
    void Blink(bool on);
    bool Blinking() const { return timer_.isActive(); }
    ScrollLockLight& Light() { return *light_; }

private:
    std::unique_ptr<ScrollLockLight> light_;
    QTimer timer_;
};

} // namespace vm
