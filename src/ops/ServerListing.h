#pragma once
// The frame shared by the operations that act on chosen messages of an
// account in one connection (removal, retrieval of whole messages): status
// texts, connect and login, the UIDL list that maps ids to message numbers,
// the work itself, then "QUIT". Message numbers never come from the mailbox.

#include <QString>

#include <functional>
#include <optional>

#include "ops/CheckSession.h"

namespace vm {

// Passes text to status when there is one.
void SayStatus(const StatusFn& status, const QString& text);

// What went wrong when RunOnServerListing returned false.
struct ListingFailure
{
    bool interrupted = false;            // the user stopped the operation
    std::optional<OperationError> error; // set unless interrupted
};

// Connects and logs in (showing the connecting text of the view), fetches the
// UIDL list and, in the details view, shows detailsText; then calls work
// with the message numbers and finally disconnects with "QUIT" (showing the
// disconnecting text). True when all of that ran. When anything throws, the
// connection is closed without "QUIT" (so the server keeps its messages),
// failure tells why, and the result is false.
bool RunOnServerListing(Pop3Session& session, const QString& accountName, OperationView view,
                        const QString& detailsText, const StatusFn& status,
                        const std::function<void(const UidlNumbers&)>& work,
                        ListingFailure& failure);

} // namespace vm
