#include "platform/ScrollLockBlinker.h"

namespace vm {

ScrollLockBlinker::ScrollLockBlinker(QObject* parent, const char* displayName)
    : QObject(parent), light_(std::make_unique<ScrollLockLight>(displayName))
{
    timer_.setInterval(600);
    connect(&timer_, &QTimer::timeout, this, [this] { light_->Set(!light_->IsOn()); });
}

void ScrollLockBlinker::Blink(bool on)
{
    if (on) {
        if (!timer_.isActive())
            timer_.start();
        return;
    }
    timer_.stop();
    if (light_->IsOn())
        light_->Set(false);
}

} // namespace vm
