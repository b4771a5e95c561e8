#pragma once
// Reading and writing contacts as vCard files (.vcf, versions 3.0 and 4.0,
// RFC 2426 and RFC 6350): the formatted name FN, the structured name N, the
// e-mail addresses EMAIL, the telephone TEL, the web site URL, the
// messenger IMPP and the note NOTE. Lines are unfolded on reading and folded
// at 75 octets on writing (never inside a UTF-8 sequence); values are escaped
// (backslash, comma, semicolon, line break). Text is UTF-8; a property with
// CHARSET= (vCard 2.1 style) or QUOTED-PRINTABLE encoding is decoded too.
//
// The address book keeps no note: a contact's note is read and returned with
// it, and written back when given.

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "addressbook/AddressBook.h"

namespace vm {

struct VCardContact
{
    std::unique_ptr<Contact> contact;
    QString note;
};

// Every BEGIN:VCARD ... END:VCARD block of the text, in order. A card with
// neither a name nor an address is skipped. When the card has an N property
// its given and family names become the first and last name; otherwise FN
// becomes the last name (a company or a single name) or, without FN, the
// first address. Addresses are taken as written, trimmed, without duplicates.
std::vector<VCardContact> ReadVCards(const QByteArray& text);

enum class VCardVersion { V3, V4 };

// One card for the contact, CRLF line ends.
QByteArray WriteVCard(const Contact& contact, VCardVersion version = VCardVersion::V4,
                      const QString& note = {});

// Every entry of the book, one card after another.
QByteArray WriteVCards(const AddressBook& book, VCardVersion version = VCardVersion::V4);

struct VCardImportResult
{
    int added = 0;   // new entries
    int updated = 0; // cards that went into an entry of the same display name
    int notes = 0;   // cards with a note (the book keeps none)
};

// Adds the cards to the book, in order. A card whose display name is an
// entry's (the first such entry, or one added by an earlier card) adds its
// addresses to that entry, skipping those it holds, and fills the entry's
// empty telephone, messenger and web site; any other card becomes a new
// entry. Only addresses acceptAddress takes enter the book; the others are
// passed to leftOut with the card's display name. A card left with neither a
// name nor an address is skipped.
VCardImportResult ImportVCards(
    AddressBook& book, const std::vector<VCardContact>& cards,
    const std::function<bool(const QByteArray& address)>& acceptAddress,
    const std::function<void(const QByteArray& address, const QString& name)>& leftOut);

} // namespace vm
