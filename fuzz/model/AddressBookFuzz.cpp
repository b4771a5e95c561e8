// Fuzzes the address book reader: any input either loads or raises the
// stream format error, and a loaded book writes back to the same bytes'
// content.

#include <cstddef>
#include <cstdint>

#include "addressbook/AddressBook.h"
#include "model/BinaryStream.h"

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    AddressBook book;
    vm::ByteReader in(bytes);
    try {
        book.Read(in);
    } catch (const MailboxFormatError&) {
        if (book.Count() != 0)
            __builtin_trap(); // a failed read leaves the book empty
        return 0;
    }
    // A book that loaded writes out and reads back the same.
    vm::ByteWriter out;
    book.Write(out);
    AddressBook again;
    vm::ByteReader back(out.Buffer());
    again.Read(back);
    if (again.Count() != book.Count())
        __builtin_trap();
    for (int i = 0; i < book.Count(); ++i)
        if (again.At(i)->DisplayName() != book.At(i)->DisplayName() ||
            again.At(i)->emails.Joined() != book.At(i)->emails.Joined())
            __builtin_trap();
    return 0;
}
