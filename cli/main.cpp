// digestra-cli: simulations without a window, for scripts, studies and measuring. One scenario
// from the command line, or many as JSON lines with --batch.

#include "clioptions.h"
#include "interruptwatch.h"
#include "progressline.h"
#include "scenario.h"

#include <guardedfile.h>
#include <safefile.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

void say(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

void complain(const QString &text) { say(stderr, QStringLiteral("digestra-cli: ") + text); }

// While it starts, Qt looks for a Wayland display in the runtime folder and warns when
// XDG_RUNTIME_DIR is unset, as under ssh, cron or in a container; drawing off screen needs none.
QtMessageHandler qtHandler = nullptr;
void withoutRuntimeFolderWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        qtHandler(type, context, message);
}

// Standard input, output or error closed at the start get /dev/null, so that no file the
// program opens takes their number and receives what is meant for them. Returns whether
// standard output was closed.
bool reserveStandardStreams()
{
    bool outputClosed = false;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        outputClosed = outputClosed || fd == STDOUT_FILENO;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // the lowest free number
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
    return outputClosed;
}

// Whether everything printed to standard output has reached it; complains when not.
bool outputDelivered(const char *what)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    complain(QStringLiteral("%1 could not be written to standard output: %2")
                 .arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno))));
    return false;
}

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
QByteArray answer(const QJsonValue &id, int status, const QStringList &problems, const ScenarioResult *result,
                  const QString &statusText = QString(), const QJsonObject &feed = {})
{
    QJsonObject line{{QStringLiteral("id"), id},
                     {QStringLiteral("status"), statusText.isEmpty() ? statusName(status) : statusText},
                     {QStringLiteral("exit"), status},
                     {QStringLiteral("message"), problems.join(QStringLiteral("; "))},
                     {QStringLiteral("summary"), QJsonValue::Null},
                     {QStringLiteral("files"), QJsonArray()}};
    if (result) {
        if (result->outcome.refined())
            line[QStringLiteral("summary")] = summaryJson(result->outcome.report.summary);
        line[QStringLiteral("files")] = QJsonArray::fromStringList(result->files);
    }
    if (!feed.isEmpty())
        line[QStringLiteral("feed")] = feed;
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

// Scenarios as JSON lines on standard input, one answer line each, until the input ends or a
// signal comes, or an answer cannot be delivered.
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
        } else if (parsed.options.checkOnly) {
            reply = answer(id, ExitOk, {}, nullptr, QStringLiteral("checked"));
        } else if (parsed.options.listFeed) {
            reply = answer(id, ExitOk, {}, nullptr, QStringLiteral("listed"), feedDescription(parsed.options.request));
        } else {
            const CliOptions &options = parsed.options;
            const ScenarioResult result = runner.run(options, !options.workbookPath.isEmpty(), silent, interrupts);
            reply = answer(id, result.status, result.problems, &result);
        }
        // The solver's own messages never reach standard output (the bridge sends them to
        // standard error), so it carries the answers alone.
        std::fprintf(stdout, "%s\n", reply.constData());
        if (!outputDelivered("the answers"))
            return ExitFailed;
    }
    return interrupts.interrupted() ? ExitCancelled : ExitOk;
}

int runProgram(int argc, char *argv[])
{
    const bool outputClosed = reserveStandardStreams();
    // A reader that went away is a failed write, told and answered with a status, not the end.
    std::signal(SIGPIPE, SIG_IGN);
    QElapsedTimer wallClock;
    wallClock.start();
    // Plots are drawn off screen: the program never opens a window, whatever session it runs in.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(withoutRuntimeFolderWarning);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    // The application object takes LC_NUMERIC from the environment; the files' numbers must not.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("digestra-cli"));
    QApplication::setApplicationVersion(QStringLiteral(DIGESTRA_VERSION));

    // The arguments as the system gave them: a file name that is not UTF-8 still names its file.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << fileNameFromBytes(argv[i]);
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    for (const QString &warning : parsed.warnings)  // of a listing or a run's files
        complain(QStringLiteral("warning: ") + warning);
    if (parsed.outcome == ParsedCommandLine::Outcome::Help || parsed.outcome == ParsedCommandLine::Outcome::Version ||
        parsed.outcome == ParsedCommandLine::Outcome::Listing) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return ExitOk;
    }
    if (parsed.outcome == ParsedCommandLine::Outcome::Refused) {
        // One line for each problem; the last one says where to look.
        complain(QString(parsed.text).replace(QLatin1Char('\n'), QStringLiteral("\ndigestra-cli: ")) +
                 QStringLiteral(" (see --help)"));
        return ExitRefused;
    }
    const CliOptions &options = parsed.options;
    if (options.batch && outputClosed) {
        complain(QStringLiteral("standard output is closed: the answers would be lost"));
        return ExitFailed;
    }
    if (options.batch)
        return runBatch();
    const RunRequest &request = options.request;
    if (options.workbookPath.isEmpty()) {
        const QString problem = SafeFile::checkFolder(QDir::currentPath());
        if (!problem.isEmpty()) {
            complain(QStringLiteral("the workbook goes into the working directory, which cannot take it: ") + problem);
            return ExitRefused;
        }
    }

    const InterruptWatch interrupts;  // from here on a signal cancels, and nothing stays written
    ScenarioRunner runner;
    ProgressLine progress(stderr, request.t_end, !options.quiet && isatty(STDERR_FILENO), request.start.day);
    const ScenarioResult result = runner.run(options, true, progress, interrupts);
    for (const QString &problem : result.problems)
        complain(problem);
    if (result.status == ExitCancelled || (result.status == ExitFailed && !result.outcome.refined()))
        return result.status;

    // Standard output stays the list of files written, for scripts, unless it carries a table or
    // a summary; the summary text is for people.
    std::FILE *const listing = options.writesToStandardOutput() ? stderr : stdout;
    if (!options.quiet) {
        say(stderr, summaryText(result.outcome.report.summary));
        for (const QString &path : result.files)
            say(listing, path);
    }
    if (options.stats) {
        const RunOutcome &outcome = result.outcome;
        say(listing, QStringLiteral("engine: %1").arg(QLatin1String(engineName(outcome.request.engine))));
        say(listing, QStringLiteral("model_seconds: %1").arg(outcome.cost.seconds, 0, 'f', 3));
        say(listing, QStringLiteral("rhs_evaluations: %1").arg(outcome.cost.rhs_evaluations));
        if (outcome.request.engine == Engine::Compiled) {
            say(listing, QStringLiteral("integrator_steps: %1").arg(outcome.cost.integrator_steps));
            say(listing, QStringLiteral("jacobian_evaluations: %1").arg(outcome.cost.jacobian_evaluations));
        }
        say(listing, QStringLiteral("refinement_seconds: %1").arg(outcome.refinementSeconds, 0, 'f', 3));
        say(listing, QStringLiteral("program_seconds: %1").arg(wallClock.nsecsElapsed() / 1e9, 0, 'f', 3));
    }
    return outputDelivered("the list of files") ? result.status : ExitFailed;
}

}  // namespace

// The process ends without exit()'s clean-up. When QThread::wait() has returned, the run thread
// is through with its work, but its system thread may still be on its way out, running the
// thread-local destructors of the libraries the model loaded (OpenBLAS frees per-thread buffers
// there) while exit() runs the same libraries' process-wide destructors and the static ones. That
// race is the one place left for the rare heap corruption seen after every file was written, under
// CPU contention only ("malloc_consolidate(): invalid chunk size", status 134; bench/exit-loop
// counts such exits). Nothing is left to clean up: every file is complete and closed, and the
// streams are flushed here. Sanitized builds end normally, for the leak check at exit.
int main(int argc, char *argv[])
{
    const int status = runProgram(argc, argv);
#if defined(__SANITIZE_ADDRESS__)
    return status;
#else
    std::fflush(nullptr);
    std::_Exit(status);
#endif
}
