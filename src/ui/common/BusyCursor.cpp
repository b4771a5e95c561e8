#include "ui/common/BusyCursor.h"

#include <QApplication>

namespace vm {

void SetBusyCursor(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace vm
