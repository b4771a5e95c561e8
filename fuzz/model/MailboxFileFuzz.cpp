// Fuzzes the mailbox file reader. The account block is enciphered and
// checksummed, so random bytes would hardly ever get past it; the first
// input byte therefore picks what the rest of the input is:
//   0: a whole file as it is;
//   1, 2: the part after the account block of a valid version 1 / version 0
//         file (the message records and what precedes them);
//   3: the plain account block, enciphered by this harness.
// Any error the reader reports must be one of the storage errors.

#include <cstddef>
#include <cstdint>

#include "model/BinaryStream.h"
#include "model/Blowfish.h"
#include "model/MailboxKey.h"
#include "model/MailAccount.h"

using namespace vm;

namespace {

QByteArray ValidHeader(int version)
{
    MailAccount a;
    a.Login() = "fuzz";
    a.Password() = "pw";
    vm::ByteWriter w;
    a.WriteToStream(w, vm::MailboxSaveOptions{});
    QByteArray file = w.Buffer();
    // Drop the mailbox part (last check and count) that follows the block.
    file.chop(12);
    // Version 0 reads the same block without the checksum, which then
    // counts as padding.
    if (version == 0)
        file.replace(2, 10, "VL300KEX06");
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const QByteArray v1 = ValidHeader(1);
    static const QByteArray v0 = ValidHeader(0);
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    QByteArray file;
    switch (data[0] % 4) {
    case 0:
        file = rest;
        break;
    case 1:
        file = v1 + rest;
        break;
    case 2:
        file = v0 + rest;
        break;
    default: {
        QByteArray block = rest;
        block.append(QByteArray((8 - block.size() % 8) % 8, '\0'));
        Blowfish(vm::MailboxKey()).Encrypt(block);
        vm::ByteWriter w;
        w.Text("VL320KEX07");
        w.I32(std::int32_t(block.size()));
        w.Raw(block);
        w.F64(0);
        w.I32(0);
        file = w.Buffer();
    }
    }
    MailAccount account;
    vm::ByteReader in(file);
    try {
        account.ReadFromStream(in, vm::MailboxLoadOptions{});
    } catch (const FileError&) {
    }
    // Whatever was read must be consistent and writable again.
    for (int i = 0; i < account.Box().Count(); ++i) {
        const MessageRecord* m = account.Box().At(i);
        if (account.Box().FindByUIDL(m->UID) == nullptr)
            __builtin_trap();
    }
    vm::ByteWriter out;
    account.WriteToStream(out, vm::MailboxSaveOptions{});
    return 0;
}
