#include "resultsworkbook.h"

#include "configurationgrid.h"
#include "resultcolumns.h"
#include "xlsxfile.h"

#include <outputs.h>

#include <algorithm>
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

void writeNumberCell(XlsxFile &xlsx, int row, int col, double v, bool bold = false)
{
    // A spreadsheet has no NaN or infinity: such a number would make the file unreadable.
    if (std::isfinite(v))
        xlsx.writeNumber(row, col, v, bold);
    else
        xlsx.writeString(row, col, QString::number(v), bold);
}

bool stopped(const std::atomic<int> *stop) { return stop && stop->load() != 0; }

// One reactor's block on a data sheet.
struct Block {
    int left;      // its first sheet column
    int reactor;   // 1 or 2
    const ResultRows &table;
    int firstRow;  // the table row shown in sheet row 5
    int rows;      // table rows to show from

    int sheetRows() const { return std::max(rows - firstRow, 0); }
};

// Sheet row 1 to 4 (row 0 to 3) above a block: title, subtitles, headers, units.
void writeBlockHead(XlsxFile &xlsx, const DataSheet &ds, const Block &block, int row)
{
    if (row == 0) {
        xlsx.writeString(row, block.left, QStringLiteral("REACTOR %1 OUTPUT").arg(block.reactor), true);
    } else if (row == 1) {
        xlsx.writeString(row, block.left, QString::fromUtf8(ds.subtitle), true);
        if (ds.subtitle2)
            xlsx.writeString(row, block.left + 3, QString::fromUtf8(ds.subtitle2), true);
    } else {
        for (int c = 0; c < ds.columnCount; ++c) {
            const int column = ds.firstColumn + c;
            xlsx.writeString(row, block.left + c,
                             QString::fromUtf8(row == 2 ? kResultColumnTable[column].header
                                                        : outputInfos()[size_t(column)].columnUnit),
                             true);
        }
    }
}

// A data sheet row by row: each row holds both blocks' cells.
void writeDataSheet(XlsxFile &xlsx, const DataSheet &ds, const std::vector<Block> &blocks, const std::atomic<int> *stop)
{
    xlsx.addSheet(QString::fromUtf8(ds.name));
    int sheetRows = 0;
    for (const Block &block : blocks) {
        xlsx.setColumnWidth(block.left, block.left, kFirstColumnWidth);
        xlsx.setColumnWidth(block.left + 1, block.left + ds.columnCount - 1, kColumnWidth);
        sheetRows = std::max(sheetRows, block.sheetRows());
    }
    for (int row = 0; row < kFirstDataRow; ++row)
        for (const Block &block : blocks)
            writeBlockHead(xlsx, ds, block, row);
    for (int i = 0; i < sheetRows && !xlsx.failed(); ++i) {
        if (stopped(stop)) {
            xlsx.abandon(QStringLiteral("cancelled"));
            return;
        }
        for (const Block &block : blocks) {
            if (i >= block.sheetRows())
                continue;
            const std::vector<double> &values = block.table[block.firstRow + i];
            for (int c = 0; c < ds.columnCount; ++c)
                writeNumberCell(xlsx, kFirstDataRow + i, block.left + c, values[ds.firstColumn + c]);
        }
    }
}

void writeConfiguration(XlsxFile &xlsx, const std::vector<double> &runParams, const QString &feedFile)
{
    xlsx.addSheet(QStringLiteral("CONFIGURATION"));
    xlsx.setColumnWidth(0, 4, 18.5);
    xlsx.setColumnWidth(1, 3, 11);
    xlsx.setColumnWidth(5, 6, 11);
    const ConfigurationGrid grid = configurationGrid(runParams, feedFile);
    for (int r = 0; r < int(grid.size()); ++r)
        for (int c = 0; c < int(grid[r].size()); ++c) {
            const GridCell &cell = grid[r][c];
            if (cell.number)
                writeNumberCell(xlsx, r, c, *cell.number, cell.bold);
            else
                xlsx.writeString(r, c, cell.text, cell.bold);
        }
}

void writeExtraSheet(XlsxFile &xlsx, const ExtraSheet &sheet, const std::atomic<int> *stop)
{
    xlsx.addSheet(sheet.name);
    for (int c = 0; c < int(sheet.columnWidths.size()); ++c)
        if (sheet.columnWidths[c] > 0)
            xlsx.setColumnWidth(c, c, sheet.columnWidths[c]);
    const size_t rows = sheet.rowAt ? sheet.rowCount : sheet.rows.size();
    for (size_t r = 0; r < rows && !xlsx.failed(); ++r) {
        if (stopped(stop)) {
            xlsx.abandon(QStringLiteral("cancelled"));
            return;
        }
        const std::vector<SheetCell> given = sheet.rowAt ? sheet.rowAt(r) : std::vector<SheetCell>{};
        const std::vector<SheetCell> &cells = sheet.rowAt ? given : sheet.rows[r];
        for (int c = 0; c < int(cells.size()); ++c) {
            const SheetCell &cell = cells[size_t(c)];
            if (const QString *text = std::get_if<QString>(&cell.value))
                xlsx.writeString(int(r), c, *text, cell.bold);
            else
                writeNumberCell(xlsx, int(r), c, std::get<double>(cell.value), cell.bold);
        }
    }
}

}  // namespace

WrittenFile saveResultsWorkbook(const FileTarget &target, const WorkbookContent &content)
{
    static const ResultRows none;
    XlsxFile xlsx(target);
    const int rows1 = content.reactor1 ? std::min(content.rows, int(content.reactor1->size())) : 0;
    const int rows2 = content.reactor2 ? std::min(content.rows, int(content.reactor2->size())) : 0;

    for (const DataSheet &ds : kDataSheets) {
        // The start state appears on "Basic" only.
        const bool isBasic = &ds == &kDataSheets[0];
        std::vector<Block> blocks{{0, 1, content.reactor1 ? *content.reactor1 : none, isBasic ? 0 : 1, rows1}};
        // Reactor 2 sits one empty column to the right and always starts at the first
        // integrated sample, so on "Basic" it is one sample ahead of reactor 1 row for row.
        if (content.reactor2)
            blocks.push_back({ds.columnCount + 1, 2, *content.reactor2, 1, rows2});
        writeDataSheet(xlsx, ds, blocks, content.stop);
    }
    writeConfiguration(xlsx, content.runParams, content.feedFile);
    for (const ExtraSheet &sheet : content.extraSheets)
        writeExtraSheet(xlsx, sheet, content.stop);
    xlsx.activate(0);  // "Basic"
    return xlsx.close();
}

FileTarget freshWorkbookTarget(const QDir &dir, const QDateTime &when)
{
    const QString name = QStringLiteral("results_") + when.toString(QStringLiteral("yyyyMMdd_hhmmss")) +
                         QStringLiteral(".xlsx");
    return {dir.absoluteFilePath(name), FileTarget::Existing::Keep};
}
