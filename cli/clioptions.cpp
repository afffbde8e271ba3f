#include "clioptions.h"

#include "safefile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace {

constexpr int bit(int mode) { return 1 << mode; }
constexpr int kAllModes = bit(1) | bit(2) | bit(3) | bit(4);
const char *const kModeNames[] = {"", "ssad", "tsad", "tpad", "pomp"};

// A number typed on one of the input pages.
struct NumberOption {
    const char *name;
    const char *description;  // what the page calls it, with its unit
    double RunRequest::*field;
    int modes;  // configurations whose pages have the field
    bool temperature = false;
};

const NumberOption kNumberOptions[] = {
    {"q-in", "Input biomass flux [m3/d]", &RunRequest::final_Q_in, kAllModes},
    {"x-c-in", "Biomass concentration [kgCOD/m3]", &RunRequest::X_c_in, kAllModes},
    {"t-end", "Simulation timespan [d]", &RunRequest::t_end, kAllModes},
    {"f-pr", "Fractioning factor f_pr_xc [-]", &RunRequest::f_pr_xc, kAllModes},
    {"f-li", "Fractioning factor f_li_xc [-]", &RunRequest::f_li_xc, kAllModes},
    {"f-ch", "Fractioning factor f_ch_xc [-]", &RunRequest::f_ch_xc, kAllModes},
    {"t1", "Temperature (in R1) [K, or °C with --unit C]", &RunRequest::T_1, kAllModes, true},
    {"t2", "Temperature in R2 [K, or °C with --unit C]", &RunRequest::T_2, bit(3), true},
    {"p1", "Pressure (in R1) [bar]", &RunRequest::P_atm1, kAllModes},
    {"p2", "Pressure in R2 [bar]", &RunRequest::P_atm2, bit(2) | bit(3)},
    {"v1", "Reactor volume (R1) [m3]", &RunRequest::V_t1, kAllModes},
    {"v2", "R2 volume [m3]", &RunRequest::V_t2, bit(2) | bit(3)},
    {"t-sr", "Additional SRT [d]", &RunRequest::t_sr, bit(3)},
    {"mix-i", "Mixing interval [min]", &RunRequest::mix_i, bit(4)},
};

constexpr double kManualPh = 7.0;
constexpr double kLowestPh = 1.0, kHighestPh = 12.99;  // what the pH field lets one type

QString number(double value) { return QString::number(value, 'g', 6); }

QString dashed(const char *name) { return QStringLiteral("--") + QLatin1String(name); }

QString modeList(int modes)
{
    QStringList names;
    for (int mode = 1; mode <= 4; ++mode)
        if (modes & bit(mode))
            names << QLatin1String(kModeNames[mode]);
    return names.join(QStringLiteral(", "));
}

// "(default 1.013; 2.026 for tsad)": the defaults of the configurations the option applies to.
QString defaultText(const NumberOption &option)
{
    int firstMode = 1;
    while (!(option.modes & bit(firstMode)))
        ++firstMode;
    const double common = defaultRequest(firstMode).*option.field;
    QStringList exceptions;
    for (int mode = firstMode + 1; mode <= 4; ++mode) {
        const double value = defaultRequest(mode).*option.field;
        if ((option.modes & bit(mode)) && value != common)
            exceptions << QStringLiteral("%1 for %2").arg(number(value), QLatin1String(kModeNames[mode]));
    }
    QString text = QStringLiteral("default ") + number(common) + (option.temperature ? QStringLiteral(" K") : QString());
    if (!exceptions.isEmpty())
        text += QStringLiteral("; ") + exceptions.join(QStringLiteral("; "));
    return text;
}

QString optionHelp(const NumberOption &option)
{
    QString text = QString::fromUtf8(option.description);
    if (option.modes != kAllModes)
        text += QStringLiteral(", ") + modeList(option.modes) + QStringLiteral(" only");
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
// parent, that takes new files.
QString checkPlotsFolder(const QString &dir)
{
    QFileInfo existing(dir);
    if (dir.isEmpty() || (existing.exists() && !existing.isDir()))
        return QStringLiteral("--plots needs a folder: '%1' is not one").arg(dir);
    while (!existing.exists() && !existing.isRoot())
        existing = QFileInfo(existing.absolutePath());
    const QString problem = SafeFile::checkFolder(existing.absoluteFilePath());
    return problem.isEmpty() ? QString() : QStringLiteral("--plots: ") + problem;
}

ParsedCommandLine refused(const QString &why) { return {ParsedCommandLine::Outcome::Refused, {}, why}; }

}  // namespace

RunRequest defaultRequest(int mode)
{
    RunRequest r;
    r.mode = mode;
    r.final_Q_in = 5.31;
    r.X_c_in = 10;
    r.t_end = 50;
    r.f_pr_xc = r.f_li_xc = r.f_ch_xc = 0.3;
    r.ph_mode = 0;
    r.S_h_ion_manual = std::pow(10.0, -kManualPh);
    r.T_1 = 308;
    r.P_atm1 = mode == 2 ? 2.026 : 1.013;  // the two-stage page opens with a doubled first pressure
    r.V_t1 = 33;
    if (mode == 2 || mode == 3) {
        r.P_atm2 = 1.013;
        r.V_t2 = 33;
    }
    if (mode == 3)
        r.T_2 = 308;
    if (mode == 4)
        r.mix_i = 10;
    return r;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs one anaerobic digestion simulation without a window and writes its results workbook.\n"
        "Exit status: 0 done, 1 the run or a file failed, 2 inputs refused (nothing written), "
        "3 the integration stopped early (the files end there), 130 cancelled with Ctrl-C (nothing written)."));
    const QCommandLineOption help = parser.addHelpOption();
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
                                 QStringLiteral("Also write the full result table as CSV"), QStringLiteral("file"));
    const QCommandLineOption plots(QStringLiteral("plots"),
                                   QStringLiteral("Also save the flow and composition plots as PNG into this folder"),
                                   QStringLiteral("dir"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line and no list of the files written"));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("Print the model's wall time and right-hand-side evaluations"));
    parser.addOptions({config});
    for (const NumberOption &option : kNumberOptions) {
        if (QLatin1String(option.name) == QLatin1String("t1"))
            parser.addOptions({ph, unit});
        parser.addOption(QCommandLineOption(QLatin1String(option.name), optionHelp(option), QStringLiteral("value")));
    }
    parser.addOptions({out, csv, plots, quiet, stats});

    if (!parser.parse(arguments))
        return refused(parser.errorText());
    if (parser.isSet(help))
        return {ParsedCommandLine::Outcome::Help, {}, parser.helpText()};
    if (!parser.positionalArguments().isEmpty())
        return refused(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    int mode = 1;
    if (parser.isSet(config)) {
        const QString name = parser.value(config).toLower();
        mode = 4;
        while (mode > 0 && name != QLatin1String(kModeNames[mode]))
            --mode;
        if (mode == 0)
            return refused(QStringLiteral("--config must be ssad, tsad, tpad or pomp, not '%1'").arg(parser.value(config)));
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
    for (const NumberOption &option : kNumberOptions) {
        const QString name = QLatin1String(option.name);
        if (!parser.isSet(name))
            continue;
        if (!(option.modes & bit(mode)))
            return refused(QStringLiteral("%1 does not apply to --config %2 (only to %3)")
                               .arg(dashed(option.name), QLatin1String(kModeNames[mode]), modeList(option.modes)));
        double value = 0;
        if (!parseNumber(parser.value(name), &value))
            return refused(QStringLiteral("%1 needs a number, not '%2'").arg(dashed(option.name), parser.value(name)));
        if (option.temperature) {
            if (celsius)
                value += 273.15;
        } else if (value < 0) {
            return refused(QStringLiteral("%1 must not be negative (got %2)").arg(dashed(option.name), number(value)));
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

    options.workbookPath = parser.value(out);
    options.csvPath = parser.value(csv);
    options.plotsDir = parser.value(plots);
    for (const QCommandLineOption *target : {&out, &csv}) {
        if (!parser.isSet(*target))
            continue;
        const QString problem = checkFileTarget(QStringLiteral("--") + target->names().first(), parser.value(*target));
        if (!problem.isEmpty())
            return refused(problem);
    }
    if (!options.csvPath.isEmpty() &&
        QFileInfo(options.csvPath).absoluteFilePath() == QFileInfo(options.workbookPath).absoluteFilePath())
        return refused(QStringLiteral("--csv and --out name the same file: %1").arg(options.csvPath));
    if (!parser.isSet(out)) {
        const QString problem = SafeFile::checkFolder(QDir::currentPath());
        if (!problem.isEmpty())
            return refused(QStringLiteral("the workbook goes into the working directory, which cannot take it: ") + problem);
    }
    if (parser.isSet(plots)) {
        const QString problem = checkPlotsFolder(options.plotsDir);
        if (!problem.isEmpty())
            return refused(problem);
    }
    options.quiet = parser.isSet(quiet);
    options.stats = parser.isSet(stats);
    return {ParsedCommandLine::Outcome::Run, options, {}};
}

QString describeProblem(const InputProblem &problem, const RunRequest &request)
{
    struct Field {
        RunField field;
        const char *options;
        double value;
        const char *unit;
    };
    const Field fields[] = {
        {RunField::FinalQin, "--q-in", request.final_Q_in, " m3/d"},
        {RunField::Tend, "--t-end", request.t_end, " d"},
        {RunField::Fractions, "--f-pr + --f-li + --f-ch", (request.f_li_xc + request.f_pr_xc) + request.f_ch_xc, ""},
        {RunField::T1, "--t1", request.T_1, " K"},
        {RunField::T2, "--t2", request.T_2, " K"},
        {RunField::Patm1, "--p1", request.P_atm1, " bar"},
        {RunField::Patm2, "--p2", request.P_atm2, " bar"},
        {RunField::Vt1, "--v1", request.V_t1, " m3"},
        {RunField::Vt2, "--v2", request.V_t2, " m3"},
    };
    for (const Field &f : fields)
        if (f.field == problem.field)
            return QStringLiteral("%1 %2 (got %3%4)")
                .arg(QLatin1String(f.options), problem.reason, number(f.value), QLatin1String(f.unit));
    return problem.reason;
}
