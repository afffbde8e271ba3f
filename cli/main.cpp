// digestra-cli: one simulation without a window, for scripts, many scenarios and measuring.

#include "clioptions.h"
#include "headlessrun.h"
#include "interruptwatch.h"
#include "plotimages.h"
#include "progressline.h"

#include "csvwriter.h"
#include "results.h"
#include "workers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {

void say(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

void complain(const QString &text) { say(stderr, QStringLiteral("digestra-cli: ") + text); }

// The table the refinement wrote into the workbook, as CSV.
QString writeCsv(const QString &path, int mode, int rows)
{
    switch (mode) {
    case 2:
        return writeResultCsv(path, calc_TSAD::results_R1, &calc_TSAD::results_R2, rows);
    case 3:
        return writeResultCsv(path, calc_TPAD::results_R1, &calc_TPAD::results_R2, rows);
    case 4:
        return writeResultCsv(path, calc_POMP::results_R1, nullptr, rows);
    default:
        return writeResultCsv(path, calc_SSAD::results_R1, nullptr, rows);
    }
}

// The files of a finished run: the workbook the refinement wrote, then the CSV and the plot
// images unless Ctrl-C came meanwhile. Returns what was written; a failure is told and sets status.
QStringList writeFiles(const CliOptions &options, const RefinementReport &report, const InterruptWatch &interrupts,
                       int *status)
{
    const auto fail = [status](const QString &error) {
        complain(error);
        *status = ExitFailed;
    };
    QStringList written;
    if (report.workbookError.isEmpty())
        written << report.workbookPath;
    else
        fail(report.workbookError);
    if (!options.csvPath.isEmpty() && !interrupts.interrupted()) {
        const QString error = writeCsv(options.csvPath, options.request.mode, report.computedRows);
        if (error.isEmpty())
            written << options.csvPath;
        else
            fail(error);
    }
    if (!options.plotsDir.isEmpty() && !interrupts.interrupted()) {
        const PlotImages images = savePlotImages(options.plotsDir, options.request.mode, options.request.t_end);
        written << images.written;
        if (!images.error.isEmpty())
            fail(images.error);
    }
    return written;
}

}  // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer wallClock;
    wallClock.start();
    // Plots are drawn off screen: the program never opens a window, whatever session it runs in.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("digestra-cli"));
    QApplication::setApplicationVersion(QStringLiteral(DIGESTRA_VERSION));

    const ParsedCommandLine parsed = parseCommandLine(QApplication::arguments());
    if (parsed.outcome == ParsedCommandLine::Outcome::Help || parsed.outcome == ParsedCommandLine::Outcome::Version) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return ExitOk;
    }
    if (parsed.outcome == ParsedCommandLine::Outcome::Refused) {
        complain(parsed.text + QStringLiteral(" (see --help)"));
        return ExitRefused;
    }
    const CliOptions &options = parsed.options;
    const RunRequest &request = options.request;
    if (const auto problem = checkRunRequest(request)) {
        complain(describeProblem(*problem, request));
        return ExitRefused;
    }

    const InterruptWatch interrupts;  // from here on Ctrl-C cancels, and nothing stays written
    results refinement;
    refinement.setWorkbookPath(options.workbookPath);
    ProgressLine progress(stderr, request.t_end, !options.quiet && isatty(STDERR_FILENO));
    const RunOutcome outcome = runHeadless(request, refinement, [&progress](int percent) { progress.show(percent); });
    progress.finish();

    int status = ExitOk;
    const RefinementReport &report = results::last_report;
    const QStringList written =
        outcome.end == RunOutcome::End::Finished ? writeFiles(options, report, interrupts, &status) : QStringList();

    if (interrupts.interrupted() || outcome.end == RunOutcome::End::Cancelled) {
        for (const QString &path : written)
            QFile::remove(path);
        complain(QStringLiteral("cancelled, nothing written"));
        return ExitCancelled;
    }
    if (outcome.end == RunOutcome::End::Failed) {
        complain(QStringLiteral("the model run failed: ") +
                 (outcome.failure.isEmpty() ? QStringLiteral("it ended without results") : outcome.failure));
        return ExitFailed;
    }
    if (report.stoppedAtDay >= 0) {
        complain(QStringLiteral("the integration stopped at day %1 of %2; the files end there")
                     .arg(report.stoppedAtDay, 0, 'g', 6)
                     .arg(request.t_end, 0, 'g', 6));
        if (status == ExitOk)
            status = ExitStoppedEarly;
    }

    if (!options.quiet)
        for (const QString &path : written)
            say(stdout, path);
    if (options.stats) {
        say(stdout, QStringLiteral("model_seconds: %1").arg(outcome.cost.seconds, 0, 'f', 3));
        say(stdout, QStringLiteral("rhs_evaluations: %1").arg(outcome.cost.rhs_evaluations));
        say(stdout, QStringLiteral("refinement_seconds: %1").arg(outcome.refinementSeconds, 0, 'f', 3));
        say(stdout, QStringLiteral("program_seconds: %1").arg(wallClock.nsecsElapsed() / 1e9, 0, 'f', 3));
    }
    return status;
}
