#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CSkinListCtrl;
class QWidget;

/// Taking a list's rows out of the terminal: "复制" puts the selected rows on the
/// clipboard as tab-separated text, "导出 CSV…" writes every row to a file the user picks.
/// Both take the visible columns that have a heading, in the order shown. The text
/// builders and the file writer need no widget.
namespace ListExport
{
/// Rows as tab-separated text, each row ending in a newline. Tabs and line breaks inside
/// a field become spaces, so every row stays one line of cells.
QString ToTsv(const std::vector<QStringList>& rows);

/// A CSV file: UTF-8 with a byte-order mark (so spreadsheet programs read the Chinese
/// right), the headings as the first record, CRLF after every record; a field holding a
/// comma, a double quote, CR or LF is quoted and its quotes doubled.
QByteArray ToCsv(const QStringList& headings, const std::vector<QStringList>& rows);

/// Writes the bytes through a temporary file beside `path` and a rename, so a failure
/// never leaves a half-written file under that name. False with a reason on failure.
bool WriteFile(const QString& path, const QByteArray& bytes, QString& error);

/// Asks for the file to export to: parent window, dialog caption, suggested file name.
/// Returns the chosen path, or an empty text when the user cancelled.
using FileNameChooser =
    std::function<QString(QWidget* parent, const QString& caption, const QString& suggested)>;
/// Replaces the file dialog (tests answer it at once); an empty chooser restores the
/// dialog. Returns the previous chooser.
FileNameChooser SetFileNameChooser(FileNameChooser chooser);

/// The headings of the columns taken out of the list.
QStringList Headings(const CSkinListCtrl& list);
/// The texts of one row in those columns.
QStringList RowTexts(const CSkinListCtrl& list, int row);

/// Copies the selected rows, lowest first, to the clipboard; nothing when none is
/// selected. Returns the number of rows copied.
int CopySelection(const CSkinListCtrl& list);
/// Asks for a file (suggesting `baseName` with today's date) and writes every row to it;
/// a failed write is reported in a message box owned by `owner`. Returns whether a
/// file was written.
bool ExportCsv(const CSkinListCtrl& list, QWidget* owner, const QString& baseName);

/// Gives the list its context menu: "复制" (copyAction, also Ctrl+C in the list) and
/// "导出 CSV…" (exportCsvAction). `baseName` names the suggested file, e.g. "当日委托".
void AttachContextMenu(CSkinListCtrl& list, const QString& baseName);
} // namespace ListExport
