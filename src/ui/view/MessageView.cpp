#include "ui/view/MessageView.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "core/TempDir.h"
#include "render/MessagePage.h"
#include "ui/view/HtmlView.h"

namespace vm {

// Placeholder until rendering lands: the view shows nothing yet.
MessageView::MessageView(const QString& pageFileName, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MsgViewFrame"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    DHTML = new HtmlView(this);
    TextBox = new QPlainTextEdit(this);
    TextBox->setReadOnly(true);
    TextBox->setVisible(false);
    layout->addWidget(DHTML);
    layout->addWidget(TextBox);
    Q_UNUSED(pageFileName);
}

MessageView::~MessageView() = default;

void MessageView::RenderMessage(MessageRecord* message, MailAccount* account)
{
    message_ = message;
    account_ = account;
}

void MessageView::ShowNotice() {}
void MessageView::DeletePageFiles() {}
void MessageView::PrintPage() {}

} // namespace vm
