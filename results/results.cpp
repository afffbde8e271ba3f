#include "results.h"

#include "resultcolumns.h"
#include "resultsworkbook.h"
#include "workers.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

QVector<double> results::plot_t_R1, results::plot_flow_R1, results::plot_ch4_R1, results::plot_co2_R1,
    results::plot_h2_R1, results::plot_h2o_R1;
QVector<double> results::plot_t_R2, results::plot_flow_R2, results::plot_ch4_R2, results::plot_co2_R2,
    results::plot_h2_R2, results::plot_h2o_R2;
double results::peak_flow_R1 = 0, results::peak_flow_R2 = 0;
QString results::last_workbook;
RefinementReport results::last_report;

namespace {

enum Mode { SSAD = 1, TSAD = 2, TPAD = 3, POMP = 4 };

// What a worker class kept of its last run.
struct RunTables {
    const ResultRows *reactor1;
    const ResultRows *reactor2;  // null for single-reactor configurations
    int rows;                    // rows both tables really hold
    int keptRows;                // the worker's own count
    const std::vector<double> *runParams;
};

RunTables tablesOf(int mode)
{
    RunTables run{};
    switch (mode) {
    case TSAD:
        run = {&calc_TSAD::results_R1, &calc_TSAD::results_R2, 0, calc_TSAD::results_rows, &calc_TSAD::run_params};
        break;
    case TPAD:
        run = {&calc_TPAD::results_R1, &calc_TPAD::results_R2, 0, calc_TPAD::results_rows, &calc_TPAD::run_params};
        break;
    case POMP:
        run = {&calc_POMP::results_R1, nullptr, 0, calc_POMP::results_rows, &calc_POMP::run_params};
        break;
    default:
        run = {&calc_SSAD::results_R1, nullptr, 0, calc_SSAD::results_rows, &calc_SSAD::run_params};
        break;
    }
    run.rows = std::min(run.keptRows, int(run.reactor1->size()));
    if (run.reactor2)
        run.rows = std::min(run.rows, int(run.reactor2->size()));
    run.rows = std::max(run.rows, 0);
    return run;
}

// An integrator failure leaves the rows after the last computed sample at zero. Time only
// grows from 0.0, so the first row after the start whose time is 0 ends the computed part.
int computedRowCount(const RunTables &run)
{
    const ResultRows &table = *run.reactor1;
    for (int i = 1; i < run.rows; ++i)
        if (table[i][ResultCol::t] == 0.0)
            return i;
    return run.rows;
}

void appendSeries(const ResultRows &table, int rows, std::initializer_list<std::pair<QVector<double> *, int>> series)
{
    for (auto [values, column] : series) {
        values->reserve(values->size() + rows);
        for (int i = 0; i < rows; ++i)
            values->append(table[i][column]);
    }
}

// The top of the flow axis: the largest normal flow before the last sample. A table too
// short for that uses the largest flow present, or 1 when there is no positive flow.
double peakFlow(const ResultRows &table, int rows)
{
    const int considered = rows >= 2 ? rows - 1 : rows;
    double peak = considered > 0 ? table[0][ResultCol::gasflow_N] : 0.0;
    for (int i = 1; i < considered; ++i)
        peak = std::max(peak, table[i][ResultCol::gasflow_N]);
    if (rows < 2 && !(peak > 0))
        peak = 1;
    return peak;
}

}  // namespace

void results::clearSeries()
{
    for (QVector<double> *series : {&plot_t_R1, &plot_flow_R1, &plot_ch4_R1, &plot_co2_R1, &plot_h2_R1, &plot_h2o_R1,
                                    &plot_t_R2, &plot_flow_R2, &plot_ch4_R2, &plot_co2_R2, &plot_h2_R2, &plot_h2o_R2})
        series->clear();
}

void results::refine(int mode)
{
    using namespace ResultCol;
    const RunTables run = tablesOf(mode);
    const int computed = computedRowCount(run);

    last_report = RefinementReport{};
    last_report.tableRows = run.keptRows;
    last_report.computedRows = computed;
    if (computed < run.rows)
        last_report.stoppedAtDay = (*run.reactor1)[computed - 1][t];

    appendSeries(*run.reactor1, computed,
                 {{&plot_t_R1, t}, {&plot_flow_R1, gasflow_N}, {&plot_ch4_R1, p_ch4},
                  {&plot_co2_R1, p_co2}, {&plot_h2_R1, p_h2}, {&plot_h2o_R1, p_h2o}});
    peak_flow_R1 = peakFlow(*run.reactor1, computed);
    if (run.reactor2) {
        appendSeries(*run.reactor2, computed,
                     {{&plot_t_R2, t}, {&plot_flow_R2, gasflow_N}, {&plot_ch4_R2, p_ch4},
                      {&plot_co2_R2, p_co2}, {&plot_h2_R2, p_h2}, {&plot_h2o_R2, p_h2o}});
        peak_flow_R2 = peakFlow(*run.reactor2, computed);
    }

    writeWorkbook(mode);
    emit resultsFinished(QString());
}

void results::writeWorkbook(int mode)
{
    const RunTables run = tablesOf(mode);
    WrittenFile saved;
    // A working directory that was removed has no path: resolving names against it would
    // quietly put the workbook into the file-system root.
    if (QDir::currentPath().isEmpty()) {
        saved.error = QStringLiteral("The working directory no longer exists.");
    } else {
        const FileTarget target = workbook_path.isEmpty()
                                      ? freshWorkbookTarget(QDir::current(), QDateTime::currentDateTime())
                                      : FileTarget{QFileInfo(workbook_path).absoluteFilePath()};
        WorkbookContent content{run.reactor1, run.reactor2, computedRowCount(run), *run.runParams};
        content.stop = stop_flag;
        saved = saveResultsWorkbook(target, content);
    }

    last_workbook = saved.path;
    last_report.workbookPath = last_workbook;
    last_report.workbookError = saved.error;
}

void results::refined_SSAD() { refine(SSAD); }
void results::refined_TSAD() { refine(TSAD); }
void results::refined_TPAD() { refine(TPAD); }
void results::refined_POMP() { refine(POMP); }
