#include "csvwriter.h"

#include "resultcolumns.h"
#include "safefile.h"

#include <outputs.h>

#include <QLocale>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cerrno>

QString writeResultCsv(const QString &path, const ResultRows &reactor1, const ResultRows *reactor2, int rows,
                       const OperationTables *operation)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    errno = 0;  // what a failed write leaves here names the failure
    if (!writeResultCsv(file.file(), reactor1, reactor2, rows, operation))
        return file.writeError();
    return file.commit().error;
}

bool writeResultCsv(QIODevice &device, const ResultRows &reactor1, const ResultRows *reactor2, int rows,
                    const OperationTables *operation)
{
    std::vector<const ResultRows *> reactors{&reactor1};
    if (reactor2)
        reactors.push_back(reactor2);
    std::vector<const ResultRows *> tables = reactors;  // every table whose rows make a line, in order
    if (operation) {
        for (const ResultRows &derived : operation->reactors)
            tables.push_back(&derived);
        tables.push_back(&operation->plant);
    }
    for (const ResultRows *table : tables)
        rows = std::min(rows, int(table->size()));

    QTextStream out(&device);

    QStringList headers, units;
    for (size_t r = 0; r < reactors.size(); ++r) {
        const QString prefix = reactors.size() > 1 ? QStringLiteral("R%1 ").arg(r + 1) : QString();
        for (int c = 0; c < kResultColumns; ++c) {
            headers << prefix + QString::fromUtf8(kResultColumnTable[c].header);
            units << QString::fromUtf8(outputInfos()[size_t(c)].columnUnit);
        }
    }
    if (operation) {
        const auto title = [&](const OutputInfo *info, const QString &prefix) {
            headers << prefix + QString::fromUtf8(info->column);
            units << QString::fromUtf8(info->columnUnit);
        };
        for (size_t r = 0; r < operation->reactors.size(); ++r)
            for (const OutputInfo *info : derivedColumns(OutputInfo::Scope::Reactor))
                title(info, reactors.size() > 1 ? QStringLiteral("R%1 ").arg(r + 1) : QString());
        for (const OutputInfo *info : derivedColumns(OutputInfo::Scope::Plant))
            title(info, QString());
    }
    out << headers.join(',') << '\n' << units.join(',') << '\n';

    for (int i = 0; i < rows; ++i) {
        QStringList line;
        // A reactor's time in its first column; every other value as computed.
        for (const ResultRows *table : tables) {
            const std::vector<double> &row = (*table)[i];
            for (size_t c = 0; c < row.size(); ++c) {
                const bool time = c == 0 && std::find(reactors.begin(), reactors.end(), table) != reactors.end();
                line << QString::number(time ? rowTime(row[c]) : row[c], 'g', QLocale::FloatingPointShortest);
            }
        }
        out << line.join(',') << '\n';
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}
