#include "ui/view/HtmlView.h"

#include <QMenu>

namespace vm {

// Placeholder until the WebEngine view lands: shows nothing.
struct HtmlView::Private
{
};

HtmlView::HtmlView(QWidget* parent) : QWidget(parent), d(new Private)
{
    setObjectName(QStringLiteral("DHTML"));
    popDHTML = new QMenu(this);
    popDHTML->setObjectName(QStringLiteral("popDHTML"));
    popDHTMLSelectAll = popDHTML->addAction(QStringLiteral("Select &all"));
    popDHTMLSelectAll->setObjectName(QStringLiteral("popDHTMLSelectAll"));
    popDHTMLCopyText = popDHTML->addAction(QStringLiteral("&Copy text"));
    popDHTMLCopyText->setObjectName(QStringLiteral("popDHTMLCopyText"));
    popDHTMLCopyHTML = popDHTML->addAction(QStringLiteral("Copy &HTML"));
    popDHTMLCopyHTML->setObjectName(QStringLiteral("popDHTMLCopyHTML"));
}

HtmlView::~HtmlView()
{
    delete d;
}

void HtmlView::SetPageFolder(const QString&) {}
void HtmlView::Navigate(const QString&) {}
void HtmlView::Stop() {}
bool HtmlView::Busy() const { return false; }
bool HtmlView::HasDocument() const { return false; }
void HtmlView::SelectAll() {}
void HtmlView::CopySelectionText() {}
void HtmlView::CopySelectionHtml() {}
bool HtmlView::HasSelection() const { return false; }
void HtmlView::Print() {}
void HtmlView::UpdateMenu() {}
bool HtmlView::RemoteContentBlocked() const { return false; }
void HtmlView::AllowRemoteContent() {}

} // namespace vm
