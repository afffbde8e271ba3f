#include "xlsxfile.h"

#include <QFileInfo>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

XlsxFile::CNumbers::CNumbers()
{
    static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", duplocale(LC_GLOBAL_LOCALE));
    previous = uselocale(c);
}

XlsxFile::CNumbers::~CNumbers() { uselocale(previous); }

XlsxFile::XlsxFile(const FileTarget &target)
    : file(target),
      targetPath(target.path),
      encodedTemp(QFile::encodeName(file.tempPath())),
      encodedFolder(QFile::encodeName(QFileInfo(file.tempPath()).absolutePath()))
{
    if (!file.error().isEmpty()) {
        firstError = file.error();
        return;
    }
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = encodedFolder.data();  // the rows wait on the disk that takes the workbook
    book = workbook_new_opt(encodedTemp.constData(), &options);
    bold = book ? workbook_add_format(book) : nullptr;
    if (bold)
        format_set_bold(bold);
    else
        abandon(QStringLiteral("could not start a workbook"));
}

XlsxFile::~XlsxFile() { release(); }

void XlsxFile::release()
{
    // Freeing a workbook without writing it leaves the sheets' row files open.
    for (lxw_worksheet *sheet : sheets)
        if (sheet->optimize_tmpfile) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    if (book)
        lxw_workbook_free(book);
    book = nullptr;
    sheets.clear();
}

void XlsxFile::abandon(const QString &why)
{
    if (firstError.isEmpty())
        firstError = QStringLiteral("%1: %2").arg(targetPath, why);
    release();  // never called into again
}

void XlsxFile::check(int lxwError, int systemError)
{
    if (lxwError == LXW_NO_ERROR)
        return;
    QString why = QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(lxwError)));
    if (systemError != 0)
        why += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(systemError)));
    abandon(why);
}

int XlsxFile::addSheet(const QString &name)
{
    if (failed())
        return -1;
    lxw_worksheet *sheet = workbook_add_worksheet(book, name.toUtf8().constData());
    if (!sheet) {
        abandon(QStringLiteral("could not add the sheet \"%1\"").arg(name));
        return -1;
    }
    sheets.push_back(sheet);
    return int(sheets.size()) - 1;
}

void XlsxFile::writeString(int row, int col, const QString &text, bool isBold)
{
    if (!failed())
        check(worksheet_write_string(sheets.back(), lxw_row_t(row), lxw_col_t(col), text.toUtf8().constData(),
                                     isBold ? bold : nullptr));
}

void XlsxFile::writeNumber(int row, int col, double value, bool isBold)
{
    if (!failed())
        check(worksheet_write_number(sheets.back(), lxw_row_t(row), lxw_col_t(col), value, isBold ? bold : nullptr));
}

void XlsxFile::setColumnWidth(int firstCol, int lastCol, double width)
{
    // Column by column, so that a later width for part of an earlier range replaces it
    // instead of producing overlapping column records.
    for (int c = firstCol; c <= lastCol && !failed(); ++c)
        check(worksheet_set_column(sheets.back(), lxw_col_t(c), lxw_col_t(c), width, nullptr));
}

void XlsxFile::activate(int sheet)
{
    if (!failed())
        worksheet_activate(sheets.at(sheet));
}

// The rows already handed to each sheet's temporary file must all be there: the library does not
// check those writes, and would assemble a workbook with rows missing from a full disk.
QString XlsxFile::unwrittenRows() const
{
    for (lxw_worksheet *sheet : sheets) {
        errno = 0;
        if (sheet->optimize_tmpfile && (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile)))
            return QStringLiteral("the rows of sheet \"%1\" could not be stored on the disk%2")
                .arg(QString::fromUtf8(sheet->name),
                     errno != 0 ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)) : QString());
    }
    return {};
}

WrittenFile XlsxFile::close()
{
    if (!failed()) {
        const QString lost = unwrittenRows();
        if (!lost.isEmpty()) {
            abandon(lost);
        } else {
            errno = 0;
            const lxw_error closed = workbook_close(book);
            const int systemError = errno;
            book = nullptr;  // workbook_close frees it, whatever it returns
            sheets.clear();
            check(closed, systemError);
        }
    }
    if (failed())
        return {{}, firstError};
    return file.commit();
}
