#pragma once
// The hourglass over the program while it works on the interface thread
// (writing files, filling lists). Message boxes show the normal arrow over
// it (GuiMessageService), and dialogs are opened only while it is off.

namespace vm {

// Switches the hourglass on (true) or back off (false); calls pair up.
void SetBusyCursor(bool busy);

// The hourglass for the life of the object.
class BusyCursor
{
public:
    BusyCursor() { SetBusyCursor(true); }
    ~BusyCursor() { SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace vm
