#pragma once
// The look the address book's lists share: grid lines between cells, the
// given "Arial" point size in navy, and a selection that stays readable over
// row tints whether the window is active or not.

class QTreeWidget;

namespace vm {

void ApplyAddressListLook(QTreeWidget* list, int pointSize);

// The column captions of an address list from the key "List" of section
// (the list's own name, PList, is not that key); kept when the key is missing.
void ApplyAddressListColumns(QTreeWidget* list, const char* section);

} // namespace vm
