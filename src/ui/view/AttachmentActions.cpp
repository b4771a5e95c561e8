#include "ui/view/AttachmentActions.h"

// Placeholder until the attachment actions land: nothing is saved or opened.

namespace vm {

void RunAttachmentAction(QWidget*, const MessageRecord&, const QList<int>&, AttachmentAction) {}

void DeleteOpenedAttachmentCopies() {}

} // namespace vm
