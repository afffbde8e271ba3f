#include "resultsworkbook.h"

#include "configurationgrid.h"
#include "resultcolumns.h"
#include "xlsxfile.h"

#include <QFileInfo>

#include <cmath>

namespace {

// One data sheet: which table columns it shows and the titles above them.
struct DataSheet {
    const char *name;
    int firstColumn;         // table column shown in the block's first sheet column
    int columnCount;
    const char *subtitle;    // row 2 above the block's first column
    const char *subtitle2;   // row 2 above the block's fourth column, if any
};

constexpr DataSheet kDataSheets[] = {
    {"Basic", 0, 11, "Basic parametres", nullptr},
    {"Gas and Soluble", 11, 19, "Gas phase matter", "Soluble matter"},
    {"Insoluble", 30, 12, "Insoluble matter", nullptr},
    {"Ions", 42, 8, "Ions", nullptr},
};

constexpr double kFirstColumnWidth = 18.5;
constexpr double kColumnWidth = 12.7;
constexpr int kFirstDataRow = 4;  // sheet row 5

void writeNumberCell(XlsxFile &xlsx, int sheet, int row, int col, double v)
{
    // A spreadsheet has no NaN or infinity: such a number would make the file unreadable.
    if (std::isfinite(v))
        xlsx.writeNumber(sheet, row, col, v);
    else
        xlsx.writeString(sheet, row, col, QString::number(v));
}

// One reactor's block on one data sheet, starting at sheet column left. The data begin at
// table row firstRow, which lands in sheet row 5.
void writeBlock(XlsxFile &xlsx, int sheet, const DataSheet &ds, int left, int reactor,
                const ResultRows &table, int rows, int firstRow)
{
    xlsx.writeString(sheet, 0, left, QStringLiteral("REACTOR %1 OUTPUT").arg(reactor), true);
    xlsx.writeString(sheet, 1, left, QString::fromUtf8(ds.subtitle), true);
    if (ds.subtitle2)
        xlsx.writeString(sheet, 1, left + 3, QString::fromUtf8(ds.subtitle2), true);
    for (int c = 0; c < ds.columnCount; ++c) {
        const ResultColumn &column = kResultColumnTable[ds.firstColumn + c];
        xlsx.writeString(sheet, 2, left + c, QString::fromUtf8(column.header), true);
        xlsx.writeString(sheet, 3, left + c, QString::fromUtf8(column.unit), true);
    }
    for (int r = firstRow; r < rows; ++r) {
        const std::vector<double> &row = table[r];
        for (int c = 0; c < ds.columnCount; ++c)
            writeNumberCell(xlsx, sheet, kFirstDataRow + r - firstRow, left + c, row[ds.firstColumn + c]);
    }
    xlsx.setColumnWidth(sheet, left, left, kFirstColumnWidth);
    xlsx.setColumnWidth(sheet, left + 1, left + ds.columnCount - 1, kColumnWidth);
}

void writeConfiguration(XlsxFile &xlsx, int sheet, const std::vector<double> &runParams,
                        const QLocale &locale)
{
    const ConfigurationGrid grid = configurationGrid(runParams, locale);
    for (int r = 0; r < int(grid.size()); ++r)
        for (int c = 0; c < int(grid[r].size()); ++c)
            xlsx.writeString(sheet, r, c, grid[r][c].text, grid[r][c].bold);
    xlsx.setColumnWidth(sheet, 0, 4, 18.5);
    xlsx.setColumnWidth(sheet, 1, 3, 11);
    xlsx.setColumnWidth(sheet, 5, 6, 11);
}

}  // namespace

QString saveResultsWorkbook(const QString &path, const WorkbookContent &content, const QLocale &locale)
{
    XlsxFile xlsx(path);
    const int rows1 = content.reactor1 ? std::min(content.rows, int(content.reactor1->size())) : 0;
    const int rows2 = content.reactor2 ? std::min(content.rows, int(content.reactor2->size())) : 0;
    static const ResultRows none;

    int basic = -1;
    for (const DataSheet &ds : kDataSheets) {
        const int sheet = xlsx.addSheet(QString::fromUtf8(ds.name));
        if (basic < 0)
            basic = sheet;
        // The start state appears on "Basic" only.
        const int firstRow = sheet == basic ? 0 : 1;
        writeBlock(xlsx, sheet, ds, 0, 1, content.reactor1 ? *content.reactor1 : none, rows1, firstRow);
        // Reactor 2 sits one empty column to the right and always starts at the first
        // integrated sample, so on "Basic" it is one sample ahead of reactor 1 row for row.
        if (content.reactor2)
            writeBlock(xlsx, sheet, ds, ds.columnCount + 1, 2, *content.reactor2, rows2, 1);
    }
    writeConfiguration(xlsx, xlsx.addSheet(QStringLiteral("CONFIGURATION")), content.runParams, locale);
    xlsx.activate(basic);
    return xlsx.close();
}

QString freshWorkbookPath(const QDir &dir, const QDateTime &when)
{
    const QString stem = QStringLiteral("results_") + when.toString(QStringLiteral("yyyyMMdd_hhmmss"));
    QString path = dir.absoluteFilePath(stem + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.absoluteFilePath(stem + QStringLiteral("_%1.xlsx").arg(n));
    return path;
}
