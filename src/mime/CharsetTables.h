#pragma once
// Generated tables of the 8-bit character sets (see CharsetTables.cpp).

namespace vm::charset_tables {

// The 128 UTF-16 code units for the bytes 0x80-0xFF of the charset with the
// given id, or null when the id is not converted by table (0, 1, 12, others).
const char16_t* UpperHalf(int id);

} // namespace vm::charset_tables
