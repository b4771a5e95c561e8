// The address book window, the contact card and the address picker, driven
// offscreen by their control names.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "addressbook/AddressBook.h"
#include "core/Messages.h"
#include "ui/addressbook/AddressBookWindow.h"
#include "ui/addressbook/AddressPickWindow.h"
#include "ui/addressbook/VisitCardWindow.h"

using namespace vm;

namespace {

QApplication* App()
{
    static int argc = 1;
    static char name[] = "test_ui_addressbook";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    // Names are collated the way an English desktop sorts them.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return app;
}

class Recorded : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        SetMessageService(&messages);
    }
    void TearDown() override { SetMessageService(nullptr); }
    RecordingMessageService messages;
};

Contact* AddContact(AddressBook& book, const QString& first, const QString& last,
                    const QList<QByteArray>& emails, const QByteArray& phone = {})
{
    auto* c = new Contact;
    c->firstName = first;
    c->lastName = last;
    for (const QByteArray& e : emails)
        c->emails.Add(e);
    c->telephone = phone;
    book.Add(c);
    return c;
}

QStringList Column(QTreeWidget* list, int column)
{
    QStringList out;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        out << list->topLevelItem(r)->text(column);
    return out;
}

using VisitCard = Recorded;

TEST_F(VisitCard, AddressesPassTheSendersRuleBeforeEnteringTheCard)
{
    const struct
    {
        const char* address;
        bool accepted;
    } cases[] = {
        {"a@b", true},
        {"  name@example.org  ", true}, // trimmed
        {"a@", false},
        {"ab", false},
        {"a,b@example.org", false},
        {"a;b@example.org", false},
        {"a b@example.org", false},
        {"<a@example.org>", false},
        {"a\"b@example.org", false},
        {"a\tb@example.org", false},
        {"a\x7f"
         "b@example.org",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        messages.shown.clear();
        VisitCardWindow card;
        card.LoadFrom(Contact());
        card.EAddress->setText(QString::fromLatin1(c.address));
        card.BAdd->click();
        EXPECT_EQ(card.LVAddresses->count(), c.accepted ? 1 : 0);
        EXPECT_EQ(messages.shown.size(), c.accepted ? 0 : 1);
        if (!c.accepted) {
            EXPECT_EQ(messages.shown.first().text, "The address is incorrect.");
            EXPECT_EQ(messages.shown.first().icon, MsgIcon::Error);
        }
    }
}

TEST_F(VisitCard, EditingAddressesAndStoring)
{
    Contact entry;
    entry.firstName = "Ann";
    entry.emails.Add("one@example.org");
    entry.emails.Add("two@example.org");
    VisitCardWindow card;
    card.LoadFrom(entry);
    EXPECT_FALSE(card.BAdd->isEnabled());
    EXPECT_FALSE(card.BEdit->isEnabled());
    // The same address twice keeps one copy, silently.
    card.EAddress->setText("two@example.org");
    card.BAdd->click();
    EXPECT_EQ(card.LVAddresses->count(), 2);
    EXPECT_TRUE(messages.shown.isEmpty());
    // Edit moves the address back into the edit.
    card.LVAddresses->item(0)->setSelected(true);
    card.LVAddresses->setCurrentRow(0);
    EXPECT_TRUE(card.BEdit->isEnabled());
    card.BEdit->click();
    EXPECT_EQ(card.EAddress->text(), "one@example.org");
    EXPECT_EQ(card.LVAddresses->count(), 1);
    card.EAddress->setText("uno@example.org");
    card.BAdd->click();
    card.ELastName->setText("  Lee ");
    card.EPhone->setText(" 123 ");
    card.StoreInto(entry);
    EXPECT_EQ(entry.lastName, "Lee");
    EXPECT_EQ(entry.telephone, "123");
    EXPECT_EQ(entry.emails.Joined(), "two@example.org; uno@example.org");
    // Delete removes every selected address.
    card.LVAddresses->selectAll();
    card.BDelete->click();
    EXPECT_EQ(card.LVAddresses->count(), 0);
}

TEST_F(VisitCard, SaveKeepsATypedAddressAndRefusesWhatIsIncomplete)
{
    {
        // An address typed but not added is not lost on Save.
        VisitCardWindow card;
        card.LoadFrom(Contact());
        card.EFirstName->setText("Bo");
        card.EAddress->setText("bo@example.org");
        card.BSave->click();
        EXPECT_EQ(card.result(), QDialog::Accepted);
        Contact stored;
        card.StoreInto(stored);
        EXPECT_EQ(stored.emails.Joined(), "bo@example.org");
    }
    {
        // A typed address that is not acceptable keeps the card open.
        VisitCardWindow card;
        card.LoadFrom(Contact());
        card.show();
        card.EFirstName->setText("Bo");
        card.EAddress->setText("bo@exa,mple.org");
        card.BSave->click();
        EXPECT_TRUE(card.isVisible());
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_EQ(messages.shown.last().text, "The address is incorrect.");
    }
    {
        // Blank names.
        VisitCardWindow card;
        card.LoadFrom(Contact());
        card.show();
        card.EFirstName->setText("   ");
        card.BSave->click();
        EXPECT_TRUE(card.isVisible());
        ASSERT_EQ(messages.shown.size(), 2);
        EXPECT_EQ(messages.shown.last().text, "At least first or last name must be entered.");
    }
}

class BookWindow : public Recorded
{
protected:
    void SetUp() override
    {
        Recorded::SetUp();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("addressbook.vlab");
    }
    QTemporaryDir dir;
    QString path;
    AddressBook book;
};

TEST_F(BookWindow, OneRowPerEntrySortedByHeaderClicks)
{
    AddContact(book, "bob", "", {"b1@x.example", "b2@x.example", "b3@x.example"});
    AddContact(book, "Alice", "", {"z@x.example"});
    AddContact(book, "Carol", "", {"a@x.example"});
    AddressBookWindow w(book, path);
    w.ShowOrRaise();
    ASSERT_EQ(w.PList->topLevelItemCount(), 3);
    EXPECT_EQ(w.PList->topLevelItem(Column(w.PList, 0).indexOf("bob"))->text(1),
              "b1@x.example; b2@x.example; b3@x.example");
    EXPECT_EQ(Column(w.PList, 0), QStringList({"Alice", "bob", "Carol"})); // collated, not by code
    EXPECT_EQ(w.PList->selectedItems().size(), 1);
    EXPECT_EQ(w.PList->selectedItems().first()->text(0), "Alice");

    auto click = [&](int column) {
        const QHeaderView* h = w.PList->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(column) + 5, h->height() / 2));
    };
    click(0); // Name again: descending
    EXPECT_EQ(Column(w.PList, 0), QStringList({"Carol", "bob", "Alice"}));
    click(1); // E-mail: still descending
    EXPECT_EQ(Column(w.PList, 0), QStringList({"Alice", "bob", "Carol"}));
    click(1); // E-mail again: ascending
    EXPECT_EQ(Column(w.PList, 0), QStringList({"Carol", "bob", "Alice"}));
    // Rows keep alternating tints after every sort.
    EXPECT_NE(w.PList->topLevelItem(0)->background(0), w.PList->topLevelItem(1)->background(0));
    EXPECT_EQ(w.PList->topLevelItem(0)->background(0), w.PList->topLevelItem(2)->background(0));
}

TEST_F(BookWindow, ActionsFollowTheSelectionAndDeleteRemovesAllSelected)
{
    AddContact(book, "A", "", {"a@x.example"});
    AddContact(book, "B", "", {"b@x.example"});
    AddContact(book, "C", "", {"c@x.example"});
    AddressBookWindow w(book, path);
    w.ShowOrRaise();
    EXPECT_TRUE(w.AEdit->isEnabled());
    w.PList->selectAll();
    EXPECT_FALSE(w.AEdit->isEnabled());
    EXPECT_TRUE(w.ADelete->isEnabled());
    w.PList->topLevelItem(1)->setSelected(false); // A and C
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    w.BDelete->click();
    EXPECT_EQ(book.Count(), 3);
    messages.answer = nullptr; // Yes
    w.BDelete->click();
    EXPECT_EQ(messages.shown.last().text, "Are you sure you want to delete selected records?");
    ASSERT_EQ(book.Count(), 1);
    EXPECT_EQ(book.At(0)->firstName, "B");
    EXPECT_EQ(Column(w.PList, 0), QStringList({"B"}));
    w.PList->clearSelection();
    EXPECT_FALSE(w.ADelete->isEnabled());
    EXPECT_FALSE(w.BChange->isEnabled());
}

TEST_F(BookWindow, AddAndEditGoThroughTheCardAndCancelledAddsNothing)
{
    AddContact(book, "Zed", "", {"z@x.example"});
    AddressBookWindow w(book, path);
    bool confirm = false;
    w.editContact = [&](Contact& c) {
        c.firstName = "Amy";
        c.emails.Add("amy@x.example");
        return confirm;
    };
    w.ShowOrRaise();
    w.AAdd->trigger();
    EXPECT_EQ(book.Count(), 1);
    confirm = true;
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.PList, Qt::Key_A, Qt::ControlModifier); // AAdd's shortcut
    ASSERT_EQ(book.Count(), 2);
    ASSERT_EQ(w.PList->selectedItems().size(), 1);
    EXPECT_EQ(w.PList->selectedItems().first()->text(0), "Amy");
    EXPECT_EQ(Column(w.PList, 0), QStringList({"Amy", "Zed"}));
    w.editContact = [](Contact& c) {
        c.lastName = "Pond";
        return true;
    };
    w.BChange->click();
    EXPECT_EQ(w.PList->selectedItems().first()->text(0), "Amy Pond");
}

TEST_F(BookWindow, ClosingAfterAChangeSavesTheBookAtOnce)
{
    AddContact(book, "Keep", "", {"k@x.example"});
    {
        AddressBookWindow w(book, path);
        w.ShowOrRaise();
        w.close();
        EXPECT_FALSE(QFile::exists(path)); // nothing changed, nothing written
    }
    AddressBookWindow w(book, path);
    w.editContact = [](Contact& c) {
        c.lastName = "New";
        return true;
    };
    w.ShowOrRaise();
    w.AAdd->trigger();
    w.BClose->click();
    EXPECT_FALSE(w.isVisible());
    AddressBook saved;
    saved.LoadFromFile(path);
    ASSERT_EQ(saved.Count(), 2);
    EXPECT_EQ(saved.At(1)->lastName, "New");
    EXPECT_EQ(QFile(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
}

TEST_F(BookWindow, RecipientsAddedBySendingShowAtOnce)
{
    AddContact(book, "Old", "", {"o@x.example"});
    AddressBookWindow w(book, path);
    w.ShowOrRaise();
    book.AddRecipients({{QStringLiteral("Fresh"), "fresh@x.example"}});
    EXPECT_EQ(Column(w.PList, 0), QStringList({"Fresh", "Old"}));
}

using Picker = Recorded;

// Runs the picker modally; act runs once it is up.
AddressPick Pick(AddressBook& book, const std::function<void(AddressPickWindow*)>& act)
{
    QTimer::singleShot(0, [act] {
        auto* w = qobject_cast<AddressPickWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        act(w);
    });
    return PickAddresses(book, nullptr, true);
}

TEST_F(Picker, RowsPerAddressAndTheChosenKind)
{
    AddressBook book;
    AddContact(book, "Zoe", "Quinn", {"z1@x.example", "z2@x.example", "z3@x.example"});
    AddContact(book, "Al", "", {"al@x.example"});
    AddContact(book, "NoMail", "", {});
    const AddressPick pick = Pick(book, [](AddressPickWindow* w) {
        EXPECT_EQ(w->PList->topLevelItemCount(), 4);
        EXPECT_EQ(Column(w->PList, 0), QStringList({"Al", "Zoe Quinn", "Zoe Quinn", "Zoe Quinn"}));
        EXPECT_TRUE(w->BCC->isEnabled()); // the first row is selected
        w->PList->clearSelection();
        EXPECT_FALSE(w->BTo->isEnabled());
        w->PList->topLevelItem(3)->setSelected(true);
        w->PList->topLevelItem(0)->setSelected(true);
        w->BCC->click();
    });
    EXPECT_EQ(pick.type, 2);
    EXPECT_EQ(pick.texts, QStringList({"Al <al@x.example>", "Zoe Quinn <z3@x.example>"}));
    const QList<EmailAddress> r = pick.Recipients();
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(r.at(1).name, "Zoe Quinn");
    EXPECT_EQ(r.at(1).address, "z3@x.example");
    EXPECT_EQ(r.at(1).type, 2);

    const AddressPick cancelled =
        Pick(book, [](AddressPickWindow* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(cancelled.type, 0);
    EXPECT_TRUE(cancelled.texts.isEmpty());
    EXPECT_TRUE(cancelled.Recipients().isEmpty());
}

} // namespace
