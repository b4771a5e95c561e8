#pragma once
// The welcome page shown while the account tree's root is selected: pages
// shipped with the program (compiled in, written out at creation to a folder
// inside the private temporary folder) in one HTML view named "Browser", in
// the loaded language where a page of its own exists (index-pl.html for the
// Symbol "PL"), else in English; a language change shows it again.
// Its links to the account wizard, the help and the maker's site reach the
// owner through hooks; right clicks on the page are swallowed.

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

namespace vm {

class HtmlView;

class WelcomeView : public QWidget
{
    Q_OBJECT
public:
    explicit WelcomeView(QWidget* parent = nullptr);
    ~WelcomeView() override;

    HtmlView* Browser = nullptr;

    // "http://addaccount": start the account wizard (the owner checks that no
    // POP3 operation runs).
    std::function<void()> addAccount;
    // "http://help": open the program's help.
    std::function<void()> help;
    // The maker's web site: open the maker's home page.
    std::function<void()> makerSite;

    // The folder the pages were written to, and the start page in it for
    // the loaded language.
    QString PageFolder() const { return folder_; }
    QString StartPage() const;

    // The decision on a clicked link: pages of the welcome folder (".html",
    // ".htm") go ahead; the three program links call their hooks; nothing
    // else is followed.
    bool LinkClicked(const QUrl& target);

signals:
    void pageLoaded(bool ok);

protected:
    void changeEvent(QEvent* event) override;

private:
    QString folder_;
};

} // namespace vm
