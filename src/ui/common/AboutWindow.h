#pragma once
// The about window (BInfo, F2): the product name and version, the licence
// (GPL version 3 or later, text from the language file), the libraries
// the program stands on with the versions loaded (Qt, GMime, OpenSSL), the
// data directory in use and a link to the help. Modal; closed by BOK or Esc.

#include <functional>

#include "ui/common/TranslatedWindow.h"

class QLabel;

namespace vm {

class AboutWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    // openHelp runs when the help link is clicked.
    AboutWindow(const QString& dataDir, std::function<void()> openHelp, QWidget* parent = nullptr);

    // The library lines, one per library: "Qt 6.4.2", "GMime 3.2.13", "OpenSSL 3.0.x".
    static QStringList LibraryLines();

    QLabel* LProduct;
    QLabel* LLicence;
    QLabel* LLibraries;
    QLabel* LDataDir;
    QLabel* LHelp;

private:
    std::function<void()> openHelp_;
};

} // namespace vm
