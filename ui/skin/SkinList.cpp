#include "ui/skin/SkinList.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

#include <limits>

#include "ui/skin/SkinEngine.h"

CSkinListModel::CSkinListModel(QObject* parent) : QAbstractTableModel(parent) {}

CSkinListModel::~CSkinListModel() = default;

int CSkinListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CSkinListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headings.size());
}

const CSkinListModel::Cell* CSkinListModel::CellAt(int row, int column) const
{
    const int columns = columnCount();
    if (row < 0 || column < 0 || row >= m_rows || column >= columns)
        return nullptr;
    return &m_cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                    static_cast<std::size_t>(column)];
}

CSkinListModel::Cell* CSkinListModel::CellAt(int row, int column)
{
    return const_cast<Cell*>(std::as_const(*this).CellAt(row, column));
}

QVariant CSkinListModel::data(const QModelIndex& index, int role) const
{
    const Cell* const cell = CellAt(index.row(), index.column());
    if (!cell)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cell->text;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case Qt::ToolTipRole: {
        const QString& tip = m_rowToolTips[static_cast<std::size_t>(index.row())];
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        const std::size_t row = static_cast<std::size_t>(index.row());
        if (row >= m_rowColors.size())
            return {};
        const QColor& color =
            role == Qt::ForegroundRole ? m_rowColors[row].foreground : m_rowColors[row].background;
        return color.isValid() ? QVariant(color) : QVariant();
    }
    case SkinRole::kItemStyle:
        return m_styles[cell->itemStyle];
    case SkinRole::kDrawStyle:
        return m_styles[cell->drawStyle];
    default:
        return {};
    }
}

QVariant CSkinListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnCount())
        return m_headings[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

int CSkinListModel::AddColumn(const QString& heading)
{
    if (m_rows != 0)
        return -1;
    const int column = columnCount();
    beginInsertColumns({}, column, column);
    m_headings.push_back(heading);
    endInsertColumns();
    return column;
}

int CSkinListModel::AddRow()
{
    const int row = m_rows;
    const bool tell = m_fillDepth == 0;
    if (tell)
        beginInsertRows({}, row, row);
    m_cells.resize(m_cells.size() + static_cast<std::size_t>(columnCount()));
    m_rowToolTips.emplace_back();
    ++m_rows;
    if (tell)
        endInsertRows();
    return row;
}

void CSkinListModel::Clear()
{
    const bool tell = m_fillDepth == 0;
    if (tell)
        beginResetModel();
    m_cells.clear();
    m_rowToolTips.clear();
    m_rowColors.clear();
    m_rows = 0;
    if (tell)
        endResetModel();
}

void CSkinListModel::EmitCellChanged(int row, int column)
{
    if (m_fillDepth != 0)
        return;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell);
}

bool CSkinListModel::SetItemStyle(int row, int column, std::string_view style)
{
    Cell* const cell = CellAt(row, column);
    if (!cell)
        return false;
    cell->itemStyle = InternStyle(style);
    EmitCellChanged(row, column);
    return true;
}

bool CSkinListModel::SetDrawValue(int row, int column, std::string_view style, const QString& text)
{
    Cell* const cell = CellAt(row, column);
    if (!cell)
        return false;
    cell->drawStyle = InternStyle(style);
    cell->text = text;
    EmitCellChanged(row, column);
    return true;
}

bool CSkinListModel::SetRowToolTip(int row, const QString& toolTip)
{
    if (row < 0 || row >= m_rows)
        return false;
    m_rowToolTips[static_cast<std::size_t>(row)] = toolTip;
    if (m_fillDepth == 0 && columnCount() > 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::ToolTipRole});
    return true;
}

bool CSkinListModel::SetRowColors(int row, const QColor& foreground, const QColor& background)
{
    if (row < 0 || row >= m_rows)
        return false;
    const std::size_t at = static_cast<std::size_t>(row);
    if (m_rowColors.size() <= at)
        m_rowColors.resize(at + 1);
    m_rowColors[at] = {foreground, background};
    if (m_fillDepth == 0 && columnCount() > 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1),
                         {Qt::ForegroundRole, Qt::BackgroundRole});
    return true;
}

QString CSkinListModel::Text(int row, int column) const
{
    const Cell* const cell = CellAt(row, column);
    return cell ? cell->text : QString();
}

QString CSkinListModel::ItemStyle(int row, int column) const
{
    const Cell* const cell = CellAt(row, column);
    return cell ? m_styles[cell->itemStyle] : QString();
}

QString CSkinListModel::DrawStyle(int row, int column) const
{
    const Cell* const cell = CellAt(row, column);
    return cell ? m_styles[cell->drawStyle] : QString();
}

QString CSkinListModel::Heading(int column) const
{
    return column >= 0 && column < columnCount() ? m_headings[column] : QString();
}

CSkinListModel::StyleId CSkinListModel::InternStyle(std::string_view style)
{
    // Cells of one row ask for "column0", "column1", ... then one draw style many times:
    // the style after the last one, or the last one itself, is nearly always it.
    for (const std::size_t hint : {std::size_t(m_lastStyle) + 1, std::size_t(m_lastStyle)}) {
        if (hint < m_styleNames.size() && m_styleNames[hint] == style) {
            m_lastStyle = static_cast<StyleId>(hint);
            return m_lastStyle;
        }
    }
    for (std::size_t i = 0; i < m_styleNames.size(); ++i) {
        if (m_styleNames[i] == style) {
            m_lastStyle = static_cast<StyleId>(i);
            return m_lastStyle;
        }
    }
    // More names than an id can tell apart share the last id; no list comes near that.
    if (m_styles.size() > std::numeric_limits<StyleId>::max())
        return static_cast<StyleId>(m_styles.size() - 1);
    m_styleNames.emplace_back(style);
    m_styles.push_back(QString::fromLatin1(style.data(), static_cast<qsizetype>(style.size())));
    m_lastStyle = static_cast<StyleId>(m_styles.size() - 1);
    return m_lastStyle;
}

void CSkinListModel::BeginFill()
{
    if (m_fillDepth++ == 0)
        beginResetModel();
}

void CSkinListModel::EndFill()
{
    if (m_fillDepth == 0)
        return;
    if (--m_fillDepth == 0)
        endResetModel();
}

CSkinListCtrl::CSkinListCtrl(QWidget* parent) : QTableView(parent)
{
    setModel(&m_model);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // Fixed sizes: the view never measures the texts, so a long list fills quickly.
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control; the arrow keys move between the rows.
    setTabKeyNavigation(false);
    // The pages share the width out among the columns; only rows scroll.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
}

CSkinListCtrl::~CSkinListCtrl() = default;

int CSkinListCtrl::InsertColumn(const QString& heading, int width)
{
    const int column = m_model.AddColumn(heading);
    if (column >= 0)
        setColumnWidth(column, width);
    return column;
}

int CSkinListCtrl::GetColumnCount() const
{
    return m_model.columnCount();
}

int CSkinListCtrl::InsertItem()
{
    return m_model.AddRow();
}

int CSkinListCtrl::GetItemCount() const
{
    return m_model.rowCount();
}

void CSkinListCtrl::DeleteAllItems()
{
    m_model.Clear();
}

bool CSkinListCtrl::IsRowSelected(int row) const
{
    if (row < 0 || row >= m_model.rowCount())
        return false;
    return selectionModel()->isRowSelected(row, {});
}

int CSkinListCtrl::FirstSelectedRow() const
{
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (selectionModel()->isRowSelected(row, {}))
            return row;
    }
    return -1;
}

void CSkinListCtrl::DeselectAllBut(int keep)
{
    QItemSelectionModel* const selection = selectionModel();
    const bool keepValid = keep >= 0 && keep < m_model.rowCount();
    const bool keepSelected = keepValid && selection->isRowSelected(keep, {});
    const QModelIndex current = selection->currentIndex();
    if (keepSelected) {
        selection->select(m_model.index(keep, 0),
                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selection->clearSelection();
    }
    // Only the clicked row keeps the focus mark.
    if (current.isValid() && current.row() != keep)
        selection->setCurrentIndex(keepValid ? m_model.index(keep, 0) : QModelIndex(),
                                   QItemSelectionModel::NoUpdate);
}

void CSkinListCtrl::SelectRow(int row, bool addToSelection)
{
    if (row < 0 || row >= m_model.rowCount())
        return;
    const QItemSelectionModel::SelectionFlags flags =
        (addToSelection ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
        QItemSelectionModel::Rows;
    selectionModel()->select(m_model.index(row, 0), flags);
}

void CSkinListCtrl::SetRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}

int CSkinListCtrl::RowHeight() const
{
    return verticalHeader()->defaultSectionSize();
}

void CSkinListCtrl::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        current.isValid()) {
        selectionModel()->select(current,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        event->accept();
        emit RowClicked(current.row());
        return;
    }
    QTableView::keyPressEvent(event);
}

void CSkinListCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    emit RowClicked(index.isValid() ? index.row() : -1);
}
