#pragma once
// Loading the address book at start and writing it at exit, with the
// questions the application asks through callbacks.

#include <QString>

#include <functional>

#include "addressbook/AddressBook.h"

namespace vm {

enum class AddressBookLoadFailure {
    Invalid,      // the file is damaged ("InvalidAddressBook")
    Inaccessible, // the file cannot be read ("InaccessibleAddressBook")
};

// The maker's contact entry (last name "Orvane") that a book without a file
// starts with.
Contact* NewMakerEntry();

// Start-up: puts the maker's entry into the (empty) book, then loads path
// when that file exists; a successful load replaces the whole content. On a
// failure the book is emptied and askContinue decides: true goes on with the
// empty book (the damaged file is kept as a backup copy before it is
// replaced at exit), false means the program is to end. Returns that answer
// (true when nothing failed).
bool LoadAddressBookAtStart(AddressBook& book, const QString& path,
                            const std::function<bool(AddressBookLoadFailure)>& askContinue);

// Shutdown: writes the book to path. On a failure askGoOn decides whether
// the shutdown goes on (true) or is cancelled (false); returns true when the
// shutdown may go on.
bool SaveAddressBookAtExit(AddressBook& book, const QString& path,
                           const std::function<bool()>& askGoOn);

} // namespace vm
