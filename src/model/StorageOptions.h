#pragma once
// The settings that decide how mailbox files are written and what loading
// makes of them, passed as values so the storage code does not depend on
// the settings object (config/StorageSettings.h fills them).

#include "core/DateTime.h"

namespace vm {

class SecretVault;

struct MailboxSaveOptions
{
    // 0 UIDL only, 1 headers, 2 whole, 3 whole if at most MaximumSaveSize KB,
    // 4 whole if at least MinimumSaveSize KB, 5 nothing.
    int MessageSaveRange = 2;
    int MaximumSaveSize = 1024; // KB
    int MinimumSaveSize = 10;   // KB
    // Old messages (dated before the threshold, or without a date) keep only
    // their header block.
    bool OldMessagesSaveHeaders = true;
    TDateTime OldMessagesThreshold = 0;
    // Set: the account's secrets are kept in this keyring (the setting
    // PasswordStorage 1) and the account block holds none of them.
    SecretVault* keyring = nullptr;
};

struct MailboxLoadOptions
{
    // Show the stored message lists at start (the start-up rule of the
    // mailbox flags).
    bool ShowMessagesOnStartup = true;

};

} // namespace vm
