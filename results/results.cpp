#include "results.h"

#include "resultcolumns.h"
#include "resultsworkbook.h"
#include "workers.h"

#include <configuration.h>
#include <outputs.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

QVector<double> results::plot_t_R1, results::plot_flow_R1, results::plot_ch4_R1, results::plot_co2_R1,
    results::plot_h2_R1, results::plot_h2o_R1;
QVector<double> results::plot_t_R2, results::plot_flow_R2, results::plot_ch4_R2, results::plot_co2_R2,
    results::plot_h2_R2, results::plot_h2o_R2;
double results::peak_flow_R1 = 0, results::peak_flow_R2 = 0;
QString results::last_workbook;
RefinementReport results::last_report;

namespace {

// What a worker class kept of its last run, with the rows both tables really hold.
struct RunTables {
    WorkerTables kept;
    int rows;
};

RunTables tablesOf(int mode)
{
    const WorkerTables kept = workerTables(mode);
    int rows = std::min(kept.rows, int(kept.reactor1->size()));
    if (kept.reactor2)
        rows = std::min(rows, int(kept.reactor2->size()));
    return {kept, std::max(rows, 0)};
}

// An integrator failure leaves the rows after the last computed sample at zero, and may leave
// the failed step's row holding values that are not numbers. Time only grows from 0.0, so the
// first row after the start whose time is 0 ends the computed part; a failed step before it
// is dropped too.
int computedRowCount(const RunTables &run)
{
    const ResultRows &table = *run.kept.reactor1;
    const auto finite = [](const ResultRows *t, int row) {
        return !t || std::all_of((*t)[row].begin(), (*t)[row].end(), [](double v) { return std::isfinite(v); });
    };
    for (int i = 1; i < run.rows; ++i) {
        if (table[i][ResultCol::t] == 0.0) {
            const bool failedStep = !finite(run.kept.reactor1, i - 1) || !finite(run.kept.reactor2, i - 1);
            return failedStep && i > 1 ? i - 1 : i;
        }
    }
    return run.rows;
}

// The "SUMMARY" sheet after the five: the summary's rows, its notes and headings in bold.
ExtraSheet summarySheet(const RunSummary &summary)
{
    ExtraSheet sheet{QStringLiteral("SUMMARY"), {}, {34, 14, 14, 14}};
    for (const std::vector<QVariant> &row : summarySheetRows(summary)) {
        const bool heading = row.size() == 1 || (row.size() > 1 && row[1].toString() == QLatin1String("Unit"));
        std::vector<SheetCell> cells;
        for (const QVariant &value : row)
            cells.push_back({value.typeId() == QMetaType::Double ? SheetCell::Value(value.toDouble())
                                                                 : SheetCell::Value(value.toString()),
                             heading});
        sheet.rows.push_back(cells);
    }
    return sheet;
}

// The "PARAMETERS" sheet: every model constant with the run's value, its default and unit, then
// the row "engine" with how the run was integrated (native, scripts or compiled) and the row
// "ph-solver" with how its free pH was solved (exact or damped).
ExtraSheet parametersSheet(const ModelInputs &model)
{
    ExtraSheet sheet{QStringLiteral("PARAMETERS"), {}, {18, 14, 14, 14}};
    sheet.rows.push_back({{QStringLiteral("Name"), true}, {QStringLiteral("Value"), true},
                          {QStringLiteral("Default"), true}, {QStringLiteral("Unit"), true}});
    for (const auto &[parameter, value] : parameterValues(model.parameters))
        sheet.rows.push_back({{parameter->name}, {value}, {parameter->defaultValue}, {parameter->unit}});
    sheet.rows.push_back({{QStringLiteral("engine")}, {QString::fromLatin1(engineName(model.engine))}});
    sheet.rows.push_back({{QLatin1String(kPhSolverKey)}, {QString::fromLatin1(phSolverName(model.phSolver))}});
    return sheet;
}

// The "FEED" sheet: the schedule as read, its titles with units above the rows; for a mix of
// substrates then the fresh mass, TS and VS it feeds (empty where a substrate has no lab values).
ExtraSheet feedSheet(const FeedSchedule &feed)
{
    const bool mix = !feed.freshMass.isEmpty();
    ExtraSheet sheet{QStringLiteral("FEED"), {}, std::vector<double>(size_t(feed.titles.size() + (mix ? 3 : 0)), 14)};
    std::vector<SheetCell> titles;
    for (const QString &title : feed.titles)
        titles.push_back({title, true});
    if (mix)
        for (const char *title : {"fresh mass [t/d]", "TS [t/d]", "VS [t/d]"})
            titles.push_back({QLatin1String(title), true});
    sheet.rows.push_back(titles);
    for (int r = 0; r < feed.rows.size(); ++r) {
        std::vector<SheetCell> cells;
        for (double value : feed.rows[r])
            cells.push_back({value});
        if (mix)
            for (double value : {feed.freshMass[r], feed.totalSolids[r], feed.volatileSolids[r]})
                cells.push_back(std::isfinite(value) ? SheetCell{value} : SheetCell{QString()});
        sheet.rows.push_back(cells);
    }
    return sheet;
}

// What the run's record says of its feed and reactors, for the summary: the feed and the liquid
// volumes as the model scripts divide the reactors (the pump-mixed tank 0.075 : 0.065, the others
// by the headspace share).
SummaryInputs summaryInputs(int mode, const RunTables &run, int rows, bool stoppedEarly)
{
    const std::vector<double> &p = *run.kept.runParams;
    const auto at = [&p](size_t k) { return k < p.size() ? p[k] : 0.0; };
    const Configuration &c = configuration(mode);
    const ModelInputs &model = *run.kept.model;
    const double headspace = model.parameters.value(QStringLiteral("headspace_share"),
                                                    modelParameter(QStringLiteral("headspace_share"))->defaultValue);
    const double liquidShare = mode == 4 ? 0.075 / 0.14 : 1 - headspace;
    // Positions in the run-parameter record: Q_in 0, X_c 1, V_t1 12, V_t2 15.
    SummaryInputs in{QString::fromLatin1(c.code), run.kept.reactor1, run.kept.reactor2, rows, stoppedEarly,
                     feedSteps(mode, model.feed.get(), at(0), at(1)), liquidShare * at(12),
                     c.reactors == 2 ? liquidShare * at(15) : 0.0};
    if (const FeedSchedule *feed = model.feed.get(); feed && !feed->freshMass.isEmpty()) {
        const double start = rows > 0 ? (*run.kept.reactor1)[0][ResultCol::t] : 0.0;
        const double end = rows > 0 ? (*run.kept.reactor1)[rows - 1][ResultCol::t] : 0.0;
        const auto fed = [&](const QList<double> &perDay) { return feed->fedBy(perDay, end) - feed->fedBy(perDay, start); };
        in.freshMassFed = fed(feed->freshMass);
        in.solidsFed = fed(feed->totalSolids);
        in.volatileSolidsFed = fed(feed->volatileSolids);
        in.methanePotentialFed = fed(feed->methanePotential);
    }
    return in;
}

// What the operator's values of a run derive from: its tables, reactors, constants, feed and plant.
OperationContext operationContext(int mode, const RunTables &run, int rows)
{
    const std::vector<double> &p = *run.kept.runParams;
    const auto at = [&p](size_t k) { return k < p.size() ? p[k] : 0.0; };
    const ModelInputs &model = *run.kept.model;
    // Positions in the run-parameter record: Q_in 0, T_1 10, V_t1 12, T_2 13, V_t2 15.
    OperationContext c{{run.kept.reactor1}, rows, {at(10)}, {at(12)}, model.parameters, {}, model.plant, model.phSolver};
    if (run.kept.reactor2) {
        c.tables.push_back(run.kept.reactor2);
        c.temperatures.push_back(configuration(mode).code == QLatin1String("tpad") ? at(13) : at(10));
        c.volumes.push_back(at(15));
    }
    if (const std::shared_ptr<const FeedSchedule> feed = model.feed)
        c.feedFlow = [feed](double t) { return feed->flowAt(t); };
    else
        c.feedFlow = [steps = feedSteps(mode, nullptr, at(0), 0.0)](double t) { return steps[size_t(feedRowAt(steps, t))].flow; };
    return c;
}

// The "OPERATION" sheet: time, each reactor's derived columns and the plant's, titles and units
// above the rows, and to their right the plant and alarm inputs the run took. Its rows are made
// as they are written, so that a long run's sheet takes no memory of its own.
ExtraSheet operationSheet(const RunTables &run, const RefinementReport &report, const ModelInputs &model)
{
    std::vector<SheetCell> titles{{QStringLiteral("t"), true}}, units{{QStringLiteral("[d]"), true}};
    const std::shared_ptr<const OperationTables> op = report.operation;
    const bool two = op->reactors.size() > 1;
    for (size_t r = 0; r < op->reactors.size(); ++r)
        for (const OutputInfo *info : derivedColumns(OutputInfo::Scope::Reactor)) {
            titles.push_back({(two ? QStringLiteral("R%1 ").arg(r + 1) : QString()) + QString::fromUtf8(info->column), true});
            units.push_back({QString::fromUtf8(info->columnUnit), true});
        }
    for (const OutputInfo *info : derivedColumns(OutputInfo::Scope::Plant)) {
        titles.push_back({QString::fromUtf8(info->column), true});
        units.push_back({QString::fromUtf8(info->columnUnit), true});
    }
    std::vector<std::vector<SheetCell>> inputs{
        {{QStringLiteral("Plant and alarm input"), true}, {QStringLiteral("Value"), true}, {QStringLiteral("Unit"), true}}};
    for (const InputInfo &info : inputInfos())
        if (info.plant)
            inputs.push_back({{QString::fromUtf8(info.label)}, {plantInput(model.plant, info)}, {QString::fromUtf8(info.unit)}});

    const size_t inputsColumn = titles.size() + 1;
    ExtraSheet sheet{QStringLiteral("OPERATION"), {}, std::vector<double>(inputsColumn + 3, 12.7)};
    sheet.columnWidths[inputsColumn] = 30;
    sheet.rowCount = size_t(std::max(report.computedRows, 0)) + 2;
    sheet.rowAt = [titles, units, inputs, op, time = run.kept.reactor1, inputsColumn](size_t r) {
        std::vector<SheetCell> cells;
        if (r < 2) {
            cells = r == 0 ? titles : units;
        } else {
            const size_t i = r - 2;
            cells.push_back({(*time)[i][ResultCol::t]});
            for (const ResultRows &derived : op->reactors)
                for (double v : derived[i])
                    cells.push_back({v});
            for (double v : op->plant[i])
                cells.push_back({v});
        }
        if (r < inputs.size()) {
            cells.resize(inputsColumn, SheetCell{QString()});
            cells.insert(cells.end(), inputs[r].begin(), inputs[r].end());
        }
        return cells;
    };
    return sheet;
}

std::array<QVector<double> *, 12> everySeries()
{
    return {&results::plot_t_R1, &results::plot_flow_R1, &results::plot_ch4_R1, &results::plot_co2_R1,
            &results::plot_h2_R1, &results::plot_h2o_R1, &results::plot_t_R2, &results::plot_flow_R2,
            &results::plot_ch4_R2, &results::plot_co2_R2, &results::plot_h2_R2, &results::plot_h2o_R2};
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

// The first value of the operator's and the plant's columns, then of the run's values, that is
// not a number, for a run whose model columns are sound: results that are not numbers anywhere
// are told alike. A value that does not apply is NaN by intent: a run's value carries its note,
// and a ratio of the rows is NaN where its denominator is 0 (the dry gas's shares without dry gas,
// FOS/TAC without buffer; a denominator that is no number shows in its own column).
std::optional<UnsoundValue> firstNotNumber(const RunTables &run, const OperationTables &op, const RunSummary &summary,
                                           int rows)
{
    const std::vector<const OutputInfo *> reactorColumns = derivedColumns(OutputInfo::Scope::Reactor);
    const std::vector<const OutputInfo *> plantColumns = derivedColumns(OutputInfo::Scope::Plant);
    std::vector<bool> ratio;
    for (const OutputInfo *info : reactorColumns)
        ratio.push_back(QByteArrayList{"ch4_dry_share", "co2_dry_share", "h2_dry_share", "fos_tac"}.contains(info->key));
    for (int i = 0; i < rows; ++i) {
        const double day = (*run.kept.reactor1)[i][ResultCol::t];
        for (size_t r = 0; r < op.reactors.size(); ++r)
            for (size_t c = 0; c < reactorColumns.size(); ++c)
                if (const double v = op.reactors[r][i][c]; !std::isfinite(v) && !(ratio[c] && std::isnan(v)))
                    return UnsoundValue{int(r) + 1, day, QString::fromUtf8(reactorColumns[c]->column), v};
        for (size_t c = 0; c < plantColumns.size(); ++c)
            if (const double v = op.plant[i][c]; !std::isfinite(v))
                return UnsoundValue{0, day, QString::fromUtf8(plantColumns[c]->column), v};
    }
    for (const SummaryValue &v : summary.values)
        if (!std::isfinite(v.value) && v.note.isEmpty())
            return UnsoundValue{0, summary.days, v.label, v.value};
    return std::nullopt;
}

}  // namespace

void results::clearSeries()
{
    for (QVector<double> *series : everySeries())
        *series = {};  // clear() would keep the capacity
}

results::StorageMark results::mark()
{
    StorageMark mark{{}, peak_flow_R1, peak_flow_R2, last_workbook, last_report};
    for (size_t i = 0; i < mark.series.size(); ++i)
        mark.series[i] = *everySeries()[i];
    return mark;
}

void results::rollBack(const StorageMark &mark)
{
    for (size_t i = 0; i < mark.series.size(); ++i)
        *everySeries()[i] = mark.series[i];
    peak_flow_R1 = mark.peakR1;
    peak_flow_R2 = mark.peakR2;
    last_workbook = mark.workbook;
    last_report = mark.report;
}

void results::refine(int mode)
{
    using namespace ResultCol;
    const RunTables run = tablesOf(mode);
    const int computed = computedRowCount(run);

    last_report = RefinementReport{};
    last_report.tableRows = run.kept.rows;
    last_report.computedRows = computed;
    if (computed < run.rows)
        last_report.stoppedAtDay = (*run.kept.reactor1)[computed - 1][t];
    last_report.summary = summarizeRun(summaryInputs(mode, run, computed, last_report.stoppedAtDay >= 0));
    const OperationContext operation = operationContext(mode, run, computed);
    last_report.operation = std::make_shared<const OperationTables>(deriveOperation(operation));
    for (SummaryValue &value : operationSummary(operation, *last_report.operation))
        last_report.summary.values.push_back(std::move(value));
    if (!last_report.summary.unsound)
        last_report.summary.unsound = firstNotNumber(run, *last_report.operation, last_report.summary, computed);

    // The series are this run's alone; a one-reactor run leaves no second reactor's curves behind.
    clearSeries();
    appendSeries(*run.kept.reactor1, computed,
                 {{&plot_t_R1, t}, {&plot_flow_R1, gasflow_N}, {&plot_ch4_R1, p_ch4},
                  {&plot_co2_R1, p_co2}, {&plot_h2_R1, p_h2}, {&plot_h2o_R1, p_h2o}});
    peak_flow_R1 = peakFlow(*run.kept.reactor1, computed);
    if (run.kept.reactor2) {
        appendSeries(*run.kept.reactor2, computed,
                     {{&plot_t_R2, t}, {&plot_flow_R2, gasflow_N}, {&plot_ch4_R2, p_ch4},
                      {&plot_co2_R2, p_co2}, {&plot_h2_R2, p_h2}, {&plot_h2o_R2, p_h2o}});
        peak_flow_R2 = peakFlow(*run.kept.reactor2, computed);
    }

    if (workbook_wanted)
        writeWorkbook(mode);
    emit resultsFinished(QString());
}

void results::writeWorkbook(int mode)
{
    const RunTables run = tablesOf(mode);
    WrittenFile saved;
    // A working directory that was removed has no path: resolving names against it would
    // quietly put the workbook into the file-system root.
    if (workbook_folder.isEmpty() && QDir::currentPath().isEmpty()) {
        saved.error = QStringLiteral("The working directory no longer exists.");
    } else {
        const QDir folder = workbook_folder.isEmpty() ? QDir::current() : QDir(workbook_folder);
        const FileTarget target = workbook_path.isEmpty()
                                      ? freshWorkbookTarget(folder, QDateTime::currentDateTime())
                                      : FileTarget{QFileInfo(workbook_path).absoluteFilePath()};
        WorkbookContent content{run.kept.reactor1, run.kept.reactor2, computedRowCount(run), *run.kept.runParams};
        content.extraSheets = {summarySheet(last_report.summary), parametersSheet(*run.kept.model)};
        if (run.kept.model->feed) {
            content.feedFile = QFileInfo(run.kept.model->feed->file).fileName();
            content.extraSheets.push_back(feedSheet(*run.kept.model->feed));
        }
        if (last_report.operation)
            content.extraSheets.push_back(operationSheet(run, last_report, *run.kept.model));
        content.stop = stop_flag;
        saved = saveResultsWorkbook(target, content);
    }

    last_workbook = saved.path;
    last_report.workbookPath = last_workbook;
    last_report.workbookError = saved.error;
}

void results::refined_SSAD() { refine(1); }
void results::refined_TSAD() { refine(2); }
void results::refined_TPAD() { refine(3); }
void results::refined_POMP() { refine(4); }
