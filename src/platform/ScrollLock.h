#pragma once
// The Scroll Lock keyboard light, used to announce new mail. On X11 it is
// driven through the XKB "Scroll Lock" indicator; without an X display every
// call does nothing and reads report the light as dark.

namespace vm {

class ScrollLockLight
{
public:
    // Opens its own connection to the display named by DISPLAY (or the
    // given name); no connection means a silent no-op light.
    explicit ScrollLockLight(const char* displayName = nullptr);
    ~ScrollLockLight();
    ScrollLockLight(const ScrollLockLight&) = delete;
    ScrollLockLight& operator=(const ScrollLockLight&) = delete;

    bool Available() const { return display_ != nullptr; }
    // Sets the light; false when there is no light to set.
    bool Set(bool on);
    // Reads the light back; false when dark or unavailable.
    bool IsOn() const;

private:
    void* display_ = nullptr; // Display*, kept opaque so X11 headers stay here
    unsigned long atom_ = 0;
};

} // namespace vm
