// The recipient input: rows, counting, reading, validity and completion.

#include "ui/compose/AddressInput.h"

#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

#include <gtest/gtest.h>

#include <stdexcept>

#include "ComposeFixtures.h"
#include "addressbook/AddressBook.h"

using namespace vm;

namespace {

// Row kinds from first to last: 'o' ordinary, 'n' new-recipient.
QString Kinds(const AddressInput& in)
{
    QString s;
    for (int i = 0; i < in.RowCount(); ++i)
        s += in.Row(i)->IsNewRecipientRow() ? u'n' : u'o';
    return s;
}

} // namespace

TEST(AddressInputTest, RowsKeepOneNewRecipientRowLast)
{
    vmtest::EnsureComposeApp();
    AddressInput in;
    EXPECT_EQ(Kinds(in), "n");
    in.AddRecipient(); // there is one already
    EXPECT_EQ(Kinds(in), "n");

    in.AddRecipient(EmailAddress("Bob", "bob@example.com", 2));
    in.AddRecipient(EmailAddress("", "   ", 1)); // blanks only: not complete
    in.AddRecipient(EmailAddress("", "c@example.com", 3));
    EXPECT_EQ(Kinds(in), "ooon");
    EXPECT_EQ(in.CompletedCount(), 2);
    const EmailAddress second = in.Completed(1);
    EXPECT_EQ(second.address, "c@example.com");
    EXPECT_EQ(second.type, 3);
    EXPECT_EQ(in.Completed(0).name, "Bob");
    EXPECT_EQ(in.Completed(0).type, 2);
    try {
        in.Completed(2);
        ADD_FAILURE() << "no error for index 2";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Index out of bounds (2)");
    }

    // The new-recipient row becomes ordinary and a fresh one follows.
    in.ActivateRow(in.Row(3));
    EXPECT_EQ(Kinds(in), "oooon");
    EXPECT_EQ(in.CompletedCount(), 2); // its text is still empty

    for (int i = in.RowCount() - 2; i >= 0; --i)
        in.DeleteRow(in.Row(i));
    EXPECT_EQ(Kinds(in), "n");
    EXPECT_EQ(in.CompletedCount(), 0);
}

TEST(AddressInputTest, OnlyRowsWithExactlyOneAddressAreValid)
{
    struct Case
    {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"bob@example.com", true},
        {"  Bob Smith <bob@example.com> ", true},
        {"\"Smith, Bob\" <bob@example.com>", true},
        {"a@example.com, c@example.com", false},
        {"Bob Smith", false},
        {"bob@", false},
        {"@example.com", false},
        {"Bob <bob smith@example.com>", false},
        {"bob@example.com\r\nBcc: eve@example.com", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AddressInput::IsValidRecipientText(QString::fromUtf8(c.text)), c.valid) << c.text;

    vmtest::EnsureComposeApp();
    AddressInput in;
    in.AddRecipient(EmailAddress("", "good@example.com"));
    AddressRow* bad = in.AddRecipient(EmailAddress());
    bad->Edit->setText(QStringLiteral("Just A Name"));
    EXPECT_EQ(in.FirstInvalidRow(), bad);
    bad->Edit->setText(QStringLiteral("name@example.com"));
    EXPECT_EQ(in.FirstInvalidRow(), nullptr);
}

TEST(AddressInputTest, CompletesFromTheAddressBook)
{
    vmtest::EnsureComposeApp();
    AddressBook& book = SharedAddressBook();
    book.Clear();
    auto* c = new Contact;
    c->firstName = QStringLiteral("Anna");
    c->lastName = QStringLiteral("Kowalska");
    c->emails.Add("anna@example.org");
    c->emails.Add("ak@example.net");
    book.Add(c);
    AddressInput in;
    in.ActivateRow(in.Row(0));
    QCompleter* completer = in.Row(0)->Edit->completer();
    ASSERT_NE(completer, nullptr);
    completer->setCompletionPrefix(QStringLiteral("kowal"));
    QStringList seen;
    for (int i = 0; completer->setCurrentRow(i); ++i)
        seen.append(completer->currentCompletion());
    EXPECT_EQ(seen, QStringList({QStringLiteral("Anna Kowalska <anna@example.org>"),
                                 QStringLiteral("Anna Kowalska <ak@example.net>")}));
    book.Clear();
}

// Picking addresses on the new-recipient row: the first fills that row, the
// others get rows of the same kind, empty rows go, a new-recipient row stays
// last; a cancelled pick changes nothing.
TEST(AddressInputTest, PickedAddressesFillRowsOfTheChosenKind)
{
    vmtest::EnsureComposeApp();
    AddressInput in;
    in.AddRecipient(EmailAddress("", "   ", 1)); // an empty row to be dropped
    in.AddRecipient(EmailAddress("Ann", "ann@example.com", 1));
    ASSERT_EQ(Kinds(in), "oon");

    AddressPick pick;
    in.pickAddresses = [&] { return pick; };
    in.PickInto(in.Row(2)); // cancelled
    EXPECT_EQ(Kinds(in), "oon");

    pick.type = 2;
    pick.names = {"Bob", "Cid", "Dee"};
    pick.addresses = {"bob@example.com", "cid@example.com", "dee@example.com"};
    in.PickInto(in.Row(2));
    EXPECT_EQ(Kinds(in), "oooon");
    ASSERT_EQ(in.CompletedCount(), 4);
    EXPECT_EQ(in.Completed(0).address, "ann@example.com");
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(in.Completed(i).address, pick.addresses[i - 1]);
        EXPECT_EQ(in.Completed(i).type, 2);
    }
}
