#pragma once

// The command line of digestra-cli: every input of the input pages as an option, with the
// pages' defaults and units, or taken from an input file (--inputs) where no option gives it,
// turned into a RunRequest (temperatures in kelvin, the manual pH
// as 10^-pH) plus the names of the files to write.

#include <configuration.h>
#include <feedschedule.h>
#include <plotimage.h>

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

// The name of --csv or --summary that writes to standard output.
constexpr char kStandardOutput[] = "-";

struct CliOptions {
    RunRequest request;
    QString workbookPath;  // empty: the usual results_ name in the working directory
    QString csvPath;       // empty: no CSV; kStandardOutput: to standard output
    QString summaryPath;   // empty: no summary JSON; kStandardOutput: to standard output
    QString plotsDir;      // empty: no plot images
    ImageFormat plotFormat = ImageFormat::Png;
    double plotScale = 1.0;  // of the images' size, the results pages' plot size times this
    bool quiet = false;    // no progress line, no list of written files
    bool stats = false;    // print the model's cost after the run
    bool batch = false;    // scenarios as JSON lines on standard input
    bool checkOnly = false;  // a batch line's "check": answered with the checks' verdict, not run
    bool listFeed = false;   // a batch line's "list-feed": answered with the feed the run would get, not run

    bool writesToStandardOutput() const
    {
        return csvPath == QLatin1String(kStandardOutput) || summaryPath == QLatin1String(kStandardOutput);
    }
};

struct ParsedCommandLine {
    enum class Outcome { Run, Help, Version, Listing, Refused };
    ParsedCommandLine(Outcome outcome = Outcome::Refused, CliOptions options = {}, QString text = {},
                      QStringList warnings = {})
        : outcome(outcome), options(std::move(options)), text(std::move(text)), warnings(std::move(warnings)) {}
    Outcome outcome = Outcome::Refused;
    CliOptions options;  // meaningful when outcome is Run
    QString text;        // the help, version, --describe or parameter list, or every reason the
                         // command line was refused (one a line)
    QStringList warnings;  // what a listing or a run's files hold but look doubtful, for standard error
};

// Exit statuses of digestra-cli.
// An integration that stops early still writes what it computed, with its own status, so a script
// running many scenarios does not take a shortened table for a whole one.
// Results that are not numbers or physically impossible are written, marked and told with a
// status of their own.
enum ExitStatus {
    ExitOk = 0,
    ExitFailed = 1,
    ExitRefused = 2,
    ExitStoppedEarly = 3,
    ExitNotNumbers = 4,
    ExitCancelled = 130
};

// --list-parameters: every model constant with its default, unit and meaning, as aligned text or
// (json) a JSON array of {name, default, unit, meaning, kind, fixed_in, and min and max where declared}.
QString parameterList(bool json);

// The substrates of a file as --list-substrates prints them: each one's components per m3 of
// fresh matter, their COD, and the solids, nitrogen and density of its lab values (kg/m3); as
// JSON an object of substrates, each mapping those names to values.
QString substrateList(const Substrates &substrates, bool json);

// The feed a run of request gets, as --list-feed prints it: each step in force before the run's
// end (the first always) with its day (d), flow (m3/d), COD (kgCOD/m3) and COD load (kgCOD/d).
// As JSON {"t_end": days, "steps": [{"day", "flow", "cod", "cod_load"}...]}, with a schedule's table
// as read beside them: "schedule": {"titles": ["day [d]", "maize [t/d]"...], "rows": [[0, 12]...]}.
QJsonObject feedDescription(const RunRequest &request);
QString feedList(const RunRequest &request, bool json);

// arguments[0] is the program name, as in QCoreApplication::arguments(). A request to run has
// passed every check of the declaration; a refusal lists every problem of the options and of
// the --inputs file (with its lines) at once.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// One scenario of --batch: a JSON object whose keys are the options without their dashes
// (the declared inputs as numbers or texts, and the files "out", "csv", "summary", "plots",
// "plot-format", "plot-scale"), read through the declaration. Its "id", whatever it holds, goes
// to *id. Refusals name the keys, every problem at once, separated by "; ".
ParsedCommandLine parseScenarioLine(const QByteArray &line, QJsonValue *id);
