#include "xlsxfile.h"

#include <QFile>

#include <xlsxwriter.h>

XlsxFile::XlsxFile(const QString &path_)
    : path(path_), encodedPath(QFile::encodeName(path_)), book(workbook_new(encodedPath.constData()))
{
    if (book) {
        bold = workbook_add_format(book);
        format_set_bold(bold);
    } else {
        firstError = QStringLiteral("could not start a workbook");
    }
}

XlsxFile::~XlsxFile()
{
    if (book)
        workbook_close(book);
}

void XlsxFile::noteError(int lxwError)
{
    if (lxwError != LXW_NO_ERROR && firstError.isEmpty())
        firstError = QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(lxwError)));
}

int XlsxFile::addSheet(const QString &name)
{
    lxw_worksheet *sheet = book ? workbook_add_worksheet(book, name.toUtf8().constData()) : nullptr;
    if (book && !sheet && firstError.isEmpty())
        firstError = QStringLiteral("could not add the sheet \"%1\"").arg(name);
    sheets.push_back(sheet);
    return int(sheets.size()) - 1;
}

void XlsxFile::writeString(int sheet, int row, int col, const QString &text, bool isBold)
{
    if (lxw_worksheet *ws = sheets.at(sheet))
        noteError(worksheet_write_string(ws, lxw_row_t(row), lxw_col_t(col), text.toUtf8().constData(),
                                         isBold ? bold : nullptr));
}

void XlsxFile::writeNumber(int sheet, int row, int col, double value)
{
    if (lxw_worksheet *ws = sheets.at(sheet))
        noteError(worksheet_write_number(ws, lxw_row_t(row), lxw_col_t(col), value, nullptr));
}

void XlsxFile::setColumnWidth(int sheet, int firstCol, int lastCol, double width)
{
    // Column by column, so that a later width for part of an earlier range replaces it
    // instead of producing overlapping column records.
    if (lxw_worksheet *ws = sheets.at(sheet))
        for (int c = firstCol; c <= lastCol; ++c)
            noteError(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), width, nullptr));
}

void XlsxFile::activate(int sheet)
{
    if (lxw_worksheet *ws = sheets.at(sheet))
        worksheet_activate(ws);
}

QString XlsxFile::close()
{
    if (book) {
        noteError(workbook_close(book));
        book = nullptr;
    }
    if (firstError.isEmpty())
        return {};
    return QStringLiteral("%1: %2").arg(path, firstError);
}
