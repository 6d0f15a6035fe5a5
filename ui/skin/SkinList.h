#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <string>
#include <string_view>
#include <vector>

/// The rows of a skinned report list: a fixed set of columns, then rows of cells that each
/// keep their text and their skin styles. Row i is the i-th row added since the list was
/// last emptied, so a page's row index is the index of its record.
class CSkinListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CSkinListModel(QObject* parent = nullptr);
    ~CSkinListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// Appends a column; only while the list has no rows. Returns its index, or -1.
    int AddColumn(const QString& heading);
    /// Appends an empty row and returns its index.
    int AddRow();
    /// Empties the list (the columns stay).
    void Clear();

    /// The cell's styles (ASCII names) and text; false, changing nothing, for a cell
    /// outside the list.
    bool SetItemStyle(int row, int column, std::string_view style);
    bool SetDrawValue(int row, int column, std::string_view style, const QString& text);
    /// A tooltip for every cell of the row.
    bool SetRowToolTip(int row, const QString& toolTip);
    /// Text and background colours for every cell of the row, over the skin's; an
    /// invalid colour keeps the skin's. A selected row still shows as selected.
    bool SetRowColors(int row, const QColor& foreground, const QColor& background);

    QString Text(int row, int column) const;
    QString ItemStyle(int row, int column) const;
    QString DrawStyle(int row, int column) const;
    QString Heading(int column) const;

    /// Between BeginFill and EndFill the rows change without a signal per row; EndFill
    /// tells the views once (a refill of thousands of rows stays quick). Nested calls
    /// count; only the outermost pair tells the views.
    void BeginFill();
    void EndFill();

private:
    /// Index into m_styles; 0 is "no style".
    using StyleId = quint16;

    struct Cell
    {
        QString text;
        StyleId itemStyle = 0;
        StyleId drawStyle = 0;
    };

    /// The id of a style name, added when new.
    StyleId InternStyle(std::string_view style);

    const Cell* CellAt(int row, int column) const;
    Cell* CellAt(int row, int column);
    void EmitCellChanged(int row, int column);

    QStringList m_headings;
    /// Every style name in use: a list has a dozen, so cells keep a small id instead.
    std::vector<std::string> m_styleNames{std::string()};
    std::vector<QString> m_styles{QString()};
    StyleId m_lastStyle = 0;
    std::vector<Cell> m_cells; ///< row after row, columnCount() cells each
    std::vector<QString> m_rowToolTips;
    struct RowColors
    {
        QColor foreground;
        QColor background;
    };
    /// Only as long as the last row given colours: most lists mark no row.
    std::vector<RowColors> m_rowColors;
    int m_rows = 0;
    int m_fillDepth = 0;
};

/// The terminal's report list: a view without header rows over a CSkinListModel, whole
/// rows selected, drawn by the skin. The page lays out title labels above it as the
/// column titles.
class CSkinListCtrl : public QTableView
{
    Q_OBJECT

public:
    explicit CSkinListCtrl(QWidget* parent = nullptr);
    ~CSkinListCtrl() override;

    /// Appends a column with its heading (kept for copying and export) and width.
    int InsertColumn(const QString& heading, int width);
    int GetColumnCount() const;
    /// Appends an empty row; returns its index (the number of rows before it).
    int InsertItem();
    int GetItemCount() const;
    void DeleteAllItems();

    /// Whether the row is selected; false outside the list.
    bool IsRowSelected(int row) const;
    /// The selected row with the lowest index, or -1.
    int FirstSelectedRow() const;
    /// Deselects every row except `keep` (-1: every row).
    void DeselectAllBut(int keep);
    /// Selects the row, adding to the selection (tests and the keyboard).
    void SelectRow(int row, bool addToSelection);

    /// Row height in pixels.
    void SetRowHeight(int height);
    int RowHeight() const;

    CSkinListModel& Model() { return m_model; }
    const CSkinListModel& Model() const { return m_model; }

    /// Groups the row changes of a refill; the views are told once at the end.
    class Fill
    {
    public:
        explicit Fill(CSkinListCtrl& list) : m_model(list.Model()) { m_model.BeginFill(); }
        ~Fill() { m_model.EndFill(); }
        Fill(const Fill&) = delete;
        Fill& operator=(const Fill&) = delete;

    private:
        CSkinListModel& m_model;
    };

signals:
    /// A left click in the list, as its notification tells it: the row under the
    /// mouse, or -1 for a click outside every row. Sent once the click is done. Space on
    /// the current row picks it the same way, so a row is picked without the mouse too;
    /// the row is then the one selected row.
    void RowClicked(int row);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CSkinListModel m_model;
};
