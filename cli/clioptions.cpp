#include "clioptions.h"

#include "plotimages.h"
#include "safefile.h"

#include <inputsfile.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace {

// "ssad, tsad, tpad, pomp": the codes of the configurations that take an input.
QString modeList(Input input)
{
    QStringList codes;
    for (const Configuration &c : configurations())
        if (applies(input, c.mode))
            codes << QLatin1String(c.code);
    return codes.join(QStringLiteral(", "));
}

bool appliesToAll(Input input)
{
    for (const Configuration &c : configurations())
        if (!applies(input, c.mode))
            return false;
    return true;
}

QString number(double value) { return QString::number(value, 'g', 6); }

QString dashed(const char *name) { return QStringLiteral("--") + QLatin1String(name); }

// "(default 1.013; 2.026 for tsad)": the defaults of the configurations the option applies to.
QString defaultText(const InputInfo &option)
{
    std::vector<const Configuration *> taking;
    for (const Configuration &c : configurations())
        if (applies(option.input, c.mode))
            taking.push_back(&c);
    const double common = defaultRequest(taking.front()->mode).*option.field;
    QStringList exceptions;
    for (const Configuration *c : taking) {
        const double value = defaultRequest(c->mode).*option.field;
        if (value != common)
            exceptions << QStringLiteral("%1 for %2").arg(number(value), QLatin1String(c->code));
    }
    QString text = QStringLiteral("default ") + number(common) + (option.temperature ? QStringLiteral(" K") : QString());
    if (!exceptions.isEmpty())
        text += QStringLiteral("; ") + exceptions.join(QStringLiteral("; "));
    return text;
}

QString optionHelp(const InputInfo &option)
{
    const QString unit = option.temperature ? QStringLiteral("K, or °C with --unit C") : QString::fromUtf8(option.unit);
    QString text = QString::fromUtf8(option.description) + QStringLiteral(" [") + unit + QLatin1Char(']');
    if (!appliesToAll(option.input))
        text += QStringLiteral(", ") + modeList(option.input) + QStringLiteral(" only");
    return text + QStringLiteral(" (") + defaultText(option) + QLatin1Char(')');
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
QString checkPlotsFolder(const QString &dir, const QStringList &images)
{
    QFileInfo existing(dir);
    if (dir.isEmpty() || (existing.exists() && !existing.isDir()))
        return QStringLiteral("--plots needs a folder: '%1' is not one").arg(dir);
    for (const QString &image : images)
        if (const QFileInfo taken(image); taken.exists() || taken.isSymLink())
            if (const QString problem = SafeFile::checkTarget(image); !problem.isEmpty())
                return QStringLiteral("--plots: ") + problem;
    while (!existing.exists() && !existing.isRoot())
        existing = QFileInfo(existing.absolutePath());
    const QString problem = SafeFile::checkFolder(existing.absoluteFilePath());
    return problem.isEmpty() ? QString() : QStringLiteral("--plots: ") + problem;
}

ParsedCommandLine refused(const QString &why) { return {ParsedCommandLine::Outcome::Refused, {}, why}; }

// The inputs of an input file that apply to the configuration, in kelvin, into request.
void takeInputs(const InputValues &values, RunRequest &request)
{
    for (const auto &[input, text] : values.texts) {
        const InputInfo &info = inputInfo(input);
        if (applies(input, request.mode))
            request.*info.field = text.toDouble() + (info.temperature && values.celsius ? 273.15 : 0.0);
    }
    request.ph_mode = values.freePh ? 1 : 0;
    if (!values.freePh)
        request.S_h_ion_manual = std::pow(10.0, -values.manualPh.toDouble());
}

// The constants of --param NAME=VALUE into request.parameters.
QString takeParameters(const QStringList &assignments, RunRequest &request)
{
    for (const QString &assignment : assignments) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        double value = 0;
        if (equals <= 0 || !parseNumber(assignment.mid(equals + 1), &value))
            return QStringLiteral("--param needs NAME=VALUE with a number, not '%1'").arg(assignment);
        request.parameters[assignment.left(equals).trimmed()] = value;
    }
    return {};
}

// The schedule of --feed, with the substrates of --substrates, into request.feed.
QString takeFeed(const QString &feedPath, const QString &substratesPath, RunRequest &request)
{
    Substrates substrates;
    if (!substratesPath.isEmpty()) {
        const FileReading<Substrates> read = readSubstrates(substratesPath);
        if (!read.value)
            return QStringLiteral("--substrates: ") + read.problems.join(QStringLiteral("; "));
        substrates = *read.value;
    }
    const FileReading<FeedSchedule> read = readFeedSchedule(feedPath, substrates);
    if (!read.value)
        return QStringLiteral("--feed: ") + read.problems.join(QStringLiteral("; "));
    request.feed = std::make_shared<const FeedSchedule>(*read.value);
    return {};
}

}  // namespace

QString parameterList(bool json)
{
    const auto shortest = [](double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    if (json) {
        QJsonArray list;
        for (const ModelParameter &p : modelParameters())
            list.append(QJsonObject{{QStringLiteral("name"), p.name},
                                    {QStringLiteral("default"), p.defaultValue},
                                    {QStringLiteral("unit"), p.unit},
                                    {QStringLiteral("meaning"), p.meaning},
                                    {QStringLiteral("kind"), p.kindText()},
                                    {QStringLiteral("fixed_in"), QJsonArray::fromStringList(p.fixedIn)}});
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
        "and each gets one JSON line of status, message, summary and files on standard output."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Reactor configuration: ssad (single-stage), tsad (two-stage), tpad (temperature-phased) "
                       "or pomp (pump-mixed) (default ssad)"),
        QStringLiteral("name"));
    const QCommandLineOption ph(QStringLiteral("ph"),
                                QStringLiteral("pH mode: free, or a manual pH from 1 to 12.99 (default 7.0)"),
                                QStringLiteral("free|pH"));
    const QCommandLineOption unit(QStringLiteral("unit"),
                                  QStringLiteral("Unit of the temperatures given: K or C (default K)"),
                                  QStringLiteral("K|C"));
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
                                                    "output)"),
                                     QStringLiteral("file.json"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line, no summary and no list of the files written"));
    const QCommandLineOption batch(QStringLiteral("batch"),
                                   QStringLiteral("Run the scenarios given as JSON lines on standard input, one after "
                                                  "another; a workbook only where \"out\" names one"));
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
                       "day, Q_in and X_c_in, or components (S_su ... X_I, S_cat, S_an), or substrate flows"),
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
    const QCommandLineOption listParameters(
        QStringLiteral("list-parameters"),
        QStringLiteral("List the model constants (name, default, unit, meaning) and exit; with --json as JSON"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("With --list-parameters: JSON output"));
    const QCommandLineOption engine(
        QStringLiteral("engine"),
        QStringLiteral("Right-hand side the model scripts integrate: native (the compiled kernel, same numbers, "
                       "sooner) or scripts (their own Python code) (default native)"),
        QStringLiteral("scripts|native"));
    parser.addOptions({inputs, config});
    for (const InputInfo &option : inputInfos()) {
        if (option.input == Input::T1)
            parser.addOptions({ph, unit});
        parser.addOption(QCommandLineOption(QLatin1String(option.key), optionHelp(option), QStringLiteral("value")));
    }
    parser.addOptions({feed, substrates, param, listParameters, json});
    parser.addOptions({out, csv, summary, plots, plotFormat, plotScale, quiet, stats, engine, batch});

    if (!parser.parse(arguments))
        return refused(parser.errorText());
    if (parser.isSet(help))
        return {ParsedCommandLine::Outcome::Help, {}, parser.helpText()};
    if (parser.isSet(version))
        return {ParsedCommandLine::Outcome::Version, {},
                QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                    QLatin1Char('\n')};
    if (!parser.positionalArguments().isEmpty())
        return refused(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(listParameters))
        return {ParsedCommandLine::Outcome::Listing, {}, parameterList(parser.isSet(json))};
    if (parser.isSet(json))
        return refused(QStringLiteral("--json goes with --list-parameters"));

    InputsFileRead file;
    if (parser.isSet(inputs)) {
        file = readInputsFile(parser.value(inputs));
        if (!file.problems.isEmpty())
            return refused(QStringLiteral("--inputs %1: %2")
                               .arg(parser.value(inputs), file.describe().replace(QLatin1Char('\n'), QStringLiteral("; "))));
    }

    int mode = file.values.mode;
    if (parser.isSet(config)) {
        const Configuration *chosen = configurationByCode(parser.value(config));
        if (!chosen)
            return refused(QStringLiteral("--config must be ssad, tsad, tpad or pomp, not '%1'").arg(parser.value(config)));
        mode = chosen->mode;
    }

    bool celsius = false;
    if (parser.isSet(unit)) {
        const QString u = parser.value(unit).toUpper();
        if (u != QLatin1String("K") && u != QLatin1String("C"))
            return refused(QStringLiteral("--unit must be K or C, not '%1'").arg(parser.value(unit)));
        celsius = u == QLatin1String("C");
    }

    CliOptions options;
    RunRequest &request = options.request;
    request = defaultRequest(mode);
    if (parser.isSet(inputs))
        takeInputs(file.values, request);
    for (const InputInfo &option : inputInfos()) {
        const QString name = QLatin1String(option.key);
        if (!parser.isSet(name))
            continue;
        if (!applies(option.input, mode))
            return refused(QStringLiteral("%1 does not apply to --config %2 (only to %3)")
                               .arg(dashed(option.key), QLatin1String(configuration(mode).code), modeList(option.input)));
        double value = 0;
        if (!parseNumber(parser.value(name), &value))
            return refused(QStringLiteral("%1 needs a number, not '%2'").arg(dashed(option.key), parser.value(name)));
        if (option.temperature) {
            if (celsius)
                value += 273.15;
        } else if (value < 0) {
            return refused(QStringLiteral("%1 must not be negative (got %2)").arg(dashed(option.key), number(value)));
        }
        request.*option.field = value;
    }

    if (parser.isSet(ph)) {
        const QString text = parser.value(ph);
        double value = 0;
        if (text.trimmed().toLower() == QLatin1String("free")) {
            request.ph_mode = 1;
        } else if (parseNumber(text, &value) && value >= kLowestPh && value <= kHighestPh) {
            request.ph_mode = 0;
            request.S_h_ion_manual = std::pow(10.0, -value);
        } else {
            return refused(QStringLiteral("--ph must be free or a pH from 1 to 12.99, not '%1'").arg(text));
        }
    }

    if (const QString problem = takeParameters(parser.values(param), request); !problem.isEmpty())
        return refused(problem);
    if (parser.isSet(substrates) && !parser.isSet(feed))
        return refused(QStringLiteral("--substrates goes with --feed"));
    if (parser.isSet(feed)) {
        for (const char *replaced : {"q-in", "x-c-in"})
            if (parser.isSet(QLatin1String(replaced)))
                return refused(QStringLiteral("--%1 does not apply with --feed: the schedule gives the feed").arg(QLatin1String(replaced)));
        if (const QString problem = takeFeed(parser.value(feed), parser.value(substrates), request); !problem.isEmpty())
            return refused(problem);
    }
    if (const QStringList problems = checkModelInputs(request); !problems.isEmpty())
        return refused(problems.join(QStringLiteral("; ")));
    if (parser.isSet(engine)) {
        const QString name = parser.value(engine).toLower();
        if (name != QLatin1String("scripts") && name != QLatin1String("native"))
            return refused(QStringLiteral("--engine must be scripts or native, not '%1'").arg(parser.value(engine)));
        request.engine = name == QLatin1String(engineName(Engine::Native)) ? Engine::Native : Engine::Scripts;
    }

    options.workbookPath = parser.value(out);
    options.csvPath = parser.value(csv);
    options.summaryPath = parser.value(summary);
    options.plotsDir = parser.value(plots);
    // Each file has the extension of its format, so no two of them can be the same file.
    const std::pair<const QCommandLineOption *, QLatin1String> targets[] = {
        {&out, QLatin1String("xlsx")}, {&csv, QLatin1String("csv")}, {&summary, QLatin1String("json")}};
    for (const auto &[target, extension] : targets) {
        const QString option = QStringLiteral("--") + target->names().first(), path = parser.value(*target);
        if (!parser.isSet(*target) || (target != &out && path == QLatin1String(kStandardOutput)))
            continue;
        QString problem = checkFileTarget(option, path);
        if (problem.isEmpty() && QFileInfo(path).suffix().compare(extension, Qt::CaseInsensitive) != 0)
            problem = QStringLiteral("%1 writes a .%2 file: its name must end in .%2, not '%3'").arg(option, extension, path);
        if (!problem.isEmpty())
            return refused(problem);
    }
    if (options.csvPath == QLatin1String(kStandardOutput) && options.summaryPath == QLatin1String(kStandardOutput))
        return refused(QStringLiteral("only one of --csv and --summary can be - (standard output)"));
    if (parser.isSet(plotFormat)) {
        const QString format = parser.value(plotFormat).toLower();
        if (format != QLatin1String("png") && format != QLatin1String("pdf"))
            return refused(QStringLiteral("--plot-format must be png or pdf, not '%1'").arg(parser.value(plotFormat)));
        options.plotFormat = format == QLatin1String("pdf") ? ImageFormat::Pdf : ImageFormat::Png;
    }
    if (parser.isSet(plotScale) &&
        (!parseNumber(parser.value(plotScale), &options.plotScale) || options.plotScale <= 0 || options.plotScale > 10))
        return refused(QStringLiteral("--plot-scale must be a number above 0 and at most 10, not '%1'")
                           .arg(parser.value(plotScale)));
    if ((parser.isSet(plotFormat) || parser.isSet(plotScale)) && !parser.isSet(plots))
        return refused(QStringLiteral("--plot-format and --plot-scale need --plots"));
    if (parser.isSet(plots)) {
        const QString problem = checkPlotsFolder(options.plotsDir, plotImagePaths(options.plotsDir, mode, options.plotFormat));
        if (!problem.isEmpty())
            return refused(problem);
    }
    options.quiet = parser.isSet(quiet);
    options.stats = parser.isSet(stats);
    options.batch = parser.isSet(batch);
    return {ParsedCommandLine::Outcome::Run, options, {}};
}

QString describeProblem(const InputProblem &problem, const RunRequest &request)
{
    switch (problem.subject) {
    case InputProblem::Subject::Fractions:
        return QStringLiteral("--f-pr + --f-li + --f-ch %1 (got %2)")
            .arg(problem.reason, number((request.f_li_xc + request.f_pr_xc) + request.f_ch_xc));
    case InputProblem::Subject::ManualPh:
        return QStringLiteral("--ph %1 (got %2)").arg(problem.reason, number(-std::log10(request.S_h_ion_manual)));
    case InputProblem::Subject::Input:
        break;
    }
    const InputInfo &info = inputInfo(problem.input);
    const QString unit = QLatin1String(info.unit) == QLatin1String("-") ? QString() : QLatin1Char(' ') + QLatin1String(info.unit);
    return QStringLiteral("%1 %2 (got %3%4)").arg(dashed(info.key), problem.reason, number(request.*info.field), unit);
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

    QStringList keys = {QStringLiteral("config"), QStringLiteral("ph"),  QStringLiteral("unit"),
                        QStringLiteral("out"),    QStringLiteral("csv"), QStringLiteral("summary"),
                        QStringLiteral("plots"),  QStringLiteral("plot-format"), QStringLiteral("plot-scale")};
    for (const InputInfo &info : inputInfos())
        keys << QLatin1String(info.key);

    QStringList arguments{QStringLiteral("digestra-cli")};
    for (auto it = scenario.begin(); it != scenario.end(); ++it) {
        if (it.key() == QLatin1String("id"))
            continue;
        if (!keys.contains(it.key()))
            return refused(QStringLiteral("unknown key '%1'").arg(it.key()));
        QString value;
        if (it->isDouble())
            value = QString::number(it->toDouble(), 'g', 17);
        else if (it->isString())
            value = it->toString();
        else
            return refused(QStringLiteral("'%1' needs a number or a text").arg(it.key()));
        arguments << QStringLiteral("--") + it.key() << value;
    }
    ParsedCommandLine parsed = parseCommandLine(arguments);
    if (parsed.outcome == ParsedCommandLine::Outcome::Run && parsed.options.writesToStandardOutput())
        parsed = refused(QStringLiteral("csv and summary cannot be - in a batch: standard output carries the answers"));
    // The option names of the refusals read as the line's keys.
    parsed.text.replace(QStringLiteral("--"), QString());
    return parsed;
}
