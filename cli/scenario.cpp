#include "scenario.h"

#include "interruptwatch.h"
#include "plotimages.h"
#include "progressline.h"

#include <csvwriter.h>
#include <results.h>

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

// The table the refinement wrote into the workbook, as CSV.
QString writeCsv(const QString &path, int mode, int rows)
{
    const WorkerTables tables = workerTables(mode);
    return writeResultCsv(path, *tables.reactor1, tables.reactor2, rows);
}

QString writeSummary(const QString &path, const RunSummary &summary)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(summaryJson(summary)).toJson()) < 0 ||
        !file.commit())
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return {};
}

}  // namespace

ScenarioRunner::ScenarioRunner() = default;
ScenarioRunner::~ScenarioRunner() = default;

ScenarioResult ScenarioRunner::run(const CliOptions &options, bool writeWorkbook, ProgressLine &progress,
                                   const InterruptWatch &interrupts)
{
    const RunRequest &request = options.request;
    ScenarioResult result;
    {
        QEventLoop loop;
        const QMetaObject::Connection shown =
            QObject::connect(&simulation, &SimulationRun::progressed, [&progress](int percent) { progress.show(percent); });
        const QMetaObject::Connection ended =
            QObject::connect(&simulation, &SimulationRun::ended, [&](const RunOutcome &outcome) {
                result.outcome = outcome;
                loop.quit();
            });
        simulation.start(request, options.workbookPath, writeWorkbook);
        const InterruptWatch::StopFlag stopOnSignal(workerFor(workers, request.mode)->w_closed);
        loop.exec();
        QObject::disconnect(shown);
        QObject::disconnect(ended);
    }
    progress.finish();

    const RunOutcome &outcome = result.outcome;
    const RefinementReport &report = outcome.report;
    const auto fail = [&result](const QString &problem) {
        result.problems << problem;
        result.status = ExitFailed;
    };
    // Files are listed by absolute path, for the scripts that read the list.
    const auto keep = [&result](const QString &path) { result.files << QFileInfo(path).absoluteFilePath(); };
    result.status = ExitOk;
    if (outcome.refined()) {
        if (writeWorkbook && report.workbookError.isEmpty())
            keep(report.workbookPath);
        else if (writeWorkbook)
            fail(report.workbookError);
        const auto write = [&](const QString &path, const QString &error) {
            if (error.isEmpty())
                keep(path);
            else
                fail(error);
        };
        if (!options.csvPath.isEmpty() && !interrupts.interrupted())
            write(options.csvPath, writeCsv(options.csvPath, request.mode, report.computedRows));
        if (!options.summaryPath.isEmpty() && !interrupts.interrupted())
            write(options.summaryPath, writeSummary(options.summaryPath, report.summary));
        if (!options.plotsDir.isEmpty() && !interrupts.interrupted()) {
            const PlotImages images = savePlotImages(options.plotsDir, request.mode, request.t_end);
            for (const QString &path : images.written)
                keep(path);
            if (!images.error.isEmpty())
                fail(images.error);
        }
    }

    if (interrupts.interrupted() || outcome.end == RunOutcome::End::Cancelled) {
        for (const QString &path : std::as_const(result.files))
            QFile::remove(path);
        result.files.clear();
        result.problems = QStringList{QStringLiteral("cancelled, nothing written")};
        result.status = ExitCancelled;
        return result;
    }
    if (outcome.end == RunOutcome::End::Failed) {
        result.problems << QStringLiteral("the model run failed: ") +
                               (outcome.failure.isEmpty() ? QStringLiteral("it ended without results") : outcome.failure);
        result.status = ExitFailed;
        return result;
    }
    if (report.nonNumber) {
        result.problems << QStringLiteral("the results hold values that are not numbers, first at day %1 in \"%2\" of "
                                          "reactor %3; the files are written and marked")
                               .arg(report.nonNumber->day, 0, 'g', 6)
                               .arg(report.nonNumber->column)
                               .arg(report.nonNumber->reactor);
        if (result.status == ExitOk)
            result.status = ExitNotNumbers;
    }
    if (outcome.end == RunOutcome::End::StoppedEarly) {
        result.problems << QStringLiteral("the integration stopped at day %1 of %2; the files end there")
                               .arg(report.stoppedAtDay, 0, 'g', 6)
                               .arg(request.t_end, 0, 'g', 6);
        if (result.status == ExitOk)
            result.status = ExitStoppedEarly;
    }
    return result;
}
