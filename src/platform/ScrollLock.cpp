#include "platform/ScrollLock.h"

#ifdef VELMORA_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace vm {

#ifdef VELMORA_HAVE_X11

ScrollLockLight::ScrollLockLight(const char* displayName)
{
    int major = XkbMajorVersion, minor = XkbMinorVersion, event = 0, error = 0, reason = 0;
    Display* d = XkbOpenDisplay(const_cast<char*>(displayName), &event, &error, &major, &minor,
                                &reason);
    if (!d)
        return;
    display_ = d;
    atom_ = XInternAtom(d, "Scroll Lock", False);
}

ScrollLockLight::~ScrollLockLight()
{
    if (display_)
        XCloseDisplay(static_cast<Display*>(display_));
}

bool ScrollLockLight::Set(bool on)
{
    if (!display_)
        return false;
    Display* d = static_cast<Display*>(display_);
    const Bool ok = XkbSetNamedIndicator(d, atom_, True, on ? True : False, False, nullptr);
    XSync(d, False);
    return ok == True;
}

bool ScrollLockLight::IsOn() const
{
    if (!display_)
        return false;
    Bool state = False;
    if (!XkbGetNamedIndicator(static_cast<Display*>(display_), atom_, nullptr, &state, nullptr,
                              nullptr))
        return false;
    return state == True;
}

#else

ScrollLockLight::ScrollLockLight(const char*) {}
ScrollLockLight::~ScrollLockLight() = default;
bool ScrollLockLight::Set(bool)
{
    return false;
}
bool ScrollLockLight::IsOn() const
{
    return false;
}

#endif

} // namespace vm
