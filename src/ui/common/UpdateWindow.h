#pragma once
// The windows of the update check and its two start-up steps: the opt-in
// question asked once (UpdateActivationWindow), the query on a thread of its
// own, and the window that offers a newer version (UpdateFoundWindow), shown
// on the interface thread when the query finds one.

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

#include "ops/UpdateCheck.h"
#include "ui/common/TranslatedWindow.h"

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vm {

class Settings;

// Opens the update page for the user. The default hands it to the desktop
// (QDesktopServices); tests put a recorder in its place. nullptr restores the
// default.
using UpdatePageOpener = std::function<void(const QUrl&)>;
void SetUpdatePageOpener(UpdatePageOpener opener);

// The opt-in question (modal). BOK closes with Accepted when RBTurnOn is
// checked, with Rejected when RBTurnOff is.
class UpdateActivationWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit UpdateActivationWindow(QWidget* parent = nullptr);

    QLabel* LUpdateActivation;
    QRadioButton* RBTurnOn;
    QRadioButton* RBTurnOff;
    QPushButton* BOK;
};

// The offer of a newer version. BOK with RBUpdate opens the update page and
// records the version as the one the user acted on; with RBLater it sets the
// reminder by CBRemind's position. Either way the window closes; closing it
// otherwise changes nothing.
class UpdateFoundWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    UpdateFoundWindow(Settings& settings, const QUrl& service, QWidget* parent = nullptr);

    // Takes the offer, resets the choices and brings the window to the front.
    void ShowOffer(const UpdateOffer& offer);
    const UpdateOffer& Offer() const { return offer_; }

    QLabel* LUpdateFound;
    QRadioButton* RBUpdate;
    QRadioButton* RBLater;
    QComboBox* CBRemind;
    QPushButton* BOK;

private:
    void OkClicked();

    Settings& settings_;
    QUrl service_;
    UpdateOffer offer_;
};

// The update steps of the start-up: ask the opt-in question when it is due,
// then start the query when it is due. The query's offer is shown in the
// update window on the interface thread.
class UpdateCheckControl : public QObject
{
    Q_OBJECT
public:
    // service: the checked update address (UpdateServiceUrl()); empty means
    // no update address is configured, and nothing is ever asked or sent.
    UpdateCheckControl(Settings& settings, const QUrl& service, QObject* parent = nullptr);
    ~UpdateCheckControl() override;

    // The two start-up steps. Call once, after the windows were created.
    void RunStartupSteps();

    // The running or finished query, nullptr when none was started.
    UpdateQuery* Query() const { return query_.get(); }
    // The update window, nullptr until a version was offered.
    UpdateFoundWindow* FoundWindow() const { return found_.get(); }

signals:
    // The query has ended (with or without an offer shown).
    void queryFinished();

private:
    void ShowOffer(const UpdateOffer& offer);

    Settings& settings_;
    QUrl service_;
    std::unique_ptr<UpdateFoundWindow> found_;
    std::unique_ptr<UpdateQuery> query_;
};

} // namespace vm
