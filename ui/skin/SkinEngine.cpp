#include "ui/skin/SkinEngine.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>

#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/skin/SkinList.h"

// The resource lives in a static library; registering it by hand keeps the linker
// from dropping it.
static void InitSkinResource()
{
    Q_INIT_RESOURCE(skin);
}

namespace
{
constexpr int kSkinRowHeight = 40;
const char* const kBuiltInSkinPath = ":/halvorn/skin/optionSkin.pmf";

struct LoadedSkin
{
    QString sheet;
    SkinOrigin origin = SkinOrigin::None;
};

LoadedSkin& CurrentSkin()
{
    static LoadedSkin skin;
    return skin;
}

QString FromAscii(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

/// Reads a skin file; empty when it is absent, unreadable, empty or too large.
QString ReadSkinFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > kMaxSkinFileBytes)
        return {};
    const QByteArray bytes = file.read(kMaxSkinFileBytes + 1);
    if (bytes.size() > kMaxSkinFileBytes)
        return {};
    return QString::fromUtf8(bytes).trimmed();
}

/// Draws list cells the skin's way: centred text, no focus frame; the row colours come
/// from the style sheet, except where a cell asks for a background of its own.
class CSkinListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        // The sheet's item rule draws its own background over the cell's; a selected row
        // keeps the selection colour.
        const QVariant background = index.data(Qt::BackgroundRole);
        if (background.canConvert<QBrush>() && !(option.state & QStyle::State_Selected))
            painter->fillRect(option.rect, background.value<QBrush>());
        QStyledItemDelegate::paint(painter, option, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = Qt::AlignCenter;
        option->textElideMode = Qt::ElideRight;
        option->state &= ~QStyle::State_HasFocus;
    }
};

void Repolish(QWidget* window)
{
    QStyle* const style = window->style();
    style->unpolish(window);
    style->polish(window);
    window->update();
}

QTableWidgetItem* CellFor(QTableWidget* list, int row, int column)
{
    if (!list || row < 0 || column < 0 || row >= list->rowCount() || column >= list->columnCount())
        return nullptr;
    QTableWidgetItem* item = list->item(row, column);
    if (!item) {
        // The list takes ownership of the item.
        list->setItem(row, column, new QTableWidgetItem);
        item = list->item(row, column);
    }
    return item;
}
} // namespace

QString BuiltInSkinSheet()
{
    InitSkinResource();
    QFile file(QString::fromLatin1(kBuiltInSkinPath));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

int dsLoadSkin(std::string_view fileName, int /*flag*/)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 0;

    LoadedSkin loaded;
    if (!fileName.empty())
        loaded.sheet = ReadSkinFile(
            QString::fromLocal8Bit(fileName.data(), static_cast<qsizetype>(fileName.size())));
    loaded.origin = SkinOrigin::File;
    if (loaded.sheet.isEmpty()) {
        loaded.sheet = BuiltInSkinSheet();
        loaded.origin = SkinOrigin::BuiltIn;
    }
    if (loaded.sheet.isEmpty())
        return 0;

    // Fusion draws the same on every desktop, so the sheet looks as designed everywhere.
    if (QStyle* const fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Sans Serif")});
    font.setPixelSize(13);
    QApplication::setFont(font);
    qApp->setStyleSheet(loaded.sheet);
    CurrentSkin() = loaded;
    return 1;
}

int dsSkinWindow(QWidget* window, int kind, std::string_view skinName, int flag)
{
    if (!window)
        return 0;
    window->setProperty(kSkinNameProperty, FromAscii(skinName));
    window->setProperty(kSkinKindProperty, kind);
    window->setProperty(kSkinFlagProperty, flag);

    switch (kind) {
    case SkinKind::kDialog:
        // Pages are plain widgets; this lets the sheet paint their background and border.
        window->setAttribute(Qt::WA_StyledBackground, true);
        break;
    case SkinKind::kPushButton:
    case SkinKind::kTabButton:
        window->setCursor(Qt::PointingHandCursor);
        break;
    case SkinKind::kListView:
        if (auto* const view = qobject_cast<QTableView*>(window)) {
            view->setAlternatingRowColors(true);
            view->setShowGrid(false);
            view->setWordWrap(false);
            view->setItemDelegate(new CSkinListDelegate(view)); // owned by the view
            view->verticalHeader()->setMinimumSectionSize(1);
            view->verticalHeader()->setDefaultSectionSize(kSkinRowHeight);
        }
        break;
    case SkinKind::kComboBox:
        // The popup list follows the sheet only with a styled delegate.
        if (auto* const combo = qobject_cast<QComboBox*>(window))
            combo->view()->setItemDelegate(new QStyledItemDelegate(combo->view()));
        break;
    default:
        break;
    }
    Repolish(window);
    return 1;
}

int dsSetItemStyle(QTableWidget* list, int row, int column, std::string_view style,
                   int /*reserved*/)
{
    QTableWidgetItem* const item = CellFor(list, row, column);
    if (!item)
        return 0;
    item->setData(SkinRole::kItemStyle, FromAscii(style));
    item->setTextAlignment(Qt::AlignCenter);
    return 1;
}

int dsSetDrawItemValueEx(QTableWidget* list, int row, int column, std::string_view style,
                         std::string_view gbkText, int /*reserved*/)
{
    QTableWidgetItem* const item = CellFor(list, row, column);
    if (!item)
        return 0;
    item->setData(SkinRole::kDrawStyle, FromAscii(style));
    item->setTextAlignment(Qt::AlignCenter);
    item->setText(FromGbk(gbkText));
    return 1;
}

int dsSetItemStyle(CSkinListCtrl* list, int row, int column, std::string_view style,
                   int /*reserved*/)
{
    if (!list)
        return 0;
    return list->Model().SetItemStyle(row, column, style) ? 1 : 0;
}

int dsSetDrawItemValueEx(CSkinListCtrl* list, int row, int column, std::string_view style,
                         std::string_view gbkText, int /*reserved*/)
{
    if (!list)
        return 0;
    return list->Model().SetDrawValue(row, column, style, FromGbk(gbkText)) ? 1 : 0;
}

int dsMessageBox(QWidget* owner, std::string_view gbkText, std::string_view gbkCaption, int type)
{
    MessageBoxes::Request request;
    request.kind = MessageBoxes::Kind::Skinned;
    request.owner = owner;
    request.text = FromGbk(gbkText);
    request.caption = FromGbk(gbkCaption);
    request.withCancel = type == kMessageBoxOkCancel;
    return MessageBoxes::Show(request);
}

QString LoadedSkinSheet()
{
    return CurrentSkin().sheet;
}

SkinOrigin LoadedSkinOrigin()
{
    return CurrentSkin().origin;
}

void SkinMessageBox(QMessageBox& box)
{
    box.setProperty(kSkinNameProperty, QStringLiteral("message_box"));
    box.setProperty(kSkinKindProperty, SkinKind::kDialog);
    const auto buttons = box.buttons();
    for (QAbstractButton* const button : buttons) {
        button->setProperty(kSkinKindProperty, SkinKind::kPushButton);
        button->setCursor(Qt::PointingHandCursor);
    }
}
