#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "ui/DialogManager.h"

namespace
{
using Ownership = DialogInstance::Ownership;

/// A window with three pages and their tab buttons, as the main window lays them out.
class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) {
            m_pages.push_back(new QWidget(&m_window)); // owned by m_window
            auto* const button = new QPushButton(&m_window);
            button->setCheckable(true);
            button->setChecked(true);
            m_buttons.push_back(button);
            m_pages.back()->show();
            button->show();
        }
    }

    void Register(int id, int index, Ownership ownership = Ownership::Borrowed)
    {
        m_registry.AddDialog(
            std::make_unique<DialogInstance>(id, m_pages[index], m_buttons[index], 1, ownership));
    }

    QWidget m_window;
    std::vector<QWidget*> m_pages;
    std::vector<QPushButton*> m_buttons;
    CDialogManager m_registry;
};

TEST(DialogInstanceTest, FreshRecordsHoldTheirDefaults)
{
    const DialogInstance empty;
    EXPECT_EQ(empty.GetId(), -1);
    EXPECT_EQ(empty.GetDialog(), nullptr);
    EXPECT_EQ(empty.GetButton(), nullptr);
    EXPECT_EQ(empty.GetGroup(), 3);
    EXPECT_EQ(empty.GetAttached(), 0);
    EXPECT_EQ(empty.GetPinned(), 0);
    EXPECT_EQ(empty.GetVisible(), 1);

    QWidget page;
    QPushButton button;
    const DialogInstance record(7, &page, &button, 1);
    EXPECT_EQ(record.GetId(), 7);
    EXPECT_EQ(record.GetDialog(), &page);
    EXPECT_EQ(record.GetButton(), &button);
    EXPECT_EQ(record.GetGroup(), 3);
    EXPECT_EQ(record.GetAttached(), 1);
    EXPECT_EQ(record.GetOwnership(), Ownership::Borrowed);
}

TEST(DialogInstanceTest, ReleaseLetsGoAndDestroysOnlyAnOwnedDialog)
{
    for (const Ownership ownership : {Ownership::Borrowed, Ownership::Owned}) {
        auto page = std::make_unique<QWidget>();
        QPointer<QWidget> watch = page.get();
        DialogInstance record(2, page.get(), nullptr, 1, ownership);
        if (ownership == Ownership::Owned)
            (void)page.release(); // the record owns it now

        EXPECT_TRUE(record.Release());
        EXPECT_EQ(record.GetId(), -1);
        EXPECT_EQ(record.GetDialog(), nullptr);
        EXPECT_EQ(record.GetAttached(), 0);
        EXPECT_EQ(watch.isNull(), ownership == Ownership::Owned);
        EXPECT_TRUE(record.Release()) << "a second release is harmless";
    }
}

TEST_F(RegistryTest, ShowOnlyUnknownIdHidesEveryPageAndUnchecksEveryButton)
{
    Register(0, 0);
    Register(1, 1);
    Register(2, 2);
    EXPECT_TRUE(m_registry.ShowOnly(99));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(m_pages[i]->isHidden()) << i;
        EXPECT_FALSE(m_buttons[i]->isChecked()) << i;
    }
}

TEST_F(RegistryTest, ShowOnlyLeavesTheNamedRecordAsItWas)
{
    Register(0, 0);
    Register(1, 1);
    m_pages[1]->hide();
    m_buttons[1]->setChecked(true);
    EXPECT_TRUE(m_registry.ShowOnly(1));
    EXPECT_TRUE(m_pages[0]->isHidden());
    EXPECT_FALSE(m_buttons[0]->isChecked());
    EXPECT_TRUE(m_pages[1]->isHidden()) << "a hidden page stays hidden until the caller shows it";
    EXPECT_TRUE(m_buttons[1]->isChecked());
}

TEST_F(RegistryTest, LookupsFindTheFirstMatchOrNothing)
{
    Register(5, 0);
    Register(5, 1); // ids are the caller's; duplicates are allowed
    DialogInstance* record = nullptr;
    ASSERT_TRUE(m_registry.FindById(5, record));
    EXPECT_EQ(record->GetDialog(), m_pages[0]);
    ASSERT_TRUE(m_registry.FindByDialog(m_pages[1], record));
    EXPECT_EQ(record->GetButton(), m_buttons[1]);
    ASSERT_TRUE(m_registry.FindByButton(m_buttons[0], record));
    EXPECT_EQ(record->GetDialog(), m_pages[0]);

    QWidget stranger;
    EXPECT_FALSE(m_registry.FindById(6, record));
    EXPECT_EQ(record, nullptr);
    EXPECT_FALSE(m_registry.FindByDialog(&stranger, record));
    EXPECT_EQ(record, nullptr);
    EXPECT_FALSE(m_registry.FindByButton(&stranger, record));
    EXPECT_FALSE(m_registry.FindByDialog(nullptr, record));
}

TEST_F(RegistryTest, RemoveByIdTakesOnlyTheFirstOfDuplicates)
{
    Register(5, 0);
    Register(5, 1);
    ASSERT_TRUE(m_registry.RemoveById(5));
    EXPECT_EQ(m_registry.Count(), 1u);
    DialogInstance* record = nullptr;
    ASSERT_TRUE(m_registry.FindById(5, record));
    EXPECT_EQ(record->GetDialog(), m_pages[1]);
    EXPECT_TRUE(m_registry.RemoveById(5));
    EXPECT_FALSE(m_registry.RemoveById(5));
    EXPECT_EQ(m_registry.Count(), 0u);
}

TEST_F(RegistryTest, RemoveByButtonAndRemoveAll)
{
    Register(0, 0);
    Register(1, 1);
    Register(2, 2);
    EXPECT_TRUE(m_registry.RemoveByButton(m_buttons[1]));
    EXPECT_FALSE(m_registry.RemoveByButton(m_buttons[1]));
    EXPECT_FALSE(m_registry.RemoveByButton(nullptr));
    DialogInstance* record = nullptr;
    EXPECT_FALSE(m_registry.FindById(1, record));
    EXPECT_TRUE(m_registry.RemoveAll());
    EXPECT_EQ(m_registry.Count(), 0u);
    EXPECT_TRUE(m_registry.RemoveAll());
    // Borrowed pages live on with their window.
    for (QWidget* const page : m_pages)
        EXPECT_EQ(page->parent(), &m_window);
}

TEST_F(RegistryTest, MoveAllPlacesEveryPageAndDoesNothingWhenEmpty)
{
    m_registry.MoveAll(QRect(7, 86, 976, 310)); // nothing registered: nothing moves
    EXPECT_NE(m_pages[0]->geometry(), QRect(7, 86, 976, 310));

    Register(0, 0);
    Register(1, 1);
    m_registry.MoveAll(QRect(7, 86, 976, 310));
    EXPECT_EQ(m_pages[0]->geometry(), QRect(7, 86, 976, 310));
    EXPECT_EQ(m_pages[1]->geometry(), QRect(7, 86, 976, 310));
    EXPECT_NE(m_pages[2]->geometry(), QRect(7, 86, 976, 310));
}

TEST_F(RegistryTest, GroupsShowTheirButtonsAndPinnedButtonsStay)
{
    Register(0, 0);
    Register(1, 1);
    Register(2, 2);
    DialogInstance* record = nullptr;
    ASSERT_TRUE(m_registry.FindById(0, record));
    record->SetGroup(1);
    ASSERT_TRUE(m_registry.FindById(1, record));
    record->SetGroup(2);
    ASSERT_TRUE(m_registry.FindById(2, record));
    record->SetGroup(2);
    record->SetPinned(1);

    m_registry.ShowGroup(1);
    EXPECT_FALSE(m_buttons[0]->isHidden());
    EXPECT_TRUE(m_buttons[1]->isHidden());
    EXPECT_FALSE(m_buttons[2]->isHidden()) << "pinned";
    std::vector<QWidget*> visible;
    m_registry.CollectVisibleButtons(visible);
    EXPECT_EQ(visible, std::vector<QWidget*>{m_buttons[0]});

    // A pinned button is left alone, even when hidden by someone else.
    m_buttons[2]->hide();
    m_registry.ShowGroup(2);
    EXPECT_TRUE(m_buttons[0]->isHidden());
    EXPECT_FALSE(m_buttons[1]->isHidden());
    EXPECT_TRUE(m_buttons[2]->isHidden());
    ASSERT_TRUE(m_registry.FindById(2, record));
    EXPECT_EQ(record->GetVisible(), 1);
    visible.assign(1, nullptr); // appends to what the caller holds
    m_registry.CollectVisibleButtons(visible);
    EXPECT_EQ(visible, (std::vector<QWidget*>{nullptr, m_buttons[1]}));
}

TEST_F(RegistryTest, OwnedPagesAreDestroyedOnRemovalBorrowedPagesAreNot)
{
    auto* const owned = new QWidget(&m_window);
    const QPointer<QWidget> ownedWatch = owned;
    m_registry.AddDialog(std::make_unique<DialogInstance>(9, owned, nullptr, 1, Ownership::Owned));
    Register(0, 0);

    EXPECT_TRUE(m_registry.RemoveById(9));
    EXPECT_TRUE(ownedWatch.isNull());
    EXPECT_TRUE(m_registry.RemoveById(0));
    EXPECT_EQ(m_pages[0]->parent(), &m_window);
}

// An owned page destroyed elsewhere first is not destroyed a second time by removal or
// by teardown.
TEST(RegistryOwnershipTest, PageDestroyedElsewhereIsNeverDestroyedTwice)
{
    auto registry = std::make_unique<CDialogManager>();
    QPointer<QWidget> first = new QWidget;  // owned by the record below
    QPointer<QWidget> second = new QWidget; // owned by the record below
    registry->AddDialog(std::make_unique<DialogInstance>(0, first, nullptr, 1, Ownership::Owned));
    registry->AddDialog(std::make_unique<DialogInstance>(1, second, nullptr, 1, Ownership::Owned));
    delete first.data();
    delete second.data();

    DialogInstance* record = nullptr;
    ASSERT_TRUE(registry->FindById(0, record));
    EXPECT_EQ(record->GetDialog(), nullptr);
    EXPECT_TRUE(registry->RemoveById(0));
    registry.reset(); // teardown releases the other record
    SUCCEED();
}

// The main window's layout: the registry is the first member, the pages come after it,
// so the pages are destroyed first and the registry's teardown must leave them be.
TEST(RegistryOwnershipTest, TeardownAfterMemberPagesAreGone)
{
    // Even a record wrongly marked as owning a member page must not destroy it again.
    struct Window
    {
        CDialogManager registry;
        QWidget entrustPage;
        QWidget curEntrustPage;
        explicit Window(Ownership ownership)
        {
            registry.AddDialog(
                std::make_unique<DialogInstance>(0, &curEntrustPage, nullptr, 1, ownership));
            registry.AddDialog(
                std::make_unique<DialogInstance>(2, &entrustPage, nullptr, 1, ownership));
        }
    };
    for (const Ownership ownership : {Ownership::Borrowed, Ownership::Owned}) {
        auto window = std::make_unique<Window>(ownership);
        DialogInstance* record = nullptr;
        ASSERT_TRUE(window->registry.FindByDialog(&window->entrustPage, record));
        window.reset(); // pages first, then the registry: no second destruction
    }
}

TEST(RegistryOwnershipTest, TeardownDestroysOwnedPagesOnly)
{
    const auto borrowed = std::make_unique<QWidget>();
    const QPointer<QWidget> borrowedWatch = borrowed.get();
    QPointer<QWidget> owned = new QWidget; // owned by the record below
    {
        CDialogManager registry;
        registry.AddDialog(
            std::make_unique<DialogInstance>(0, owned, nullptr, 1, Ownership::Owned));
        registry.AddDialog(std::make_unique<DialogInstance>(1, borrowed.get(), nullptr, 1));
    }
    EXPECT_TRUE(owned.isNull());
    EXPECT_FALSE(borrowedWatch.isNull());
}

/// A page that turns back to the registry while the registry is working on it.
class ReentrantPage : public QWidget
{
public:
    std::function<void()> onHide;

protected:
    void hideEvent(QHideEvent* event) override
    {
        if (onHide)
            onHide();
        QWidget::hideEvent(event);
    }
};

TEST(RegistryReentryTest, WindowOperationsMayCallBackIntoTheRegistry)
{
    QWidget window;
    CDialogManager registry;
    auto* const first = new ReentrantPage;
    first->setParent(&window);
    auto* const second = new ReentrantPage;
    second->setParent(&window);
    auto* const third = new QWidget(&window);
    window.show();

    registry.AddDialog(std::make_unique<DialogInstance>(0, first, nullptr, 1));
    registry.AddDialog(std::make_unique<DialogInstance>(1, second, nullptr, 1));
    registry.AddDialog(std::make_unique<DialogInstance>(2, third, nullptr, 1));

    // Hiding the first page looks itself up; hiding the second removes the third record
    // from under the running loop.
    bool lookedUp = false;
    first->onHide = [&] {
        DialogInstance* record = nullptr;
        lookedUp = registry.FindByDialog(first, record);
    };
    second->onHide = [&] { registry.RemoveById(2); };

    EXPECT_TRUE(registry.ShowOnly(-5));
    EXPECT_TRUE(lookedUp);
    EXPECT_EQ(registry.Count(), 2u);
    EXPECT_TRUE(first->isHidden());
    EXPECT_TRUE(second->isHidden());
}

TEST(RegistryReentryTest, DestroyingAnOwnedPageMayEmptyTheRegistry)
{
    CDialogManager registry;
    auto* const page = new QWidget;        // owned by the record below
    QPointer<QWidget> other = new QWidget; // owned by the record below
    registry.AddDialog(std::make_unique<DialogInstance>(0, page, nullptr, 1, Ownership::Owned));
    registry.AddDialog(std::make_unique<DialogInstance>(1, other, nullptr, 1, Ownership::Owned));
    QObject::connect(page, &QObject::destroyed, [&] { registry.RemoveAll(); });

    EXPECT_TRUE(registry.RemoveById(0));
    EXPECT_EQ(registry.Count(), 0u);
    EXPECT_TRUE(other.isNull());
}
} // namespace
