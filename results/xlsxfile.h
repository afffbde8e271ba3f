#pragma once

// A small .xlsx writer: sheets, text and number cells, bold text, column widths.
// Nothing reaches the disk before close(), which reports why saving failed.

#include <QByteArray>
#include <QString>

#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

class XlsxFile {
public:
    explicit XlsxFile(const QString &path);
    ~XlsxFile();
    XlsxFile(const XlsxFile &) = delete;
    XlsxFile &operator=(const XlsxFile &) = delete;

    // Appends a sheet and returns its index. Rows and columns below are counted from 0.
    int addSheet(const QString &name);
    void writeString(int sheet, int row, int col, const QString &text, bool bold = false);
    void writeNumber(int sheet, int row, int col, double value);
    void setColumnWidth(int sheet, int firstCol, int lastCol, double width);
    // The sheet the workbook opens on.
    void activate(int sheet);

    // Writes the file. Returns an empty string on success, otherwise what went wrong and where.
    QString close();

private:
    void noteError(int lxwError);

    QString path;
    QByteArray encodedPath;
    lxw_workbook *book = nullptr;
    lxw_format *bold = nullptr;
    std::vector<lxw_worksheet *> sheets;
    QString firstError;
};
