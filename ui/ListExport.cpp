#include "ui/ListExport.h"

#include <QAction>
#include <QClipboard>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QSaveFile>

#include <utility>

#include "ui/MessageBoxes.h"
#include "ui/skin/SkinList.h"
#include "util/Clock.h"

namespace ListExport
{
namespace
{
QString ChooseWithDialog(QWidget* parent, const QString& caption, const QString& suggested)
{
    QFileDialog dialog(parent, caption, QDir::home().filePath(suggested),
                       QStringLiteral("CSV 文件 (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

FileNameChooser& Chooser()
{
    static FileNameChooser chooser;
    return chooser;
}

/// The model columns taken out, in the order the view shows them: shown, with a heading.
std::vector<int> ExportedColumns(const CSkinListCtrl& list)
{
    std::vector<int> columns;
    const QHeaderView* const header = list.horizontalHeader();
    for (int visual = 0; visual < list.GetColumnCount(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (column < 0 || list.isColumnHidden(column) || list.Model().Heading(column).isEmpty())
            continue;
        columns.push_back(column);
    }
    return columns;
}

QString TsvField(QString text)
{
    for (const QChar breaker : {QLatin1Char('\t'), QLatin1Char('\r'), QLatin1Char('\n')})
        text.replace(breaker, QLatin1Char(' '));
    return text;
}

void AppendCsvRecord(QByteArray& out, const QStringList& fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out.append(',');
        const QByteArray field = fields[i].toUtf8();
        const bool quoted = field.contains(',') || field.contains('"') || field.contains('\r') ||
                            field.contains('\n');
        if (!quoted) {
            out.append(field);
            continue;
        }
        out.append('"');
        for (const char c : field) {
            if (c == '"')
                out.append('"');
            out.append(c);
        }
        out.append('"');
    }
    out.append("\r\n");
}

QString SuggestedFileName(const QString& baseName)
{
    const QDate today = QDateTime::fromSecsSinceEpoch(Clock::Now()).date();
    return baseName + QLatin1Char('_') + today.toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".csv");
}
} // namespace

QString ToTsv(const std::vector<QStringList>& rows)
{
    QString text;
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                text.append(QLatin1Char('\t'));
            text.append(TsvField(row[i]));
        }
        text.append(QLatin1Char('\n'));
    }
    return text;
}

QByteArray ToCsv(const QStringList& headings, const std::vector<QStringList>& rows)
{
    QByteArray out("\xEF\xBB\xBF");
    AppendCsvRecord(out, headings);
    for (const QStringList& row : rows)
        AppendCsvRecord(out, row);
    return out;
}

bool WriteFile(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

FileNameChooser SetFileNameChooser(FileNameChooser chooser)
{
    return std::exchange(Chooser(), std::move(chooser));
}

QStringList Headings(const CSkinListCtrl& list)
{
    QStringList headings;
    for (const int column : ExportedColumns(list))
        headings.push_back(list.Model().Heading(column));
    return headings;
}

QStringList RowTexts(const CSkinListCtrl& list, int row)
{
    QStringList texts;
    for (const int column : ExportedColumns(list))
        texts.push_back(list.Model().Text(row, column));
    return texts;
}

int CopySelection(const CSkinListCtrl& list)
{
    std::vector<QStringList> rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.IsRowSelected(row))
            rows.push_back(RowTexts(list, row));
    }
    if (rows.empty())
        return 0;
    QGuiApplication::clipboard()->setText(ToTsv(rows));
    return static_cast<int>(rows.size());
}

bool ExportCsv(const CSkinListCtrl& list, QWidget* owner, const QString& baseName)
{
    const QString caption = QStringLiteral("导出 CSV");
    const QString suggested = SuggestedFileName(baseName);
    const QString path = Chooser() ? Chooser()(owner, caption, suggested)
                                   : ChooseWithDialog(owner, caption, suggested);
    if (path.isEmpty())
        return false;

    std::vector<QStringList> rows;
    rows.reserve(static_cast<std::size_t>(list.GetItemCount()));
    for (int row = 0; row < list.GetItemCount(); ++row)
        rows.push_back(RowTexts(list, row));
    QString error;
    if (!WriteFile(path, ToCsv(Headings(list), rows), error)) {
        MessageBoxes::ShowOwned(owner, QStringLiteral("导出失败，未能写入文件 ") +
                                           QDir::toNativeSeparators(path) + QStringLiteral("：") +
                                           error);
        return false;
    }
    return true;
}

void AttachContextMenu(CSkinListCtrl& list, const QString& baseName)
{
    QAction* const copy = new QAction(QStringLiteral("复制"), &list);
    copy->setObjectName(QStringLiteral("copyAction"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    QAction* const exportCsv = new QAction(QStringLiteral("导出 CSV…"), &list);
    exportCsv->setObjectName(QStringLiteral("exportCsvAction"));
    list.addAction(copy);
    list.addAction(exportCsv);
    list.setContextMenuPolicy(Qt::ActionsContextMenu);

    CSkinListCtrl* const target = &list;
    QObject::connect(copy, &QAction::triggered, target, [target] { CopySelection(*target); });
    QObject::connect(exportCsv, &QAction::triggered, target, [target, baseName] {
        QWidget* const owner = target->parentWidget() ? target->parentWidget() : target;
        ExportCsv(*target, owner, baseName);
    });
}
} // namespace ListExport
