// The tool bar commands of the details window: stepping to the previous
// and next message, retrieving, deleting, saving, printing, the source, the
// compose modes, closing and aborting, and the attachment commands.

#include "ui/view/DetailsWindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStringDecoder>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>

#include <algorithm>

#include "config/Settings.h"
#include "core/TerminalText.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "model/Mailbox.h"
#include "render/MessageFiles.h"
#include "ui/common/BusyCursor.h"
#include "ui/main/MainIcons.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/view/MessageView.h"
#include "ui/view/SourceWindow.h"

namespace vm {

// ----------------------------------------------------------- commands ----

void DetailsWindow::StepTo(int row)
{
    if (operationRunning_ || !model_)
        return;
    QWidget* page = PGC->currentWidget();
    Release();
    row_ = row;
    if (!Fill())
        return;
    ActivationStep();
    if (AppSettings().DefaultBrowserPage == 0 && PGC->isTabVisible(PGC->indexOf(page))) {
        PGC->setCurrentWidget(page);
        ApplyPageRule();
        ArrangePage();
    }
}

void DetailsWindow::SBPreviousClick()
{
    if (SBPrevious->isEnabled() && !operationRunning_)
        StepTo(row_ - 1);
}

void DetailsWindow::SBNextClick()
{
    if (SBNext->isEnabled() && !operationRunning_)
        StepTo(row_ + 1);
}

void DetailsWindow::SBRetrieveClick()
{
    if (!SBRetrieve->isEnabled() || operationRunning_ || !message_ || !HeadersOnly())
        return;
    MessageRecord* fetched = hooks.retrieveWhole(message_, *this);
    if (!fetched || !model_) {
        // Nothing was fetched: the record is the one shown before.
        UpdateButtons();
        return;
    }
    // The fetched record stands where the old one stood; the list was
    // filled again, so its row is looked up.
    message_ = nullptr; // destroyed by the replacement
    parsedWhole_ = false;
    const int row = model_->RowOf(fetched);
    row_ = row >= 0 ? row : row_;
    Release();
    if (Fill())
        ActivationStep();
}

void DetailsWindow::SBDeleteClick()
{
    if (!SBDelete->isEnabled() || operationRunning_ || !message_)
        return;
    if (!hooks.deleteOnServer(message_, *this)) {
        UpdateButtons();
        return;
    }
    // The record is destroyed and its row gone.
    message_ = nullptr;
    parsedWhole_ = false;
    Release();
    const int rows = model_ ? model_->MessageRowCount() : 0;
    if (rows == 0) {
        close();
        return;
    }
    if (row_ >= rows)
        row_ = rows - 1;
    if (Fill())
        ActivationStep();
}

void DetailsWindow::SBSaveClick()
{
    if (!SBSave->isEnabled() || operationRunning_ || !message_)
        return;
    MessageSaveChoosers choose;
    choose.chooseFile = hooks.chooseSaveFile;
    choose.chooseFolder = [](const QString&) { return QString(); }; // one message: unused
    choose.writing = SetBusyCursor; // while the file is written, not over the dialog
    SaveMessages({message_}, choose);
}

void DetailsWindow::SBPrintClick()
{
    if (SBPrint->isEnabled() && !operationRunning_)
        MsgViewFrame->PrintPage();
}

void DetailsWindow::SBSourceClick()
{
    if (!SBSource->isEnabled() || operationRunning_ || !message_)
        return;
    SourceWindow source(message_->raw, message_->Subject(), this);
    TranslateWindow(&source);
    source.ShowModal();
}

void DetailsWindow::ComposeAndClose(int mode)
{
    if (!SBReplyToSender->isEnabled() || operationRunning_ || !message_)
        return;
    pendingCompose_ = mode;
    close();
}

void DetailsWindow::SBExitClick()
{
    if (operationRunning_)
        SBAbortClick();
    else
        close();
}

void DetailsWindow::SBAbortClick()
{
    if (operationRunning_ && hooks.abort)
        hooks.abort();
}

QList<int> DetailsWindow::SelectedAttachmentParts() const
{
    QList<int> parts;
    for (int i = 0; i < AttachmentList->count(); ++i)
        if (AttachmentList->item(i)->isSelected())
            parts.append(AttachmentList->item(i)->data(Qt::UserRole).toInt());
    return parts;
}

void DetailsWindow::RunAttachmentCommand(AttachmentAction action)
{
    if (operationRunning_ || !message_ || HeadersOnly())
        return;
    const QList<int> parts = SelectedAttachmentParts();
    if (parts.isEmpty() || (action != AttachmentAction::Save && parts.size() != 1))
        return;
    if (hooks.attachmentAction)
        hooks.attachmentAction(this, *message_, parts, action);
    else
        RunAttachmentAction(this, *message_, parts, action);
}

} // namespace vm
