#pragma once
// Saving and opening the attachments of a message held whole, from the
// details window's attachment menu and from the attachments window: the
// folder chooser (remembered for the run), the overwrite question, the
// private temporary copies that opening makes, the warning before opening a
// file type that could run code.

#include <QList>

class QWidget;

namespace vm {

class MessageRecord;

enum class AttachmentAction { Open, Save, SaveAndOpen };

// Runs action on the attachments of message at the given indexes of
// message.Attachments(), asking through windows parented to parent.
void RunAttachmentAction(QWidget* parent, const MessageRecord& message, const QList<int>& parts,
                         AttachmentAction action);

// Deletes every temporary copy made for opening; called at shutdown.
void DeleteOpenedAttachmentCopies();

} // namespace vm
