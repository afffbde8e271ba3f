#include "stabilitydialog.h"

#include <outputs.h>
#include <resultcolumns.h>
#include <resultplots.h>
#include <results.h>
#include <workers.h>

#include <QHBoxLayout>
#include <qcustomplot.h>


namespace {

QVector<double> columnOf(const ResultRows &table, int rows, int column)
{
    QVector<double> values;
    values.reserve(rows);
    for (int i = 0; i < rows; ++i)
        values.append(table[size_t(i)][size_t(column)]);
    return values;
}

}  // namespace

StabilityDialog::StabilityDialog(int mode, double tEnd, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("StabilityDialog"));
    setWindowTitle(tr("Process stability"));
    auto *layout = new QHBoxLayout(this);
    const WorkerTables kept = workerTables(mode);
    const RefinementReport &report = results::last_report;
    if (!report.operation)
        return;
    const PlantInputs &p = kept.model->plant;
    const std::vector<const ResultRows *> tables{kept.reactor1, kept.reactor2};
    for (size_t r = 0; r < report.operation->reactors.size() && tables[r]; ++r) {
        auto *plot = new QCustomPlot(this);
        plot->setObjectName(QStringLiteral("customPlot_stability_%1").arg(r + 1));
        plot->setMinimumSize(420, 360);
        if (report.operation->reactors.size() > 1)
            plot->plotLayout()->insertRow(0), plot->plotLayout()->addElement(0, 0, new QCPTextElement(plot, tr("Reactor %1").arg(r + 1)));
        const int rows = std::min(report.computedRows, int(report.operation->reactors[r].size()));
        drawStabilityPlot(plot, columnOf(*tables[r], rows, ResultCol::t),
                          columnOf(report.operation->reactors[r], rows, derivedColumn(OutputInfo::Scope::Reactor, "fos_tac")),
                          columnOf(*tables[r], rows, ResultCol::pH), {p.fos_tac_warning, p.fos_tac_critical, p.ph_low},
                          tEnd);
        layout->addWidget(plot);
    }
}
