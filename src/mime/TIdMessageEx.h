#pragma once
// A message record: one message of a mailbox as Velmora tracks it on a POP3
// server and on disk, plus what parsing its raw text gives (headers, parts).
//
// The bookkeeping fields below are fixed: the mailbox, the mailbox file and
// the POP3 operations read and write them directly. Parsing fills the parsed
// part and never changes UID or Flags.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class TMailBox;

// Bit of Flags that is the new flag ("recent").
constexpr std::uint8_t mfRecent = 0x20;

class TIdMessageEx
{
public:
    TIdMessageEx();
    TIdMessageEx(const TIdMessageEx& other);
    TIdMessageEx& operator=(const TIdMessageEx& other);
    virtual ~TIdMessageEx();

    // --- Bookkeeping (stored in the mailbox file) ---------------------------
    QByteArray UID;              // the message's UIDL as the server reported it
    std::uint8_t Flags = 0;      // flag set; only mfRecent (the new flag) is used
    TMailBox* owner = nullptr;   // set by the mailbox's add, insert and replace
    std::int32_t size = 0;       // bytes, from the server's LIST; 0 = unknown
    std::int32_t serverNumber = 0; // number on the server at the last check; 0 = unknown
    bool headersOnly = true;     // the raw data is the header block only
    bool noHeaders = false;      // only the UIDL and these fields are held
    bool fresh = false;          // arrived in a check and not yet looked at
    QByteArray raw;              // the message text exactly as retrieved
    std::uint8_t receiptState = 0; // 0 none, 1 requested, 2 declined, 3 sent
    std::int32_t attachmentCount = -1; // -1 = not counted yet

    bool IsNew() const { return (Flags & mfRecent) != 0; }
    void SetNew(bool on) { Flags = on ? (Flags | mfRecent) : (Flags & ~mfRecent); }

    // Holding state, read in this order: UIDL only, headers only, whole.
    enum class Holding { UidlOnly, Headers, Whole };
    Holding HoldingState() const
    {
        if (noHeaders)
            return Holding::UidlOnly;
        return headersOnly ? Holding::Headers : Holding::Whole;
    }

    // The message date as a day count since 1899-12-30 (0 = no date); set by
    // parsing, and by the mailbox file loader for UIDL-only records.
    double Date = 0;

    // --- Parsing (the rest of the class is declared by the MIME decoder) ----
    // Parses the raw text as a whole message / as a header block. Never throws;
    // a malformed message keeps what was parsed before the fault.
    void ParseWhole();
    void ParseHeaders();
    // Releases the parsed parts and body, keeping headers and bookkeeping.
    void DropBody();

    // Parsed data; the MIME decoder owns its definition.
    struct Parsed;
    const Parsed* parsed() const { return parsed_.get(); }

private:
    std::unique_ptr<Parsed> parsed_;
};
