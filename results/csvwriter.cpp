#include "csvwriter.h"

#include "resultcolumns.h"
#include "safefile.h"

#include <QLocale>
#include <QStringList>
#include <QTextStream>

#include <cerrno>

QString writeResultCsv(const QString &path, const ResultRows &reactor1, const ResultRows *reactor2, int rows)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    errno = 0;  // what a failed write leaves here names the failure
    if (!writeResultCsv(file.file(), reactor1, reactor2, rows))
        return file.writeError();
    return file.commit().error;
}

bool writeResultCsv(QIODevice &device, const ResultRows &reactor1, const ResultRows *reactor2, int rows)
{
    std::vector<const ResultRows *> reactors{&reactor1};
    if (reactor2)
        reactors.push_back(reactor2);
    for (const ResultRows *table : reactors)
        rows = std::min(rows, int(table->size()));

    QTextStream out(&device);

    QStringList headers, units;
    for (size_t r = 0; r < reactors.size(); ++r) {
        const QString prefix = reactors.size() > 1 ? QStringLiteral("R%1 ").arg(r + 1) : QString();
        for (const ResultColumn &column : kResultColumnTable) {
            headers << prefix + QString::fromUtf8(column.header);
            units << QString::fromUtf8(column.unit);
        }
    }
    out << headers.join(',') << '\n' << units.join(',') << '\n';

    for (int i = 0; i < rows; ++i) {
        QStringList line;
        for (const ResultRows *table : reactors) {
            const std::vector<double> &row = (*table)[i];
            line << QString::number(rowTime(row[0]), 'g', QLocale::FloatingPointShortest);
            for (size_t c = 1; c < row.size(); ++c)
                line << QString::number(row[c], 'g', QLocale::FloatingPointShortest);
        }
        out << line.join(',') << '\n';
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}
