#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "ui/skin/SkinEngine.h"
#include "util/util.h"

namespace
{
QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

class SkinLoadTest : public ::testing::Test
{
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
    QTemporaryDir m_dir;
};

TEST_F(SkinLoadTest, MissingFileFallsBackToTheBuiltInCopy)
{
    ASSERT_EQ(dsLoadSkin(m_dir.filePath(QStringLiteral("absent.pmf")).toStdString(), 1), 1);
    EXPECT_EQ(LoadedSkinOrigin(), SkinOrigin::BuiltIn);
    EXPECT_FALSE(BuiltInSkinSheet().isEmpty());
    EXPECT_EQ(LoadedSkinSheet(), BuiltInSkinSheet());
    EXPECT_EQ(qApp->styleSheet(), BuiltInSkinSheet());
}

TEST_F(SkinLoadTest, FileByRelativeNameIsUsedAsTheSheet)
{
    const QByteArray sheet = "QPushButton[skin=\"btn.login\"] { color: #123456; }";
    WriteFile(m_dir, QStringLiteral("optionSkin.pmf"), sheet);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const int result = dsLoadSkin("optionSkin.pmf", 1);
    QDir::setCurrent(previous);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(LoadedSkinOrigin(), SkinOrigin::File);
    EXPECT_EQ(LoadedSkinSheet(), QString::fromUtf8(sheet));
    EXPECT_EQ(qApp->styleSheet(), QString::fromUtf8(sheet));
}

// Files that cannot serve as a skin leave the terminal with the built-in look, not
// with no look at all.
TEST_F(SkinLoadTest, UnusableFilesFallBackToTheBuiltInCopy)
{
    const std::function<QString()> cases[] = {
        [&] { return WriteFile(m_dir, QStringLiteral("empty.pmf"), QByteArray()); },
        [&] { return WriteFile(m_dir, QStringLiteral("blank.pmf"), QByteArray("  \n\t\n")); },
        [&] {
            return WriteFile(m_dir, QStringLiteral("huge.pmf"),
                             QByteArray(static_cast<qsizetype>(kMaxSkinFileBytes) + 1, 'a'));
        },
        [&] {
            QDir(m_dir.path()).mkpath(QStringLiteral("folder.pmf"));
            return m_dir.filePath(QStringLiteral("folder.pmf"));
        },
    };
    for (const auto& makeFile : cases) {
        const QString path = makeFile();
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(dsLoadSkin(path.toStdString(), 1), 1);
        EXPECT_EQ(LoadedSkinOrigin(), SkinOrigin::BuiltIn);
        EXPECT_EQ(qApp->styleSheet(), BuiltInSkinSheet());
    }
}

TEST(SkinWindowTest, RecordsNameKindAndFlagOnTheWidget)
{
    QPushButton button;
    EXPECT_EQ(dsSkinWindow(&button, SkinKind::kPushButton, "btn.login", 0), 1);
    EXPECT_EQ(button.property(kSkinNameProperty).toString(), QStringLiteral("btn.login"));
    EXPECT_EQ(button.property(kSkinKindProperty).toInt(), SkinKind::kPushButton);
    EXPECT_EQ(button.property(kSkinFlagProperty).toInt(), 0);

    QDialog dialog;
    EXPECT_EQ(dsSkinWindow(&dialog, SkinKind::kDialog, "login_dialog", 1), 1);
    EXPECT_EQ(dialog.property(kSkinFlagProperty).toInt(), 1);

    EXPECT_EQ(dsSkinWindow(nullptr, SkinKind::kDialog, "main_dialog", 0), 0);
}

TEST(SkinWindowTest, ListGetsSkinRowsOfFortyPixels)
{
    QTableWidget list(3, 2);
    dsSkinWindow(&list, SkinKind::kListView, "listctrl_positon", 0);
    EXPECT_TRUE(list.alternatingRowColors());
    list.insertRow(3);
    EXPECT_EQ(list.rowHeight(3), 40);
}

// Every skin name the terminal uses must be drawn by the skin, not left as a default
// widget: each is rendered unskinned and skinned under the built-in sheet, and the two
// pictures must differ.
struct SkinnedWindowCase
{
    int kind;
    const char* name;
    std::function<std::unique_ptr<QWidget>()> make;
};

std::unique_ptr<QWidget> MakeButton(bool checkable)
{
    auto button = std::make_unique<QPushButton>(QStringLiteral("委托行权"));
    button->setCheckable(checkable);
    button->setChecked(checkable);
    button->resize(90, 30);
    return button;
}

std::unique_ptr<QWidget> MakeLabel()
{
    auto label = std::make_unique<QLabel>(QStringLiteral("股东帐号"));
    label->resize(90, 24);
    return label;
}

std::unique_ptr<QWidget> MakeEdit()
{
    auto edit = std::make_unique<QLineEdit>(QStringLiteral("10001234"));
    edit->resize(150, 32);
    return edit;
}

std::unique_ptr<QWidget> MakeDialog()
{
    auto dialog = std::make_unique<QDialog>();
    dialog->resize(120, 80);
    return dialog;
}

std::unique_ptr<QWidget> MakePage()
{
    auto page = std::make_unique<QWidget>();
    page->resize(120, 80);
    return page;
}

std::unique_ptr<QWidget> MakeCombo()
{
    auto combo = std::make_unique<QComboBox>();
    combo->setEditable(true);
    combo->addItem(QStringLiteral("A123456789"));
    combo->resize(150, 28);
    return combo;
}

std::unique_ptr<QWidget> MakeList()
{
    auto list = std::make_unique<QTableWidget>(3, 3);
    list->resize(200, 150);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            list->setItem(row, column, new QTableWidgetItem(QStringLiteral("10")));
    return list;
}

QImage Render(QWidget& widget)
{
    widget.ensurePolished();
    return widget.grab().toImage();
}

TEST(SkinSheetTest, EveryNamedWindowIsDrawnBySkin)
{
    ASSERT_EQ(dsLoadSkin("", 1), 1);
    const auto button = [] { return MakeButton(false); };
    const auto tab = [] { return MakeButton(true); };
    const SkinnedWindowCase cases[] = {
        {100, "login_dialog", MakeDialog},
        {100, "main_dialog", MakeDialog},
        {100, "lock_dialog", MakeDialog},
        {100, "confirm_dialog", MakeDialog},
        {100, "entrust_dialog", MakePage},
        {100, "curentrust_dialog", MakePage},
        {100, "hisentrust_dialog", MakePage},
        {103, "btn.login", button},
        {103, "btn.locking", button},
        {103, "btn.refresh", button},
        {103, "btn.entrust", button},
        {103, "btn.prepage", button},
        {103, "btn.nextpage", button},
        {103, "btn.confirm", button},
        {103, "btn.cancel_", button},
        {103, "btn.cancel", button},
        {103, "btn.unlock", button},
        {105, "TabButton", tab},
        {106, "title_static", MakeLabel},
        {106, "normal_static", MakeLabel},
        {106, "hall_static", MakeLabel},
        {107, "username_edit", MakeEdit},
        {107, "password_edit", MakeEdit},
        {107, "check_code_edit", MakeEdit},
        {107, "entrust_edit_nor", MakeEdit},
        {107, "confrim_normal_edit", MakeEdit},
        {107, "lock_passwd_edit", MakeEdit},
        {110, "normal.combobox", MakeCombo},
        {109, "listctrl_positon", MakeList},
        {109, "listctrl_curentrust", MakeList},
        {109, "listctrl_hisentrust", MakeList},
    };
    for (const SkinnedWindowCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<QWidget> plain = c.make();
        const std::unique_ptr<QWidget> skinned = c.make();
        dsSkinWindow(skinned.get(), c.kind, c.name, 0);
        EXPECT_NE(Render(*plain), Render(*skinned));
    }
    qApp->setStyleSheet(QString());
}

// Buttons that share a kind but not a role are told apart: the cancel-order button
// must not look like the login button.
TEST(SkinSheetTest, NamesOfOneKindCanLookDifferent)
{
    ASSERT_EQ(dsLoadSkin("", 1), 1);
    const std::unique_ptr<QWidget> login = MakeButton(false);
    const std::unique_ptr<QWidget> cancel = MakeButton(false);
    dsSkinWindow(login.get(), SkinKind::kPushButton, "btn.login", 0);
    dsSkinWindow(cancel.get(), SkinKind::kPushButton, "btn.cancel", 0);
    EXPECT_NE(Render(*login), Render(*cancel));
    qApp->setStyleSheet(QString());
}

class ListCellTest : public ::testing::Test
{
protected:
    QTableWidget m_list{2, 3};
};

TEST_F(ListCellTest, CellKeepsItsStylesAndShowsGbkTextDecoded)
{
    const std::string gbk = Utf8ToAnsi("委托时间");
    ASSERT_NE(gbk, "委托时间"); // really GBK bytes, not UTF-8
    EXPECT_EQ(dsSetItemStyle(&m_list, 1, 2, "column2", 0), 1);
    EXPECT_EQ(dsSetDrawItemValueEx(&m_list, 1, 2, "textdefault", gbk, 0), 1);

    const QTableWidgetItem* const item = m_list.item(1, 2);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->data(SkinRole::kItemStyle).toString(), QStringLiteral("column2"));
    EXPECT_EQ(item->data(SkinRole::kDrawStyle).toString(), QStringLiteral("textdefault"));
    EXPECT_EQ(item->text(), QStringLiteral("委托时间"));
    EXPECT_EQ(item->textAlignment(), static_cast<int>(Qt::AlignCenter));
}

TEST_F(ListCellTest, StyleAloneLeavesTheCellEmpty)
{
    EXPECT_EQ(dsSetItemStyle(&m_list, 0, 0, "column0", 0), 1);
    ASSERT_NE(m_list.item(0, 0), nullptr);
    EXPECT_TRUE(m_list.item(0, 0)->text().isEmpty());
}

TEST_F(ListCellTest, CellsOutsideTheListAreRefused)
{
    const struct
    {
        int row;
        int column;
    } outside[] = {{-1, 0}, {0, -1}, {2, 0}, {0, 3}, {100, 100}};
    for (const auto& cell : outside) {
        SCOPED_TRACE(testing::Message() << cell.row << "," << cell.column);
        EXPECT_EQ(dsSetItemStyle(&m_list, cell.row, cell.column, "column0", 0), 0);
        EXPECT_EQ(dsSetDrawItemValueEx(&m_list, cell.row, cell.column, "textdefault", "x", 0), 0);
    }
    EXPECT_EQ(m_list.rowCount(), 2);
    EXPECT_EQ(m_list.columnCount(), 3);
    EXPECT_EQ(dsSetItemStyle(static_cast<QTableWidget*>(nullptr), 0, 0, "column0", 0), 0);
    EXPECT_EQ(
        dsSetDrawItemValueEx(static_cast<QTableWidget*>(nullptr), 0, 0, "textdefault", "x", 0), 0);
}

TEST(SkinMessageBoxTest, AsksOkCancelWithDecodedTextsAndReturnsTheAnswer)
{
    QWidget owner;
    for (const int answer : {MessageBoxes::kOk, MessageBoxes::kCancel}) {
        MessageRecorder recorder(answer);
        EXPECT_EQ(dsMessageBox(&owner, Utf8ToAnsi(" 行权终端退出！"),
                               Utf8ToAnsi("Vellora股权业务自主行权终端"), kMessageBoxOkCancel),
                  answer);
        ASSERT_EQ(recorder.Requests().size(), 1u);
        const MessageBoxes::Request& request = recorder.Requests().front();
        EXPECT_EQ(request.kind, MessageBoxes::Kind::Skinned);
        EXPECT_EQ(request.owner, &owner);
        EXPECT_TRUE(request.withCancel);
        EXPECT_EQ(request.text, QStringLiteral(" 行权终端退出！"));
        EXPECT_EQ(request.caption, QStringLiteral("Vellora股权业务自主行权终端"));
    }
}

// The real box behind the seam: OK gives 1, Cancel gives 2.
TEST(SkinMessageBoxTest, RealBoxReturnsOneForOkAndTwoForCancel)
{
    const struct
    {
        QMessageBox::StandardButton press;
        int expected;
    } cases[] = {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
    for (const auto& c : cases) {
        bool pressed = false;
        QString shownText;
        QTimer press;
        press.setSingleShot(true);
        QObject::connect(&press, &QTimer::timeout, [&] {
            auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            shownText = box->text();
            if (QAbstractButton* const button = box->button(c.press)) {
                pressed = true;
                button->click();
            }
        });
        press.start(0);
        // Closes the box should the press above not happen, so the test cannot hang.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* const box = QApplication::activeModalWidget())
                box->close();
        });
        watchdog.start(3000);
        QWidget owner;
        const int result =
            dsMessageBox(&owner, Utf8ToAnsi(" 行权终端退出！"),
                         Utf8ToAnsi("Vellora股权业务自主行权终端"), kMessageBoxOkCancel);
        EXPECT_TRUE(pressed);
        EXPECT_EQ(shownText, QStringLiteral(" 行权终端退出！"));
        EXPECT_EQ(result, c.expected);
    }
}
} // namespace
