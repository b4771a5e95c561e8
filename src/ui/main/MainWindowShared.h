#pragma once
// Pieces the main window's source files share: the language section, the
// account pointer kept in tree nodes and the bold rule of the tree.

#include <QString>
#include <QTreeWidgetItem>

#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"

namespace vm::mainwindow {


inline const QString kMainSection = QStringLiteral("MAINWND");

inline QString MainText(const char* key)
{
    return LangText(kMainSection, QString::fromLatin1(key));
}

constexpr int kAccountRole = Qt::UserRole + 1;

inline MailAccount* AccountOf(const QTreeWidgetItem* item)
{
    if (!item)
        return nullptr;
    return reinterpret_cast<MailAccount*>(item->data(0, kAccountRole).value<quintptr>());
}

inline bool BoldAccount(const MailAccount* account)
{
    return account && !account->Box().Stale() && account->Box().AnyNew();
}

} // namespace vm::mainwindow
