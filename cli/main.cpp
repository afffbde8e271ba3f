// digestra-cli: simulations without a window, for scripts, studies and measuring. One scenario
// from the command line, or many as JSON lines with --batch.

#include "clioptions.h"
#include "interruptwatch.h"
#include "progressline.h"
#include "scenario.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

void say(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

void complain(const QString &text) { say(stderr, QStringLiteral("digestra-cli: ") + text); }

QString statusName(int status)
{
    switch (status) {
    case ExitOk: return QStringLiteral("done");
    case ExitRefused: return QStringLiteral("refused");
    case ExitStoppedEarly: return QStringLiteral("stopped early");
    case ExitNotNumbers: return QStringLiteral("not numbers");
    case ExitCancelled: return QStringLiteral("cancelled");
    default: return QStringLiteral("failed");
    }
}

// The answer to one scenario of --batch.
QByteArray answer(const QJsonValue &id, int status, const QStringList &problems, const ScenarioResult *result)
{
    QJsonObject line{{QStringLiteral("id"), id},
                     {QStringLiteral("status"), statusName(status)},
                     {QStringLiteral("exit"), status},
                     {QStringLiteral("message"), problems.join(QStringLiteral("; "))},
                     {QStringLiteral("summary"), QJsonValue::Null},
                     {QStringLiteral("files"), QJsonArray()}};
    if (result) {
        if (result->outcome.refined())
            line[QStringLiteral("summary")] = summaryJson(result->outcome.report.summary);
        line[QStringLiteral("files")] = QJsonArray::fromStringList(result->files);
    }
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

// Scenarios as JSON lines on standard input, one answer line each, until the input ends or a
// signal comes.
int runBatch()
{
    const InterruptWatch interrupts;
    ScenarioRunner runner;
    ProgressLine silent(stderr, 0, false);
    std::string text;
    while (!interrupts.interrupted() && std::getline(std::cin, text)) {
        const QByteArray line = QByteArray::fromStdString(text).trimmed();
        if (line.isEmpty())
            continue;
        QJsonValue id;
        const ParsedCommandLine parsed = parseScenarioLine(line, &id);
        QByteArray reply;
        if (parsed.outcome != ParsedCommandLine::Outcome::Run) {
            reply = answer(id, ExitRefused, {parsed.text}, nullptr);
        } else if (const auto problem = checkRunRequest(parsed.options.request)) {
            reply = answer(id, ExitRefused, {describeProblem(*problem, parsed.options.request).replace("--", "")}, nullptr);
        } else {
            const CliOptions &options = parsed.options;
            const ScenarioResult result = runner.run(options, !options.workbookPath.isEmpty(), silent, interrupts);
            reply = answer(id, result.status, result.problems, &result);
        }
        // The solver's own messages never reach standard output (the bridge sends them to
        // standard error), so it carries the answers alone.
        std::fprintf(stdout, "%s\n", reply.constData());
        std::fflush(stdout);
    }
    return interrupts.interrupted() ? ExitCancelled : ExitOk;
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
    if (options.batch)
        return runBatch();
    const RunRequest &request = options.request;
    if (const auto problem = checkRunRequest(request)) {
        complain(describeProblem(*problem, request));
        return ExitRefused;
    }

    const InterruptWatch interrupts;  // from here on a signal cancels, and nothing stays written
    ScenarioRunner runner;
    ProgressLine progress(stderr, request.t_end, !options.quiet && isatty(STDERR_FILENO));
    const ScenarioResult result = runner.run(options, true, progress, interrupts);
    for (const QString &problem : result.problems)
        complain(problem);
    if (result.status == ExitCancelled || result.status == ExitFailed && !result.outcome.refined())
        return result.status;

    if (!options.quiet) {
        // Standard output stays the list of files written, for scripts; the summary is for people.
        say(stderr, summaryText(result.outcome.report.summary));
        for (const QString &path : result.files)
            say(stdout, path);
    }
    if (options.stats) {
        const RunOutcome &outcome = result.outcome;
        say(stdout, QStringLiteral("engine: %1").arg(QLatin1String(engineName(outcome.request.engine))));
        say(stdout, QStringLiteral("model_seconds: %1").arg(outcome.cost.seconds, 0, 'f', 3));
        say(stdout, QStringLiteral("rhs_evaluations: %1").arg(outcome.cost.rhs_evaluations));
        say(stdout, QStringLiteral("refinement_seconds: %1").arg(outcome.refinementSeconds, 0, 'f', 3));
        say(stdout, QStringLiteral("program_seconds: %1").arg(wallClock.nsecsElapsed() / 1e9, 0, 'f', 3));
    }
    return result.status;
}
