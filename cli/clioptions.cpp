#include "clioptions.h"

#include "plotimages.h"
#include "safefile.h"

#include <inputsdescription.h>
#include <outputs.h>
#include <inputsfile.h>
#include <runsummary.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <map>
#include <optional>
#include <tuple>

namespace {

// How a front end names a key.
enum class KeyStyle { Option, Key };

QString number(double value) { return QString::number(value, 'g', 6); }

// "(default 1.013; 2.026 for tsad)": the defaults of the configurations the option applies to.
QString defaultText(const InputInfo &option)
{
    std::vector<const Configuration *> taking;
    for (const Configuration &c : configurations())
        if (option.takes(c.mode))
            taking.push_back(&c);
    const QString common = QLatin1String(option.startText(taking.front()->mode));
    QStringList exceptions;
    for (const Configuration *c : taking)
        if (common != QLatin1String(option.startText(c->mode)))
            exceptions << QStringLiteral("%1 for %2").arg(QLatin1String(option.startText(c->mode)), QLatin1String(c->code));
    QString text = QStringLiteral("default ") + common + (option.temperature ? QStringLiteral(" K") : QString());
    if (!exceptions.isEmpty())
        text += QStringLiteral("; ") + exceptions.join(QStringLiteral("; "));
    return text;
}

// "Input biomass flux [m3/d]: Flow of the feed ... (default 5.31)", from the declaration.
QString optionHelp(const InputInfo &option)
{
    QString text = QString::fromUtf8(option.label);
    if (option.field)
        text += QStringLiteral(" [%1]").arg(option.temperature ? QStringLiteral("K, or °C with --unit C")
                                                               : QString::fromUtf8(option.unit));
    if (option.configurations != kEveryConfiguration)
        text += QStringLiteral(", ") + configurationCodes(option.configurations).join(QStringLiteral(", ")) + QStringLiteral(" only");
    text += QStringLiteral(": ") + QString::fromUtf8(option.help);
    if (option.isNumber())
        text += QStringLiteral("; ") + validValues(option);
    return text + QStringLiteral(" (") + defaultText(option) + QLatin1Char(')');
}

QString valueName(const InputInfo &option)
{
    if (!option.choices)
        return QStringLiteral("value");
    QString words = QString::fromLatin1(option.choices).replace(QLatin1Char(' '), QLatin1Char('|'));
    return option.isNumber() ? words + QStringLiteral("|pH") : words;
}

bool parseNumber(const QString &text, double *value)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    *value = c.toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(*value);
}

// Where a file will be written: checked now, so a long run is not lost to a typo or to a folder
// that takes no files, and no pipe, device or folder is ever replaced by a file.
QString checkFileTarget(const QString &option, const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("%1 needs a file name").arg(option);
    if (QFileInfo(path).isDir())
        return QStringLiteral("%1 names a folder, not a file: %2").arg(option, path);
    const QString problem = SafeFile::checkTarget(path);
    return problem.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(option, problem);
}

// The plot images' folder: an existing folder, or one that can be made in its nearest existing
// parent, that takes new files, and where an image has a name already, a regular file there.
QString checkPlotsFolder(const QString &option, const QString &dir, const QStringList &images)
{
    QFileInfo existing(dir);
    if (dir.isEmpty() || (existing.exists() && !existing.isDir()))
        return QStringLiteral("%1 needs a folder: '%2' is not one").arg(option, dir);
    for (const QString &image : images)
        if (const QFileInfo taken(image); taken.exists() || taken.isSymLink())
            if (const QString problem = SafeFile::checkTarget(image); !problem.isEmpty())
                return QStringLiteral("%1: %2").arg(option, problem);
    while (!existing.exists() && !existing.isRoot())
        existing = QFileInfo(existing.absolutePath());
    const QString problem = SafeFile::checkFolder(existing.absoluteFilePath());
    return problem.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(option, problem);
}

ParsedCommandLine refused(const QString &why) { return {ParsedCommandLine::Outcome::Refused, {}, why}; }

// A problem in the words of the command line ("--t-end must be ...") or of a batch line
// ("t-end: must be ...").
QString optionProblem(const InputProblem &problem, KeyStyle style)
{
    if (style == KeyStyle::Key)
        return problem.key + QStringLiteral(": ") + problem.reason;
    // The model constants are --param NAME=VALUE, the lab values --substrate-value NAME=VALUE.
    for (const auto &[prefix, option] : {std::pair{kParametersKey, "--param "}, std::pair{kSubstrateValuesKey, "--substrate-value "}}) {
        const QString key = QLatin1String(prefix);
        if (problem.key.startsWith(key))
            return QLatin1String(option) + problem.key.mid(key.size() + 1) + (problem.key == key ? QString() : QStringLiteral(" ")) + problem.reason;
    }
    QStringList keys = problem.key.split(QStringLiteral(" + "));
    for (QString &key : keys)
        key.prepend(QStringLiteral("--"));
    return keys.join(QStringLiteral(" + ")) + QLatin1Char(' ') + problem.reason;
}

QString fileProblem(const QString &path, const InputProblem &problem)
{
    return QStringLiteral("--inputs %1: %2").arg(path, fileProblemText(problem));
}

// A key as a command line ("--out") or a batch line ("out") names it.
QString keyName(KeyStyle style, const char *key)
{
    return (style == KeyStyle::Option ? QStringLiteral("--") : QString()) + QLatin1String(key);
}

// The file options of a command line or a batch line, named as it names them ("--out", "out"),
// and the final state's file options.request names.
QStringList takeOutputs(const std::map<QString, QString> &given, CliOptions &options, KeyStyle style)
{
    const auto name = [style](const char *key) { return keyName(style, key); };
    const auto value = [&given](const char *key) -> std::optional<QString> {
        const auto found = given.find(QLatin1String(key));
        return found == given.end() ? std::nullopt : std::optional<QString>(found->second);
    };
    QStringList problems;
    options.workbookPath = value("out").value_or(QString());
    options.csvPath = value("csv").value_or(QString());
    options.summaryPath = value("summary").value_or(QString());
    options.plotsDir = value("plots").value_or(QString());
    const QString &finalState = options.request.finalStateFile;
    // Each file has the extension of its format. "-" sends the table or the summary to standard
    // output, which a batch keeps for its answers.
    const std::tuple<const char *, std::optional<QString>, QLatin1String> targets[] = {
        {"out", value("out"), QLatin1String("xlsx")},
        {"csv", value("csv"), QLatin1String("csv")},
        {"summary", value("summary"), QLatin1String("json")},
        {kFinalStateKey, finalState.isEmpty() ? std::nullopt : std::optional<QString>(finalState), QLatin1String("json")}};
    for (const auto &[target, path, extension] : targets) {
        if (!path)
            continue;
        if (*path == QLatin1String(kStandardOutput) && (qstrcmp(target, "csv") == 0 || qstrcmp(target, "summary") == 0)) {
            if (style == KeyStyle::Key)
                problems << QStringLiteral("%1 cannot be - in a batch: standard output carries the answers").arg(name(target));
            continue;
        }
        QString problem = checkFileTarget(name(target), *path);
        if (problem.isEmpty() && QFileInfo(*path).suffix().compare(extension, Qt::CaseInsensitive) != 0)
            problem = QStringLiteral("%1 writes a .%2 file: its name must end in .%2, not '%3'").arg(name(target), extension, *path);
        if (!problem.isEmpty())
            problems << problem;
    }
    if (options.csvPath == QLatin1String(kStandardOutput) && options.summaryPath == QLatin1String(kStandardOutput))
        problems << QStringLiteral("only one of %1 and %2 can be - (standard output)").arg(name("csv"), name("summary"));
    if (const auto format = value("plot-format")) {
        if (format->toLower() != QLatin1String("png") && format->toLower() != QLatin1String("pdf"))
            problems << QStringLiteral("%1 must be png or pdf, not '%2'").arg(name("plot-format"), *format);
        options.plotFormat = format->toLower() == QLatin1String("pdf") ? ImageFormat::Pdf : ImageFormat::Png;
    }
    if (const auto scale = value("plot-scale"))
        if (!parseNumber(*scale, &options.plotScale) || options.plotScale <= 0 || options.plotScale > 10)
            problems << QStringLiteral("%1 must be a number above 0 and at most 10, not '%2'").arg(name("plot-scale"), *scale);
    if ((value("plot-format") || value("plot-scale")) && !value("plots"))
        problems << QStringLiteral("%1 and %2 need %3").arg(name("plot-format"), name("plot-scale"), name("plots"));
    if (value("plots")) {
        const QString problem = checkPlotsFolder(
            name("plots"), options.plotsDir, plotImagePaths(options.plotsDir, options.request.mode, options.plotFormat));
        if (!problem.isEmpty())
            problems << problem;
    }
    return problems;
}

// A file of a run and the key that names it.
struct RunFile {
    QString key;
    QString path;
};

// The files a source names for the run to read: its feed, substrates and start state.
void addReadFiles(const GivenInputs &given, KeyStyle style, std::vector<RunFile> &read)
{
    const std::pair<const char *, const std::optional<QString> &> files[] = {
        {kFeedKey, given.feed}, {kSubstratesKey, given.substrates}, {kInitialStateKey, given.initialState}};
    for (const auto &[key, path] : files)
        if (path && *path != QLatin1String(kSteadyStart) && *path != QLatin1String(kStartUp))
            read.push_back({keyName(style, key), *path});
}

// No file the run writes may be a file it reads or another file it writes, whatever names reach it
// (symbolic links, "..", hard links), whether it exists yet or not. The workbook's automatic name
// never takes an existing file's (SafeFile's Existing::Keep) and no other output ends in .xlsx.
QStringList fileClashes(const CliOptions &options, const std::vector<RunFile> &read, KeyStyle style)
{
    std::vector<RunFile> written;
    const std::pair<const char *, const QString &> outputs[] = {{"out", options.workbookPath},
                                                                {"csv", options.csvPath},
                                                                {"summary", options.summaryPath},
                                                                {kFinalStateKey, options.request.finalStateFile}};
    for (const auto &[key, path] : outputs)
        if (!path.isEmpty() && path != QLatin1String(kStandardOutput))
            written.push_back({keyName(style, key), path});
    if (!options.plotsDir.isEmpty())
        for (const QString &image : plotImagePaths(options.plotsDir, options.request.mode, options.plotFormat))
            written.push_back({keyName(style, "plots"), image});
    QStringList problems;
    for (auto output = written.cbegin(); output != written.cend(); ++output) {
        for (const RunFile &input : read)
            if (SafeFile::sameFile(output->path, input.path))
                problems << QStringLiteral("%1 would write over the file %2 reads: %3").arg(output->key, input.key, output->path);
        for (auto other = output + 1; other != written.cend(); ++other)
            if (SafeFile::sameFile(output->path, other->path))
                problems << QStringLiteral("%1 and %2 name the same file: %3").arg(output->key, other->key, output->path);
    }
    return problems;
}

// The entries of --feed, --substrates, --engine, --ph-solver, --initial-state, --final-state and --param
// NAME=VALUE; a malformed assignment is refused.
QStringList takeModelEntries(const QCommandLineParser &parser, std::vector<InputEntry> &entries)
{
    for (const char *key : {kFeedKey, kSubstratesKey, kEngineKey, kPhSolverKey, kInitialStateKey, kFinalStateKey})
        if (parser.isSet(QLatin1String(key)))
            entries.push_back({QLatin1String(key), parser.value(QLatin1String(key))});
    QStringList problems;
    const std::pair<const char *, const char *> assignments[] = {{"param", kParametersKey},
                                                                 {"substrate-value", kSubstrateValuesKey}};
    for (const auto &[option, key] : assignments)
        for (const QString &assignment : parser.values(QLatin1String(option))) {
            const qsizetype equals = assignment.indexOf(QLatin1Char('='));
            if (equals <= 0)
                problems << QStringLiteral("--%1 needs NAME=VALUE with a number, not '%2'").arg(QLatin1String(option), assignment);
            else
                entries.push_back({QLatin1String(key) + QLatin1Char('.') + assignment.left(equals).trimmed(),
                                   assignment.mid(equals + 1)});
        }
    return problems;
}

}  // namespace

QString parameterList(bool json)
{
    const auto shortest = [](double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    if (json) {
        QJsonArray list;
        for (const ModelParameter &p : modelParameters()) {
            QJsonObject entry{{QStringLiteral("name"), p.name},
                              {QStringLiteral("default"), p.defaultValue},
                              {QStringLiteral("unit"), p.unit},
                              {QStringLiteral("meaning"), p.meaning},
                              {QStringLiteral("kind"), p.kindText()},
                              {QStringLiteral("fixed_in"), QJsonArray::fromStringList(p.fixedIn)}};
            if (std::isfinite(p.lowest))
                entry.insert(QStringLiteral("min"), p.lowest);
            if (std::isfinite(p.highest))
                entry.insert(QStringLiteral("max"), p.highest);
            list.append(entry);
        }
        return QString::fromUtf8(QJsonDocument(list).toJson());
    }
    QString text = QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("name"), -16).arg(QStringLiteral("default"), -20)
                       .arg(QStringLiteral("unit"), -14).arg(QStringLiteral("meaning"));
    for (const ModelParameter &p : modelParameters()) {
        QString meaning = p.meaning;
        if (!p.fixedIn.isEmpty())
            meaning += QStringLiteral(" (fixed by its own law in %1)").arg(p.fixedIn.join(QStringLiteral(", ")));
        text += QStringLiteral("%1 %2 %3 %4\n").arg(p.name, -16).arg(shortest(p.defaultValue), -20).arg(p.unit, -14).arg(meaning);
    }
    return text;
}

QString substrateList(const Substrates &substrates, bool json)
{
    // Each substrate's components, then what they add up to and what its lab values gave.
    const auto rows = [](const QMap<QString, double> &values) {
        std::vector<std::pair<QString, double>> list;
        double cod = 0;
        for (const FeedComponent &c : feedComponents())
            if (const auto it = values.constFind(QLatin1String(c.name)); it != values.cend()) {
                list.push_back({QLatin1String(c.name), *it});
                cod += c.cod ? *it : 0;
            }
        list.push_back({QStringLiteral("COD"), cod});
        for (const char *property : {kTotalSolids, kVolatileSolids, kNitrogen, kReleasedNitrogen, kInertNitrogen,
                                     kMethanePotential, kDensity})
            if (const auto it = values.constFind(QLatin1String(property)); it != values.cend())
                list.push_back({QLatin1String(property), *it});
        return list;
    };
    if (json) {
        QJsonObject all;
        for (auto it = substrates.cbegin(); it != substrates.cend(); ++it) {
            QJsonObject values;
            for (const auto &[name, value] : rows(it.value()))
                values.insert(name, value);
            all.insert(it.key(), values);
        }
        return QString::fromUtf8(QJsonDocument(all).toJson());
    }
    QString text = QStringLiteral("Per m3 of fresh matter: components in kgCOD/m3 (S_IC, S_IN, S_cat, S_an in kmol/m3); "
                                  "COD, total_solids, volatile_solids, nitrogen (the lab's Kjeldahl nitrogen), "
                                  "released_nitrogen (what the model can release as ammonium: S_IN + N_aa X_pr), "
                                  "inert_nitrogen (what the model's bookkeeping gives its inerts: N_XI X_I, never "
                                  "released) and density in kg/m3; methane_potential (the methane the model gives at low loading, the BMP's "
                                  "where one is given) in Nm3/m3.\n");
    for (auto it = substrates.cbegin(); it != substrates.cend(); ++it) {
        text += QStringLiteral("\n[%1]\n").arg(it.key());
        for (const auto &[name, value] : rows(it.value()))
            text += QStringLiteral("%1 %2\n").arg(name, -16).arg(QString::number(value, 'g', 6));
    }
    return text;
}

QJsonObject feedDescription(const RunRequest &request)
{
    const std::vector<FeedStep> steps = feedSteps(request.mode, request.feed.get(), request.final_Q_in, request.X_c_in);
    QJsonArray list;
    for (const FeedStep &step : steps)
        if (list.isEmpty() || step.day < request.t_end)
            list.append(QJsonObject{{QStringLiteral("day"), step.day},
                                    {QStringLiteral("flow"), step.flow},
                                    {QStringLiteral("cod"), step.cod},
                                    {QStringLiteral("cod_load"), step.flow * step.cod}});
    QJsonObject description{{QStringLiteral("t_end"), request.t_end}, {QStringLiteral("steps"), list}};
    if (request.feed) {
        QJsonArray rows;
        for (const QList<double> &row : request.feed->rows) {
            QJsonArray cells;
            for (const double value : row)
                cells.append(value);
            rows.append(cells);
        }
        description.insert(QStringLiteral("schedule"),
                           QJsonObject{{QStringLiteral("titles"), QJsonArray::fromStringList(request.feed->titles)},
                                       {QStringLiteral("rows"), rows}});
    }
    return description;
}

QString feedList(const RunRequest &request, bool json)
{
    const QJsonObject feed = feedDescription(request);
    if (json)
        return QString::fromUtf8(QJsonDocument(feed).toJson());
    QString text = QStringLiteral("The feed of a run to day %1: each row from its day to the next row's day, the last "
                                  "to the end.\n").arg(number(request.t_end));
    text += QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("day"), -10).arg(QStringLiteral("flow [m3/d]"), -14)
                .arg(QStringLiteral("COD [kgCOD/m3]"), -16).arg(QStringLiteral("COD load [kgCOD/d]"));
    for (const QJsonValue &value : feed.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = value.toObject();
        text += QStringLiteral("%1 %2 %3 %4\n").arg(number(step.value(QStringLiteral("day")).toDouble()), -10)
                    .arg(number(step.value(QStringLiteral("flow")).toDouble()), -14)
                    .arg(number(step.value(QStringLiteral("cod")).toDouble()), -16)
                    .arg(number(step.value(QStringLiteral("cod_load")).toDouble()));
    }
    return text;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs one anaerobic digestion simulation without a window and writes its results workbook. The paths "
        "of the files written go to standard output (to standard error when --csv or --summary is -), the "
        "progress and the run summary to standard error.\n"
        "Exit status: 0 done, 1 the run or a file failed, 2 inputs refused (nothing written), "
        "3 the integration stopped early (the files end there), 4 the results hold values that are not numbers "
        "or physically impossible (the files are written and marked), 130 cancelled with Ctrl-C, SIGTERM or SIGHUP (nothing written).\n"
        "With --batch, scenarios are read as JSON lines on standard input (keys: the options without dashes) "
        "and each gets one JSON line of status, message, summary and files on standard output.\n"
        "Gas: gasflow_N is the wet biogas (water vapour included, as Ch4 % ... H2O % share it) at 0 °C and "
        "1.01325 bar; gasflow_N_dry and Ch4 dry %, CO2 dry %, H2 dry % (CSV columns after the model's) are the "
        "dry gas as gas meters and analysers report it. --list-outputs defines every column and summary key."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption out(
        QStringLiteral("out"),
        QStringLiteral("Workbook to write (default results_yyyyMMdd_hhmmss.xlsx in the working directory)"),
        QStringLiteral("file.xlsx"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Also write the full result table as CSV (- for standard output)"),
                                 QStringLiteral("file.csv"));
    const QCommandLineOption plots(QStringLiteral("plots"),
                                   QStringLiteral("Also save the flow and composition plots as PNG into this folder"),
                                   QStringLiteral("dir"));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Also write the run summary as JSON, with units (- for standard "
                                                    "output). Loading rates are per m3 of liquid: "
                                                    "organic_loading_rate with the feed row in force at the end, "
                                                    "mean_organic_loading_rate with the COD fed over the whole run; "
                                                    "the specific methane yield is the methane over the run per kg "
                                                    "of COD fed over the run"),
                                     QStringLiteral("file.json"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line, no summary and no list of the files written"));
    const QCommandLineOption batch(QStringLiteral("batch"),
                                   QStringLiteral("Run the scenarios given as JSON lines on standard input, one after "
                                                  "another; a workbook only where \"out\" names one"));
    const QCommandLineOption describe(QStringLiteral("describe"),
                                      QStringLiteral("Print every input's declaration (key, label, unit, defaults, "
                                                     "range, decimals, configurations) as JSON and exit"));
    const QCommandLineOption plotFormat(QStringLiteral("plot-format"),
                                        QStringLiteral("Format of the --plots images: png or pdf (default png)"),
                                        QStringLiteral("png|pdf"));
    const QCommandLineOption plotScale(
        QStringLiteral("plot-scale"),
        QStringLiteral("Size of the --plots images as a multiple of the window's 350x320 plots, up to 10 "
                       "(default 1; 2 gives 700x640 pixels)"),
        QStringLiteral("factor"));
    const QCommandLineOption inputs(
        QStringLiteral("inputs"),
        QStringLiteral("Read the inputs from a TOML file as the window's \"Save inputs...\" writes it (keys: the "
                       "options without dashes); options given here win over the file"),
        QStringLiteral("file.toml"));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("Print the model's wall time and right-hand-side evaluations"));
    const QCommandLineOption feed(
        QStringLiteral("feed"),
        QStringLiteral("Feed schedule (CSV or TOML) instead of the start-up ramp of --q-in and --x-c-in: rows of "
                       "day, Q_in and X_c_in, or components (S_su ... X_I, S_cat, S_an), or substrate flows. The pump-mixed "
                       "run's mixing regressions take the schedule's last flow"),
        QStringLiteral("file"));
    const QCommandLineOption substrates(
        QStringLiteral("substrates"),
        QStringLiteral("TOML file of the substrates a --feed schedule names: a table per substrate, its "
                       "components per m3"),
        QStringLiteral("file.toml"));
    const QCommandLineOption param(QStringLiteral("param"),
                                   QStringLiteral("Model constant to change, as NAME=VALUE (repeatable; "
                                                  "--list-parameters lists them)"),
                                   QStringLiteral("NAME=VALUE"));
    const QCommandLineOption substrateValue(
        QStringLiteral("substrate-value"),
        QStringLiteral("Lab value of a --substrates substrate to set over the file's, as SUBSTRATE.KEY=VALUE "
                       "(repeatable; maize_silage.degradable_share=0.8)"),
        QStringLiteral("NAME=VALUE"));
    const QCommandLineOption listSubstrates(
        QStringLiteral("list-substrates"),
        QStringLiteral("List each --substrates substrate's components per m3 of fresh matter, with its TS, VS, COD "
                       "and N, and exit; with --json as JSON"));
    const QCommandLineOption listParameters(
        QStringLiteral("list-parameters"),
        QStringLiteral("List the model constants (name, default, unit, meaning) and exit; with --json as JSON"));
    const QCommandLineOption listOutputs(
        QStringLiteral("list-outputs"),
        QStringLiteral("List the output quantities (key, unit, CSV column, summary keys, meaning) and exit; with "
                       "--json as JSON"));
    const QCommandLineOption listFeed(
        QStringLiteral("list-feed"),
        QStringLiteral("List the feed the run of the other options would get, without running it: each step's day, "
                       "flow [m3/d], COD [kgCOD/m3] and COD load [kgCOD/d], to --t-end; with --json as JSON"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With --list-parameters, --list-outputs, --list-substrates or "
                                                 "--list-feed: JSON output"));
    const QCommandLineOption engine(
        QStringLiteral("engine"),
        QStringLiteral("How the run is integrated: native (the model scripts over the compiled kernel, same "
                       "numbers, sooner), scripts (their own Python code) or compiled (the whole run in C++ with "
                       "SUNDIALS CVODE, agreeing within 1e-4, many times sooner) (default native; compiled for "
                       "--batch lines and studies)"),
        QStringLiteral("native|scripts|compiled"));
    const QCommandLineOption phSolver(QLatin1String(kPhSolverKey), QLatin1String(kPhSolverHelp),
                                      QStringLiteral("exact|damped"));
    const QCommandLineOption initialState(
        QLatin1String(kInitialStateKey),
        QStringLiteral("Where the run starts: start-up (the model's built-in start-up state, the default), steady (the "
                       "steady state of the run's constants under the first feed row) or a state file that "
                       "--final-state wrote for the same configuration"),
        QStringLiteral("start-up|steady|file.json"));
    const QCommandLineOption finalState(
        QLatin1String(kFinalStateKey),
        QStringLiteral("Also write the state the run reached as JSON (every reactor's state by name, the day, the "
                       "configuration, constants and feed), for --initial-state of a later run"),
        QStringLiteral("file.json"));
    parser.addOption(inputs);
    for (const InputInfo &option : inputInfos())
        parser.addOption(QCommandLineOption(QLatin1String(option.key), optionHelp(option), valueName(option)));
    parser.addOptions({feed, substrates, substrateValue, param, initialState, finalState, listParameters, listOutputs,
                       listSubstrates, listFeed, json});
    parser.addOptions({out, csv, summary, plots, plotFormat, plotScale, quiet, stats, engine, phSolver, batch, describe});

    if (!parser.parse(arguments))
        return refused(parser.errorText());
    if (parser.isSet(help))
        return {ParsedCommandLine::Outcome::Help, {}, parser.helpText()};
    if (parser.isSet(version))
        return {ParsedCommandLine::Outcome::Version, {},
                QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                    QLatin1Char('\n')};
    // A listing is all a command line does: one at a time, without a run's files.
    QStringList listings, runOptions;
    for (const QCommandLineOption *option : {&describe, &listParameters, &listOutputs, &listSubstrates, &listFeed})
        if (parser.isSet(*option))
            listings << QStringLiteral("--") + option->names().first();
    for (const QCommandLineOption *option : {&out, &csv, &summary, &plots, &plotFormat, &plotScale, &finalState, &batch, &stats})
        if (parser.isSet(*option))
            runOptions << QStringLiteral("--") + option->names().first();
    if (listings.size() > 1)
        return refused(QStringLiteral("one listing at a time, not %1").arg(listings.join(QStringLiteral(" and "))));
    if (!listings.isEmpty() && !runOptions.isEmpty())
        return refused(QStringLiteral("%1 lists and runs nothing: %2 does not go with it")
                           .arg(listings.first(), runOptions.join(QStringLiteral(", "))));
    if (parser.isSet(describe))
        return {ParsedCommandLine::Outcome::Help, {},
                QString::fromUtf8(QJsonDocument(inputsDescription()).toJson(QJsonDocument::Indented))};
    if (!parser.positionalArguments().isEmpty())
        return refused(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(listParameters))
        return {ParsedCommandLine::Outcome::Listing, {}, parameterList(parser.isSet(json))};
    if (parser.isSet(listOutputs))
        return {ParsedCommandLine::Outcome::Listing, {},
                parser.isSet(json) ? QString::fromUtf8(QJsonDocument(outputsDescription()).toJson())
                                   : outputsText()};
    if (parser.isSet(listSubstrates)) {
        if (!parser.isSet(substrates))
            return refused(QStringLiteral("--list-substrates goes with --substrates"));
        std::vector<InputEntry> entries;
        QStringList problems = takeModelEntries(parser, entries);
        const GivenInputs given = readInputEntries(entries, EntryValues::Texts);
        for (const InputProblem &problem : given.problems)
            problems << optionProblem(problem, KeyStyle::Option);
        const FileReading<Substrates> read = readSubstrates(parser.value(substrates), given.substrateValues);
        if (!problems.isEmpty() || !read.value)
            return refused((problems + read.problems).join(QLatin1Char('\n')));
        return {ParsedCommandLine::Outcome::Listing, {}, substrateList(*read.value, parser.isSet(json)), read.warnings};
    }
    if (parser.isSet(json) && !parser.isSet(listFeed))
        return refused(QStringLiteral("--json goes with --list-parameters, --list-outputs, --list-substrates or --list-feed"));

    // Every problem of the file and of the options at once.
    QStringList problems;
    InputsFileRead file;
    const QString path = parser.value(inputs);
    if (parser.isSet(inputs))
        file = readInputsFile(path);
    for (const InputProblem &problem : std::as_const(file.problems))
        problems << fileProblem(path, problem);
    std::vector<InputEntry> entries;
    for (const InputInfo &option : inputInfos())
        for (const QString &value : parser.values(QLatin1String(option.key)))
            entries.push_back({QLatin1String(option.key), value});
    problems << takeModelEntries(parser, entries);
    const GivenInputs given = readInputEntries(entries, EntryValues::Texts, file.values.mode);
    for (const InputProblem &problem : given.problems)
        problems << optionProblem(problem, KeyStyle::Option);

    CliOptions options;
    const ComposedRequest composed = composeRequest(given.mode ? given.mode : file.values.mode, {&file.given, &given});
    options.request = composed.request;
    for (const auto &[source, problem] : composed.problems)
        problems << (source == 0 ? fileProblem(path, problem) : optionProblem(problem, KeyStyle::Option));

    std::map<QString, QString> outputs;
    for (const QCommandLineOption *option : {&out, &csv, &summary, &plots, &plotFormat, &plotScale})
        if (parser.isSet(*option))
            outputs[option->names().first()] = parser.value(*option);
    problems << takeOutputs(outputs, options, KeyStyle::Option);
    std::vector<RunFile> read;
    if (parser.isSet(inputs))
        read.push_back({QStringLiteral("--inputs"), path});
    addReadFiles(file.given, KeyStyle::Option, read);
    addReadFiles(given, KeyStyle::Option, read);
    problems << fileClashes(options, read, KeyStyle::Option);
    problems.removeDuplicates();
    if (!problems.isEmpty())
        return refused(problems.join(QLatin1Char('\n')));
    if (parser.isSet(listFeed))
        return {ParsedCommandLine::Outcome::Listing, {}, feedList(options.request, parser.isSet(json)), composed.warnings};
    options.quiet = parser.isSet(quiet);
    options.stats = parser.isSet(stats);
    options.batch = parser.isSet(batch);
    return {ParsedCommandLine::Outcome::Run, options, {}, composed.warnings};
}

ParsedCommandLine parseScenarioLine(const QByteArray &line, QJsonValue *id)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (!document.isObject())
        return refused(error.error != QJsonParseError::NoError
                           ? QStringLiteral("not a JSON line: %1 at character %2").arg(error.errorString()).arg(error.offset)
                           : QStringLiteral("a scenario must be a JSON object"));
    const QJsonObject scenario = document.object();
    *id = scenario.value(QStringLiteral("id"));

    static const QStringList fileKeys = {QStringLiteral("out"),   QStringLiteral("csv"),         QStringLiteral("summary"),
                                         QStringLiteral("plots"), QStringLiteral("plot-format"), QStringLiteral("plot-scale")};
    QStringList problems;
    std::vector<InputEntry> entries;
    std::map<QString, QString> outputs;
    bool checkOnly = false, listFeed = false;
    for (auto it = scenario.begin(); it != scenario.end(); ++it) {
        if (it.key() == QLatin1String("id"))
            continue;
        if (it.key() == QLatin1String("check") || it.key() == QLatin1String("list-feed")) {
            (it.key() == QLatin1String("check") ? checkOnly : listFeed) = it->toBool();
            if (!it->isBool())
                problems << QStringLiteral("%1: needs true or false, not %2").arg(it.key(), typeName(it.value()));
        } else if (!fileKeys.contains(it.key()))
            entries.push_back({it.key(), it.value()});
        else if (it->isString())
            outputs[it.key()] = it->toString();
        else if (it->isDouble() && it.key() == QLatin1String("plot-scale"))
            outputs[it.key()] = QString::number(it->toDouble(), 'g', 17);
        else
            problems << QStringLiteral("%1: needs a text, not %2").arg(it.key(), typeName(it.value()));
    }
    const GivenInputs given = readInputEntries(entries, EntryValues::NumbersOrTexts);
    for (const InputProblem &problem : given.problems)
        problems << optionProblem(problem, KeyStyle::Key);
    CliOptions options;
    const ComposedRequest composed = composeRequest(given.mode ? given.mode : 1, {&given});
    options.request = composed.request;
    if (!given.engine)
        options.request.engine = Engine::Compiled;  // batches run many scenarios: the fastest engine
    for (const auto &[source, problem] : composed.problems)
        problems << optionProblem(problem, KeyStyle::Key);
    problems << takeOutputs(outputs, options, KeyStyle::Key);
    std::vector<RunFile> read;
    addReadFiles(given, KeyStyle::Key, read);
    problems << fileClashes(options, read, KeyStyle::Key);
    if (checkOnly && listFeed)
        problems << QStringLiteral("check and list-feed: one of them, not both");
    if (listFeed && (!outputs.empty() || !options.request.finalStateFile.isEmpty()))
        problems << QStringLiteral("list-feed writes no files: it does not go with out, csv, summary, plots or final-state");
    if (!problems.isEmpty())
        return refused(problems.join(QStringLiteral("; ")));
    options.checkOnly = checkOnly;
    options.listFeed = listFeed;
    return {ParsedCommandLine::Outcome::Run, options, {}};
}
