#pragma once

// A small .xlsx writer: sheets, text and number cells, bold text, column widths. It keeps one
// row in memory at a time (the rest waits in a hidden temporary file in the target's folder), so
// sheets are written one after the other, each row by row: the sheet's column widths first, then
// all cells of a row before the next row. The file is a SafeFile: its name appears only when
// close() succeeds. The first failure ends all writing, and close() reports it.
// Numbers are written the same under any locale: while the object lives, the thread that made
// it formats numbers with the "C" conventions (one thread makes, uses and destroys it).

#include "safefile.h"

#include <QByteArray>
#include <QString>

#include <locale.h>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

class XlsxFile {
public:
    explicit XlsxFile(const FileTarget &target);
    ~XlsxFile();
    XlsxFile(const XlsxFile &) = delete;
    XlsxFile &operator=(const XlsxFile &) = delete;

    // Appends a sheet and returns its index; the calls below write into it. Rows and columns
    // are counted from 0.
    int addSheet(const QString &name);
    void setColumnWidth(int firstCol, int lastCol, double width);
    void writeString(int row, int col, const QString &text, bool bold = false);
    void writeNumber(int row, int col, double value, bool bold = false);
    // The sheet the workbook opens on.
    void activate(int sheet);

    // Whether a call failed; nothing more is written then.
    bool failed() const { return !firstError.isEmpty(); }
    // Abandons the workbook: close() then writes nothing and reports why.
    void abandon(const QString &why);

    // Assembles the file and moves it into place: its path, or what went wrong and where.
    WrittenFile close();

private:
    // The library formats numbers with printf, which follows LC_NUMERIC: under a decimal-comma
    // locale the cells would read "0,1", which spreadsheet programs refuse or cut to integers.
    struct CNumbers {
        CNumbers();
        ~CNumbers();
        locale_t previous;
    };

    // Abandons the workbook on a library error, in the library's words and, where a system call
    // failed, the system's (errno of that call).
    void check(int lxwError, int systemError = 0);
    QString unwrittenRows() const;
    void release();

    CNumbers numbers;  // first: it outlives every call into the library
    SafeFile file;
    QString targetPath;
    QByteArray encodedTemp, encodedFolder;
    lxw_workbook *book = nullptr;
    lxw_format *bold = nullptr;
    std::vector<lxw_worksheet *> sheets;
    QString firstError;
};
