#include "scenario.h"

#include "interruptwatch.h"
#include "plotimages.h"
#include "progressline.h"

#include <csvwriter.h>
#include <results.h>
#include <safefile.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// The table the refinement wrote into the workbook, as CSV.
QString writeCsv(const QString &path, int mode, const RefinementReport &report)
{
    const WorkerTables tables = workerTables(mode);
    return writeResultCsv(path, *tables.reactor1, tables.reactor2, report.computedRows, report.operation.get());
}

QString writeSummary(const QString &path, const RunSummary &summary)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    errno = 0;
    if (file.file().write(QJsonDocument(summaryJson(summary)).toJson()) < 0)
        return file.writeError();
    return file.commit().error;
}

// The state the run reached (finalStateText).
QString writeFinalState(const QString &path, const QByteArray &text)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    errno = 0;
    if (file.file().write(text) < 0)
        return file.writeError();
    return file.commit().error;
}

// The CSV table or the summary that "-" sends to standard output, once the run and its files are
// done (as a named file gets its name then). The table goes straight from the worker's rows.
QString writeToStandardOutput(const CliOptions &options, const RunOutcome &outcome)
{
    std::fflush(stdout);
    QFile out;
    bool written = out.open(STDOUT_FILENO, QIODevice::WriteOnly);
    if (written && options.csvPath == QLatin1String(kStandardOutput)) {
        const WorkerTables tables = workerTables(outcome.request.mode);
        written = writeResultCsv(out, *tables.reactor1, tables.reactor2, outcome.report.computedRows,
                                 outcome.report.operation.get());
    } else if (written) {
        written = out.write(QJsonDocument(summaryJson(outcome.report.summary)).toJson()) >= 0;
    }
    written = written && out.flush();
    return written ? QString() : QStringLiteral("standard output: ") + out.errorString();
}

// A file the options name, written under a hidden name until the run and all its files are done
// (a cancel or a failed file before then leaves a file of that name as it was); none without the
// option.
struct NamedFile {
    explicit NamedFile(const QString &given_) : given(given_)
    {
        if (!given.isEmpty() && given != QLatin1String(kStandardOutput))
            staged = std::make_unique<StagedFile>(given);
    }
    NamedFile(const QString &given_, std::unique_ptr<StagedFile> written_)
        : given(given_), staged(std::move(written_)), written(true) {}

    QString given;
    std::unique_ptr<StagedFile> staged;
    bool written = false;
};

}  // namespace

ScenarioRunner::ScenarioRunner() = default;
ScenarioRunner::~ScenarioRunner() = default;

ScenarioResult ScenarioRunner::run(const CliOptions &options, bool writeWorkbook, ProgressLine &progress,
                                   const InterruptWatch &interrupts)
{
    const RunRequest &request = options.request;
    ScenarioResult result;
    NamedFile workbook(writeWorkbook ? options.workbookPath : QString());
    NamedFile csv(options.csvPath), summary(options.summaryPath), finalState(request.finalStateFile);
    NamedFile *const named[] = {&workbook, &csv, &summary, &finalState};
    for (const NamedFile *file : named)
        if (file->staged && !file->staged->error().isEmpty()) {
            result.problems << file->staged->error();
            return result;
        }
    {
        QEventLoop loop;
        const QMetaObject::Connection shown =
            QObject::connect(&simulation, &SimulationRun::progressed, [&progress](int percent) { progress.show(percent); });
        const QMetaObject::Connection ended =
            QObject::connect(&simulation, &SimulationRun::ended, [&](const RunOutcome &outcome) {
                result.outcome = outcome;
                loop.quit();
            });
        simulation.start(request, workbook.staged ? workbook.staged->path() : QString(), writeWorkbook);
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
    const auto note = [&fail](NamedFile &file, const QString &error) {
        if (error.isEmpty())
            file.written = true;
        else
            fail(file.staged->shown(error));
    };
    result.status = ExitOk;
    QStringList files;  // written under their final names
    std::vector<NamedFile> images;
    if (outcome.refined()) {
        if (workbook.staged)
            note(workbook, report.workbookError);
        else if (writeWorkbook && report.workbookError.isEmpty())
            files << QFileInfo(report.workbookPath).absoluteFilePath();
        else if (writeWorkbook)
            fail(report.workbookError);
        if (csv.staged && !interrupts.interrupted())
            note(csv, writeCsv(csv.staged->path(), request.mode, report));
        if (summary.staged && !interrupts.interrupted())
            note(summary, writeSummary(summary.staged->path(), report.summary));
        const QByteArray stateText = finalStateText(outcome, QCoreApplication::applicationVersion());
        if (finalState.staged && !interrupts.interrupted() && !stateText.isEmpty())
            note(finalState, writeFinalState(finalState.staged->path(), stateText));
        else if (finalState.staged && !interrupts.interrupted())
            result.problems << QStringLiteral("no final state is written to %1: the run %2")
                                   .arg(finalState.given, outcome.end == RunOutcome::End::StoppedEarly
                                                              ? QStringLiteral("stopped early")
                                                              : QStringLiteral("reached no state of numbers"));
        if (!options.plotsDir.isEmpty() && !interrupts.interrupted()) {
            PlotImages plots = savePlotImages(options.plotsDir, request.mode, request.t_end, options.plotFormat,
                                              options.plotScale);
            for (auto &[path, staged] : plots.saved)
                images.emplace_back(path, std::move(staged));
            if (!plots.error.isEmpty())
                fail(plots.error);
        }
    }

    std::vector<NamedFile *> written;
    for (NamedFile *file : named)
        if (file->written)
            written.push_back(file);
    for (NamedFile &image : images)
        written.push_back(&image);
    const bool cancelled = interrupts.interrupted() || outcome.end == RunOutcome::End::Cancelled;
    // All or none: a target that something took during the run is found before any file gets its name.
    if (!cancelled)
        for (const NamedFile *file : written)
            if (const QString problem = SafeFile::checkTarget(file->given); !problem.isEmpty())
                fail(problem);
    if (cancelled || result.status == ExitFailed) {
        // The named files go with their placeholders; a workbook of a new name is removed.
        for (const QString &path : std::as_const(files))
            QFile::remove(path);
        if (cancelled) {
            result.problems = QStringList{QStringLiteral("cancelled, nothing written")};
            result.status = ExitCancelled;
        } else {
            result.problems << QStringLiteral("none of the run's files is written");
        }
        return result;
    }
    for (NamedFile *file : written) {
        const WrittenFile committed = file->staged->commit();
        if (committed.error.isEmpty())
            files << committed.path;
        else
            fail(file->staged->shown(committed.error));
    }
    if (outcome.refined() && options.writesToStandardOutput() && result.status != ExitFailed) {
        const QString error = writeToStandardOutput(options, outcome);
        if (!error.isEmpty())
            fail(error);
    }
    result.files = files;
    if (outcome.end == RunOutcome::End::Failed) {
        result.problems << QStringLiteral("the model run failed: ") +
                               (outcome.failure.isEmpty() ? QStringLiteral("it ended without results") : outcome.failure);
        result.status = ExitFailed;
        return result;
    }
    if (const std::optional<UnsoundValue> &unsound = report.summary.unsound) {
        result.problems << QStringLiteral("the results hold %1; the files are written and marked").arg(unsound->describe());
        if (result.status == ExitOk)
            result.status = ExitNotNumbers;
    }
    if (outcome.end == RunOutcome::End::StoppedEarly) {
        result.problems << QStringLiteral("the integration stopped at day %1 of %2 (%3); the files end there")
                               .arg(report.stoppedAtDay, 0, 'g', 6)
                               .arg(request.t_end, 0, 'g', 6)
                               .arg(outcome.stopReason.isEmpty() ? QStringLiteral("no reason given") : outcome.stopReason);
        if (result.status == ExitOk)
            result.status = ExitStoppedEarly;
    }
    return result;
}
