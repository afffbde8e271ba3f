// The command line of digestra-cli: defaults as on the input pages, conversions, refusals
// naming the option, and the progress line's text.

#include "clioptions.h"
#include "guardedfile.h"
#include "inputsdescription.h"
#include "inputsfile.h"
#include "progressline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace {

ParsedCommandLine parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("digestra-cli"));
    return parseCommandLine(arguments);
}

RunRequest parsedRequest(const QStringList &arguments)
{
    const ParsedCommandLine parsed = parse(arguments);
    if (parsed.outcome != ParsedCommandLine::Outcome::Run)
        qWarning() << "refused:" << parsed.text;
    return parsed.options.request;
}

// A one-reactor state, every state of the model at value.
ModelState everyState(double value)
{
    ModelState state{{}};
    for (const QString &name : stateNames())
        state[0].emplace_back(name, value);
    return state;
}

}  // namespace

class TestCliOptions : public QObject {
    Q_OBJECT

private slots:
    void defaultsAreThoseOfThePages_data();
    void defaultsAreThoseOfThePages();
    void everyOptionReachesItsField();
    void temperaturesInCelsiusAreConverted();
    void phModes();
    void refusalsNameTheOption_data();
    void refusalsNameTheOption();
    void outputTargetsAreCheckedBeforeTheRun();
    void outputsNeverWriteOverTheRunsFiles_data();
    void outputsNeverWriteOverTheRunsFiles();
    void inputsFileUnderTheOptions();
    void plotImageOptions();
    void oneKeySetEverywhere();
    void feedAndConstantsInEveryFrontEnd();
    void inputFilesRefusedBeforeReading_data();
    void inputFilesRefusedBeforeReading();
    void feedFilesReadAsGiven();
    void startStatesInEveryFrontEnd();
    void phDecimalsInEveryFrontEnd();
    void helpListsOptionsWithUnitsAndDefaults();
    void progressLineText();
};

void TestCliOptions::defaultsAreThoseOfThePages_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("mode");
    QTest::newRow("no --config") << QString() << 1;
    for (const Configuration &c : configurations())
        QTest::newRow(c.code) << QString::fromLatin1(c.code).toUpper() << c.mode;
}

// What the input pages start from (the configuration table) is what a bare command line runs.
void TestCliOptions::defaultsAreThoseOfThePages()
{
    QFETCH(QString, config);
    QFETCH(int, mode);

    const ParsedCommandLine parsed = parse(config.isEmpty() ? QStringList{} : QStringList{"--config", config});
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Run);
    const RunRequest &r = parsed.options.request;
    const RunRequest expected = defaultRequest(mode);
    QCOMPARE(r.mode, mode);
    QCOMPARE(r.ph_mode, 0);
    QCOMPARE(r.S_h_ion_manual, 1e-7);
    for (const InputInfo &info : inputInfos())
        if (info.field)
            QCOMPARE(r.*info.field, expected.*info.field);

    const CliOptions &o = parsed.options;
    QVERIFY(o.workbookPath.isEmpty());
    QVERIFY(o.csvPath.isEmpty());
    QVERIFY(o.plotsDir.isEmpty());
    QVERIFY(!o.quiet);
    QVERIFY(!o.stats);
}

void TestCliOptions::everyOptionReachesItsField()
{
    const RunRequest r = parsedRequest({"--config", "tpad", "--q-in", "4.5", "--x-c-in=12", "--t-end", "7.5",
                                        "--f-pr", "0.1", "--f-li", "0.2", "--f-ch", "0.25", "--t1", "310",
                                        "--t2", "328", "--p1", "1.2", "--p2", "1.1", "--v1", "20", "--v2", "40",
                                        "--t-sr", "2.5"});
    QCOMPARE((QVector<double>{r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc, r.T_1, r.T_2,
                              r.P_atm1, r.P_atm2, r.V_t1, r.V_t2, r.t_sr}),
             (QVector<double>{4.5, 12, 7.5, 0.1, 0.2, 0.25, 310, 328, 1.2, 1.1, 20, 40, 2.5}));

    QCOMPARE(parsedRequest({"--config", "pomp", "--mix-i", "15"}).mix_i, 15.0);

    const ParsedCommandLine files = parse({"--out", "a.xlsx", "--csv", "a.csv", "--plots", "pictures", "--quiet",
                                           "--stats"});
    QCOMPARE(files.outcome, ParsedCommandLine::Outcome::Run);
    QCOMPARE(files.options.workbookPath, QStringLiteral("a.xlsx"));
    QCOMPARE(files.options.csvPath, QStringLiteral("a.csv"));
    QCOMPARE(files.options.plotsDir, QStringLiteral("pictures"));
    QVERIFY(files.options.quiet && files.options.stats);
}

void TestCliOptions::temperaturesInCelsiusAreConverted()
{
    const RunRequest celsius = parsedRequest({"--config", "tpad", "--unit", "C", "--t1", "35", "--t2", "55"});
    QCOMPARE(celsius.T_1, 308.15);
    QCOMPARE(celsius.T_2, 328.15);
    QCOMPARE(parsedRequest({"--unit", "c", "--t1", "5"}).T_1, 278.15);
    // The range is in kelvin whatever the unit: -5 °C is refused as 268.15 K.
    QVERIFY(parse({"--unit", "C", "--t1", "-5"}).text.contains("(got 268.15 K)"));
    QCOMPARE(parsedRequest({"--unit", "K", "--t1", "300"}).T_1, 300.0);
    // The defaults are kelvin whatever the unit: --unit only reads the temperatures given.
    QCOMPARE(parsedRequest({"--config", "tpad", "--unit", "C", "--t2", "40"}).T_1, 308.0);
}

void TestCliOptions::phModes()
{
    const RunRequest free = parsedRequest({"--ph", "free"});
    QCOMPARE(free.ph_mode, 1);
    QCOMPARE(free.S_h_ion_manual, 1e-7);  // passed in both modes, from the default pH 7.0

    const RunRequest manual = parsedRequest({"--ph", "6.5"});
    QCOMPARE(manual.ph_mode, 0);
    QCOMPARE(manual.S_h_ion_manual, std::pow(10.0, -6.5));
    QCOMPARE(parsedRequest({"--ph", "12.99"}).ph_mode, 0);
    QCOMPARE(parsedRequest({"--ph", "1"}).S_h_ion_manual, 0.1);
}

void TestCliOptions::refusalsNameTheOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");

    QTest::newRow("letters") << QStringList{"--q-in", "abc"} << "--q-in";
    QTest::newRow("decimal comma") << QStringList{"--t-end", "1,5"} << "--t-end";
    QTest::newRow("empty number") << QStringList{"--v1="} << "--v1";
    QTest::newRow("trailing junk") << QStringList{"--x-c-in", "10kg"} << "--x-c-in";
    QTest::newRow("not finite") << QStringList{"--p1", "inf"} << "--p1";
    QTest::newRow("negative") << QStringList{"--f-li", "-0.1"} << "--f-li";
    QTest::newRow("negative mixing") << QStringList{"--config", "pomp", "--mix-i", "-1"} << "--mix-i";
    QTest::newRow("t2 on ssad") << QStringList{"--t2", "310"} << "--t2";
    QTest::newRow("v2 on pomp") << QStringList{"--config", "pomp", "--v2", "10"} << "--v2";
    QTest::newRow("t-sr on tsad") << QStringList{"--config", "tsad", "--t-sr", "1"} << "--t-sr";
    QTest::newRow("mix-i on tpad") << QStringList{"--config", "tpad", "--mix-i", "5"} << "--mix-i";
    QTest::newRow("configuration") << QStringList{"--config", "cstr"} << "--config";
    QTest::newRow("unit") << QStringList{"--unit", "F"} << "--unit";
    QTest::newRow("pH below 1") << QStringList{"--ph", "0.5"} << "--ph";
    QTest::newRow("pH above 12.99") << QStringList{"--ph", "13"} << "--ph";
    QTest::newRow("pH word") << QStringList{"--ph", "fixed"} << "--ph";
    QTest::newRow("unknown option") << QStringList{"--volume", "3"} << "volume";
    QTest::newRow("missing value") << QStringList{"--q-in"} << "q-in";
    QTest::newRow("stray argument") << QStringList{"ssad"} << "ssad";
    QTest::newRow("plot format") << QStringList{"--plots", "p", "--plot-format", "jpg"} << "--plot-format";
    QTest::newRow("plot scale 0") << QStringList{"--plots", "p", "--plot-scale", "0"} << "--plot-scale";
    QTest::newRow("plot scale 11") << QStringList{"--plots", "p", "--plot-scale", "11"} << "--plot-scale";
    QTest::newRow("plot scale alone") << QStringList{"--plot-scale", "2"} << "--plots";
    QTest::newRow("inputs missing") << QStringList{"--inputs", "/nonexistent/in.toml"} << "--inputs";
    QTest::newRow("final state not .json") << QStringList{"--final-state", "end.csv"} << "--final-state writes a .json file";
    QTest::newRow("final state in a missing folder") << QStringList{"--final-state", "/nonexistent/end.json"} << "--final-state";
    QTest::newRow("two listings") << QStringList{"--list-feed", "--list-outputs"} << "one listing at a time";
    QTest::newRow("listing and a run's file") << QStringList{"--list-feed", "--final-state", "end.json", "--csv", "r.csv"}
                                              << "--list-feed lists and runs nothing: --csv, --final-state";
    QTest::newRow("heating value beyond methane's") << QStringList{"--lhv-ch4", "1.7e308"} << "--lhv-ch4 must be from above 0 to 11.06";
    QTest::newRow("wall of no material") << QStringList{"--u-value", "1.7e308"} << "--u-value must be from 0 to 50 W/(m2·K)";
    QTest::newRow("infinite u-value") << QStringList{"--u-value", "inf"} << "--u-value must be a finite number (got inf)";
    QTest::newRow("warning above critical") << QStringList{"--fos-tac-warning", "0.5"}
                                            << "--fos-tac-warning must not be above fos-tac-critical (got 0.5 above 0.4)";
}

void TestCliOptions::refusalsNameTheOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const ParsedCommandLine parsed = parse(arguments);
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Refused);
    QVERIFY2(parsed.text.contains(named), qPrintable(parsed.text));
}

void TestCliOptions::outputTargetsAreCheckedBeforeTheRun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing/out.xlsx"));

    for (const QString &option : {QStringLiteral("--out"), QStringLiteral("--csv")}) {
        const ParsedCommandLine inMissingFolder = parse({option, missing});
        QCOMPARE(inMissingFolder.outcome, ParsedCommandLine::Outcome::Refused);
        QVERIFY2(inMissingFolder.text.contains(option), qPrintable(inMissingFolder.text));
        const ParsedCommandLine folder = parse({option, dir.path()});
        QCOMPARE(folder.outcome, ParsedCommandLine::Outcome::Refused);
        QVERIFY2(folder.text.contains(option), qPrintable(folder.text));
    }

    // A name without its format's extension is refused, not written (so no two files share a name);
    // - is standard output, for one of --csv and --summary.
    const std::pair<const char *, const char *> misnamed[] = {{"--out", "r.csv"}, {"--csv", "r.xlsx"}, {"--summary", "r.csv"}};
    for (const auto &[option, name] : misnamed) {
        const ParsedCommandLine wrong = parse({option, dir.filePath(QLatin1String(name))});
        QCOMPARE(wrong.outcome, ParsedCommandLine::Outcome::Refused);
        QVERIFY2(wrong.text.contains(QLatin1String(option)), qPrintable(wrong.text));
    }
    QVERIFY(parse({"--csv", "-"}).options.writesToStandardOutput());
    QCOMPARE(parse({"--csv", "-", "--summary", "-"}).outcome, ParsedCommandLine::Outcome::Refused);

    QFile file(dir.filePath(QStringLiteral("taken")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const ParsedCommandLine plotsOnFile = parse({"--plots", file.fileName()});
    QCOMPARE(plotsOnFile.outcome, ParsedCommandLine::Outcome::Refused);
    QVERIFY2(plotsOnFile.text.contains(QStringLiteral("--plots")), qPrintable(plotsOnFile.text));
    // A plots folder that does not exist yet is made after the run.
    QCOMPARE(parse({"--plots", dir.filePath(QStringLiteral("new/pictures"))}).outcome,
             ParsedCommandLine::Outcome::Run);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("new"))));
}

void TestCliOptions::outputsNeverWriteOverTheRunsFiles_data()
{
    QTest::addColumn<QStringList>("arguments");  // "batch" and a JSON line: a scenario of --batch
    QTest::addColumn<QString>("refusal");
    const auto row = [](const char *name, const QStringList &arguments, const char *refusal) {
        QTest::newRow(name) << arguments << QString::fromUtf8(refusal);
    };
    row("final state over the feed", {"--feed", "f.json", "--final-state", "f.json"}, "--final-state would write over the file --feed reads");
    row("table over the feed", {"--feed", "good.csv", "--csv", "sub/../good.csv"}, "--csv would write over the file --feed reads");
    row("summary over the start", {"--initial-state", "st.json", "--summary", "st.json"},
        "--summary would write over the file --initial-state reads");
    row("summary over the substrates", {"--feed", "mix.csv", "--substrates", "s.json", "--summary", "s.json"},
        "--summary would write over the file --substrates reads");
    row("through a symbolic link", {"--feed", "f.json", "--summary", "link.json"}, "--summary would write over the file --feed reads");
    row("through a hard link", {"--feed", "f.json", "--summary", "hard.json"}, "--summary would write over the file --feed reads");
    row("an image over the feed", {"--feed", "p/biogas_flow.png", "--plots", "p"}, "--plots would write over the file --feed reads");
    row("inputs file naming itself", {"--inputs", "self.json"}, "--final-state would write over the file --inputs reads");
    row("two outputs, one not there yet", {"--summary", "new.json", "--final-state", "./sub/../new.json"},
        "--summary and --final-state name the same file");
    row("workbook and final state", {"--out", "q.xlsx", "--final-state", "q.xlsx"}, "--final-state writes a .json file");
    row("batch line", {"batch", R"({"feed": "f.json", "final-state": "f.json"})"}, "final-state would write over the file feed reads");
    row("batch line checked", {"batch", R"({"check": true, "initial-state": "st.json", "summary": "st.json"})"},
        "summary would write over the file initial-state reads");
}

// No file a run writes replaces a file it reads or another of its own, however the names reach it:
// refused before the run, nothing written.
void TestCliOptions::outputsNeverWriteOverTheRunsFiles()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString working = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QDir().mkpath("sub");
    QDir().mkpath("p");
    const auto write = [](const QString &name, const QByteArray &bytes) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    };
    for (const char *feed : {"good.csv", "f.json", "p/biogas_flow.png"})
        write(feed, "day,Q_in,X_c_in\n0,5,10\n");
    write("mix.csv", "day,a\n0,1\n");
    write("s.json", "[a]\nX_ch = 10\n");
    write("self.json", "final-state = \"self.json\"\n");
    write("st.json", stateFileText(defaultRequest(1), everyState(0.1), 10, QStringLiteral("test")));
    QVERIFY(QFile::link("f.json", "link.json"));
    QCOMPARE(::link("f.json", "hard.json"), 0);
    QJsonValue id;
    const ParsedCommandLine parsed = arguments.first() == "batch" ? parseScenarioLine(arguments.last().toUtf8(), &id) : parse(arguments);
    QDir::setCurrent(working);
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Refused);
    QVERIFY2(parsed.text.contains(refusal), qPrintable(parsed.text));
}

// The file gives what the command line does not; its temperatures are in its own unit.
void TestCliOptions::inputsFileUnderTheOptions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("in.toml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("config = \"tsad\"\nt-end = 20\nt1 = 35\np2 = 1.5\nv2 = 40\nph = 6.5\nunit = \"C\"\n");
    file.close();

    RunRequest r = parsedRequest({"--inputs", path, "--p2", "2", "--unit", "K"});
    QCOMPARE(r.mode, 2);
    QCOMPARE(r.t_end, 20.0);
    QCOMPARE(r.T_1, 308.15);
    QCOMPARE(r.P_atm2, 2.0);
    QCOMPARE(r.V_t2, 40.0);
    QCOMPARE(r.ph_mode, 0);
    QCOMPARE(r.S_h_ion_manual, std::pow(10.0, -6.5));
    QCOMPARE(r.V_t1, defaultRequest(2).V_t1);

    // Another configuration on the command line leaves the file's two-stage inputs aside.
    r = parsedRequest({"--inputs", path, "--config", "ssad", "--ph", "free"});
    QCOMPARE(r.mode, 1);
    QCOMPARE(r.t_end, 20.0);
    QCOMPARE(r.P_atm2, 0.0);
    QCOMPARE(r.ph_mode, 1);

    // A file and options with several problems: refused in one pass, the file's with their lines
    // and keys, the options' with their names, the ranges among them.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("config = \"tsad\"\nt-end = \"x\"\nt1 = 400\nv2 = -3\nmix-i = 3\nf-pr = 0.9\n");
    file.close();
    const ParsedCommandLine parsed = parse({"--inputs", path, "--t2", "5", "--q-in", "-1", "--v1", "abc"});
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Refused);
    const QString at = "--inputs " + path + ": ";
    QCOMPARE(parsed.text.split('\n'),
             (QStringList{at + "line 2, t-end: needs a number, not a text",
                          at + "line 3, t1: must be from 273.15 to 373.15 K (got 400 K)",
                          at + "line 4, v2: must be greater than 0 (got -3 m3)",
                          at + "line 5, mix-i: does not apply to config tsad (only to pomp)",
                          at + "line 6, f-pr + f-li + f-ch: must not add up to more than 1 (got 1.5)",
                          "--t2 does not apply to config tsad (only to tpad)",
                          "--v1 needs a number, not 'abc'",
                          "--q-in must not be negative (got -1 m3/d)"}));

    // A batch line the same way, its keys without dashes and its paths as given.
    QJsonValue id;
    QCOMPARE(parseScenarioLine(R"({"id": 7, "t-end": 0, "v2": 3, "ph": "7", "out": "/nonexistent/--dashed/w.xlsx"})", &id).text,
             QStringLiteral("v2: does not apply to config ssad (only to tsad, tpad); "
                            "t-end: must be from 0.1 to 104857 d (got 0 d); "
                            "out: the folder /nonexistent/--dashed does not exist"));
    QCOMPARE(id.toInt(), 7);
}

void TestCliOptions::plotImageOptions()
{
    const ParsedCommandLine parsed = parse({"--plots", QDir::tempPath(), "--plot-format", "PDF", "--plot-scale", "2.5"});
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Run);
    QCOMPARE(parsed.options.plotFormat, ImageFormat::Pdf);
    QCOMPARE(parsed.options.plotScale, 2.5);
    QCOMPARE(parse({"--plots", QDir::tempPath()}).options.plotFormat, ImageFormat::Png);
}

namespace {

// A value each input takes in the first configuration that takes it, as JSON.
QJsonValue validValue(const InputInfo &info, int *mode)
{
    for (const Configuration &c : configurations())
        if (info.takes(c.mode)) {
            *mode = c.mode;
            break;
        }
    const QString text = QLatin1String(info.startText(*mode));
    return info.isNumber() ? QJsonValue(text.toDouble()) : QJsonValue(text);
}

QString jsonText(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString::number(value.toDouble(), 'g', 17);
}

}  // namespace

// The declaration's keys are the keys of every front end: each is an option of the command line,
// a key of batch lines and of input files, and of --describe. Beside them every front end takes
// the feed, its substrates, their lab values, the engine, the start and final states and the model
// constants (the command line's --param).
void TestCliOptions::oneKeySetEverywhere()
{
    QStringList declared;
    for (const InputInfo &info : inputInfos())
        declared << QLatin1String(info.key);

    QStringList described;
    for (const QJsonValue &input : inputsDescription()[QStringLiteral("inputs")].toArray())
        described << input[QStringLiteral("key")].toString();
    QCOMPARE(described, declared);

    const QString help = parse({"--help"}).text;
    QStringList options;
    const QRegularExpression option(QStringLiteral("^\\s+--([a-z0-9-]+) <"), QRegularExpression::MultilineOption);
    for (auto it = option.globalMatch(help); it.hasNext();)
        options << it.next().captured(1);
    for (const char *model : {kFeedKey, kSubstratesKey, kEngineKey, kPhSolverKey, kInitialStateKey, kFinalStateKey, "param",
                                 "substrate-value"})
        QVERIFY(options.removeOne(model));
    for (const char *output : {"inputs", "out", "csv", "summary", "plots", "plot-format", "plot-scale"})
        QVERIFY(options.removeOne(output));
    QCOMPARE(options, declared);

    for (const InputInfo &info : inputInfos()) {
        int mode = 1;
        const QJsonValue value = validValue(info, &mode);
        const QString code = QLatin1String(configuration(mode).code);
        QJsonValue id;
        QJsonObject line{{QLatin1String(info.key), value}};
        if (info.input != Input::Config)
            line[QStringLiteral("config")] = code;
        QCOMPARE(parseScenarioLine(QJsonDocument(line).toJson(QJsonDocument::Compact), &id).outcome,
                 ParsedCommandLine::Outcome::Run);
        const QStringList arguments = info.input == Input::Config
                                          ? QStringList{"--config", jsonText(value)}
                                          : QStringList{"--config", code, "--" + QLatin1String(info.key), jsonText(value)};
        QCOMPARE(parse(arguments).outcome, ParsedCommandLine::Outcome::Run);
        const QByteArray text = QStringLiteral("config = \"%1\"\n%2 = %3\n")
                                    .arg(code, QLatin1String(info.key),
                                         value.isString() ? '"' + value.toString() + '"' : jsonText(value))
                                    .toUtf8();
        const InputsFileRead read = parseInputsText(info.input == Input::Config ? text.mid(text.indexOf('\n') + 1) : text);
        QVERIFY2(read.problems.isEmpty(), qPrintable(read.describe()));
    }
    QJsonValue id;
    QVERIFY(parseScenarioLine(R"({"volume": 3})", &id).text.startsWith("volume: is not an input"));
    QVERIFY(parseInputsText("volume = 3\n").describe().startsWith("line 1, volume: is not an input"));
}

// One rule for the manual pH, the declaration's: 1 to 12.99 with at most two decimals.
// A feed and changed constants read the same from the command line, a batch line and an input
// file, whose relative feed is beside it; the file the window writes reads back the same; each
// refusal names its key (and in a file its line).
// The command line, batch lines and input files take the start and the final state's file; a file
// of an input file is beside it.
void TestCliOptions::startStatesInEveryFrontEnd()
{
    QJsonValue id;
    const CliOptions requests[] = {
        parse({"--initial-state", "steady", "--final-state", "end.json"}).options,
        parseScenarioLine(R"({"initial-state": "steady", "final-state": "end.json"})", &id).options,
    };
    for (const CliOptions &options : requests) {
        QCOMPARE(options.request.start.kind, StartState::Kind::Steady);
        QCOMPARE(options.request.finalStateFile, QStringLiteral("end.json"));
    }
    QCOMPARE(parse({"--initial-state", "start-up"}).options.request.start.kind, StartState::Kind::StartUp);
    QTemporaryDir dir;
    QFile saved(dir.filePath("saved.json"));
    QVERIFY(saved.open(QIODevice::WriteOnly));
    saved.write(stateFileText(defaultRequest(1), everyState(0.0125), 10.0, QStringLiteral("test")));
    saved.close();
    const InputsFileRead read = parseInputsText("initial-state = \"saved.json\"\nfinal-state = \"end.json\"\n", dir.path());
    QVERIFY2(read.problems.isEmpty(), qPrintable(read.describe()));
    QCOMPARE(read.given.initialState, std::optional<QString>(dir.filePath("saved.json")));
    QCOMPARE(read.given.finalState, std::optional<QString>(dir.filePath("end.json")));
}

void TestCliOptions::feedAndConstantsInEveryFrontEnd()
{
    QTemporaryDir dir;
    QFile feed(dir.filePath("feed.csv"));
    QVERIFY(feed.open(QIODevice::WriteOnly));
    feed.write("day,Q_in,X_c_in\n0,4,10\n1,6,20\n");
    feed.close();
    const QString path = feed.fileName();
    QJsonValue id;
    const CliOptions requests[] = {
        parse({"--feed", path, "--param", "km_ac=4", "--param", "Y_su=0.2"}).options,
        parseScenarioLine(QStringLiteral(R"({"feed": "%1", "parameters": {"km_ac": 4, "Y_su": "0.2"}})").arg(path).toUtf8(), &id).options,
    };
    const InputsFileRead read = parseInputsText("feed = \"feed.csv\"\n[parameters]\nkm_ac = 4\nY_su = 0.2\n", dir.path());
    QVERIFY2(read.problems.isEmpty(), qPrintable(read.describe()));
    const InputsFileRead again = parseInputsText(inputsFileText(read.values));
    QVERIFY2(again.problems.isEmpty(), qPrintable(again.describe()));
    for (const ParameterValues &parameters : {requests[0].request.parameters, requests[1].request.parameters,
                                              read.values.parameters, again.values.parameters})
        QCOMPARE(parameters, (ParameterValues{{"km_ac", 4}, {"Y_su", 0.2}}));
    for (const QString &file : {requests[0].request.feed->file, requests[1].request.feed->file, read.values.feed, again.values.feed})
        QCOMPARE(QFileInfo(file).canonicalFilePath(), QFileInfo(path).canonicalFilePath());

    QCOMPARE(parse({"--feed", path, "--q-in", "3", "--param", "km_ac=x"}).text,
             "--param km_ac needs a number, not 'x'\n--q-in does not apply with feed: the schedule gives the feed");
    QVERIFY(parseScenarioLine(R"({"parameters": {"km_ac": -1}})", &id).text.startsWith("parameters: model parameter km_ac = -1"));
    QCOMPARE(parseInputsText("substrates = \"s.toml\"\n[parameters]\nY_su = true\n").describe(),
             "line 1, substrates: goes with feed\nline 3, parameters.Y_su: needs a number, not true or false");
    // A constant the configuration replaces is refused; each constant's problem is on its own line.
    const QString replaced = "model parameter km_ac cannot matter: config tpad replaces it by a law of its own";
    QCOMPARE(parse({"--config", "tpad", "--param", "km_ac=4"}).text, "--param " + replaced);
    QCOMPARE(parseScenarioLine(R"({"config": "tpad", "parameters": {"km_ac": 4}})", &id).text, "parameters: " + replaced);
    QCOMPARE(parseInputsText("config = \"tpad\"\n[parameters]\nY_su = 0.2\nkm_ac = 4\n").describe(),
             "line 4, parameters: " + replaced);
    QCOMPARE(parseInputsText("[parameters]\nY_su = 0.2\nkm_acc = 4\nkdis = -1\n").describe(),
             "line 3, parameters: unknown model parameter 'km_acc' (did you mean km_ac?)\n"
             "line 4, parameters: model parameter kdis = -1 must be positive and finite");

    // The engine, like the feed, in every front end.
    QCOMPARE(parse({"--engine", "scripts"}).options.request.engine, Engine::Scripts);
    QCOMPARE(parseScenarioLine(R"({"engine": "scripts"})", &id).options.request.engine, Engine::Scripts);
    QCOMPARE(parseInputsText("engine = \"scripts\"\n").given.engine, std::optional<Engine>(Engine::Scripts));
    QCOMPARE(parse({"--engine", "compiled"}).options.request.engine, Engine::Compiled);
    // A single run keeps native; a batch line, one of many, runs compiled unless it says otherwise.
    QCOMPARE(parse({}).options.request.engine, Engine::Native);
    QCOMPARE(parseScenarioLine("{}", &id).options.request.engine, Engine::Compiled);
    QCOMPARE(parseScenarioLine(R"({"engine": "native"})", &id).options.request.engine, Engine::Native);
    QCOMPARE(parseScenarioLine(R"({"engine": "fast"})", &id).text, "engine: must be native, scripts or compiled, not fast");

    // A lab value set over the substrates file's, read back from the file the window writes, and applied.
    QFile substrates(dir.filePath("s.toml"));
    QVERIFY(substrates.open(QIODevice::WriteOnly));
    substrates.write("[a]\nTS = 10\nVS = 80\nXP = 10\nXL = 4\nXF = 20\nBMP = 0.3\n");
    substrates.close();
    QFile mix(dir.filePath("mix.csv"));
    QVERIFY(mix.open(QIODevice::WriteOnly));
    mix.write("day,a\n0,1\n");
    mix.close();
    const InputsFileRead lab = parseInputsText("feed = \"mix.csv\"\nsubstrates = \"s.toml\"\n[substrate-values]\n\"a.BMP\" = 0.2\n", dir.path());
    QVERIFY2(lab.problems.isEmpty(), qPrintable(lab.describe()));
    const InputsFileRead labAgain = parseInputsText(inputsFileText(lab.values));
    QCOMPARE(labAgain.values.substrateValues, (SubstrateValues{{"a.BMP", 0.2}}));
    const auto inerts = [](const GivenInputs &given) {
        const std::shared_ptr<const FeedSchedule> feed = composeRequest(1, {&given}).request.feed;  // kept past the request
        return feed->values[feed->columns.indexOf("X_I")][0];
    };
    QVERIFY(inerts(labAgain.given) > inerts(parseInputsText("feed = \"mix.csv\"\nsubstrates = \"s.toml\"\n", dir.path()).given));

    // A batch line checked, not run: its inputs are checked as any line's.
    QVERIFY(parseScenarioLine(R"({"check": true, "t-end": 5})", &id).options.checkOnly);
    QVERIFY(!parseScenarioLine(R"({"t-end": 5})", &id).options.checkOnly);
    QCOMPARE(parseScenarioLine(R"({"check": 1, "v1": -1})", &id).text,
             "check: needs true or false, not a number; v1: must be greater than 0 (got -1 m3)");
}

void TestCliOptions::inputFilesRefusedBeforeReading_data()
{
    QTest::addColumn<QString>("file");  // written in a fresh folder, the working one, beside good.csv
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("refusal");  // a part of the message
    const QByteArray deep = "a" + QByteArray(".a").repeated(50000) + " = 1\n";
    const QByteArray feed = "day,Q_in,X_c_in\n0,5,10\n";
    const QString tooDeep = "deep.toml:1:1: keys, tables and lists nested more than 32 deep";
    // The TOML library would overflow the stack on a key of 50 000 parts, whichever reader reads it.
    QTest::newRow("deep feed") << "deep.toml" << deep << QStringList{"--feed", "deep.toml"} << tooDeep;
    QTest::newRow("deep substrates") << "deep.toml" << deep << QStringList{"--feed", "good.csv", "--substrates", "deep.toml"} << tooDeep;
    QTest::newRow("deep feed of an inputs file") << "deep.toml" << deep << QStringList{"--inputs", "in.toml"} << tooDeep;
    // Refused before reading: nothing blocks, nothing fills the memory.
    QTest::newRow("device as feed") << "" << QByteArray() << QStringList{"--feed", "/dev/zero"} << "--feed zero: is not a regular file";
    QTest::newRow("device as substrates") << "" << QByteArray() << QStringList{"--feed", "good.csv", "--substrates", "/dev/zero"}
                                          << "--substrates zero: is not a regular file";
    for (const char *option : {"--feed", "--substrates", "--inputs", "--initial-state"})
        QTest::newRow(qPrintable(QStringLiteral("pipe as %1").arg(option))) << "" << QByteArray()
                                                                            << QStringList{"--feed", "good.csv", option, "pipe"}
                                                                            << "pipe: is not a regular file";
    QTest::newRow("folder") << "" << QByteArray() << QStringList{"--feed", "/"} << "--feed /: is a folder, not a file";
    QTest::newRow("feed over 64 MiB") << "big.csv" << QByteArray() << QStringList{"--feed", "big.csv"} << "big.csv: is larger than 64 MiB";
    QTest::newRow("inputs over 1 MiB") << "big.toml" << QByteArray() << QStringList{"--inputs", "big.toml"} << "big.toml: is larger than 1 MiB";
    // Text the messages could not carry.
    QTest::newRow("NUL byte") << "nul.csv" << QByteArray("day,Q_in,X_c_in\n0,1\0,10\n", 25) << QStringList{"--feed", "nul.csv"}
                              << "nul.csv: holds a NUL byte at line 2, column 4";
    QTest::newRow("UTF-16") << "wide.csv" << QByteArray("\xFF\xFE" "d\0a\0y\0", 8) << QStringList{"--feed", "wide.csv"}
                            << "wide.csv: is UTF-16 text: save it as UTF-8";
    QTest::newRow("Latin-1") << "latin.csv" << QByteArray("day,Q_in,X_c_in\n0,1,1\xE9" "0\n") << QStringList{"--feed", "latin.csv"}
                             << "latin.csv: is not UTF-8 text (line 2, column 6)";
    // A column given more than once, told once.
    QTest::newRow("8000 copies") << "copies.csv" << "day,Q_in" + QByteArray(",X_c_in").repeated(8000) + "\n0,1" + QByteArray(",10").repeated(8000) + "\n"
                                 << QStringList{"--feed", "copies.csv"} << "copies.csv:1:10: column X_c_in is given 8000 times";
    QTest::newRow("TOML row with and without unit") << "twice.toml" << QByteArray("[[feed]]\nday = 0\nQ_in = 5\nX_c_in = 10\n\"X_c_in [kgCOD/m3]\" = 100\n")
                                                    << QStringList{"--feed", "twice.toml"} << "twice.toml:4:1: column X_c_in is given twice";
    QTest::newRow("TOML columns with and without unit") << "twice.toml" << QByteArray("day = [0, 1]\nQ_in = [1, 1]\n\"Q_in [m3/d]\" = [1]\nX_c_in = [1, 1]\n")
                                                        << QStringList{"--feed", "twice.toml"} << "twice.toml:2:1: column Q_in is given twice";
    QTest::newRow("day and day [d]") << "twice.toml" << QByteArray("[[feed]]\nday = 0\n\"day [d]\" = 0\nQ_in = 5\nX_c_in = 10\n")
                                     << QStringList{"--feed", "twice.toml"} << "column day is given twice";
    // What would be ignored while recorded.
    QTest::newRow("flow beside the feed of an inputs file") << "in.toml" << QByteArray("feed = \"good.csv\"\n")
                                                            << QStringList{"--inputs", "in.toml", "--q-in", "6", "--x-c-in", "50"}
                                                            << "--q-in does not apply with feed";
    QTest::newRow("constant twice") << "" << QByteArray() << QStringList{"--param", "km_ac=-1", "--param", "km_ac=7"}
                                    << "--param km_ac is given twice";
    QTest::newRow("constant twice in a file") << "in.toml" << QByteArray("\"parameters.km_ac\" = 5\n[parameters]\nkm_ac = 7\n")
                                              << QStringList{"--inputs", "in.toml"} << "line 1, parameters.km_ac: is given twice (also on line 3)";
    // Dates.
    QTest::newRow("not a date") << "dates.csv" << QByteArray("date,Q_in,X_c_in\n2026-03-01,1,10\n2026-02-30,1,10\n")
                                << QStringList{"--feed", "dates.csv"} << "dates.csv:3:1: '2026-02-30' is not a date (YYYY-MM-DD)";
    QTest::newRow("day 0 unknown") << "dates.toml" << QByteArray("start = 2026-03-01\ndate = [2026-03-02]\nQ_in = [1]\nX_c_in = [10]\n")
                                   << QStringList{"--feed", "dates.toml"} << "the first date, 2026-03-02, comes after start 2026-03-01";
    QTest::newRow("day and date") << "dates.csv" << QByteArray("day,date,Q_in,X_c_in\n0,2026-03-01,1,10\n")
                                  << QStringList{"--feed", "dates.csv"} << "a day column or a date column, not both";
    for (const char *date : {"2026-03-02T06:00", "2026-03-03T23:30-05:00", "2026/03/05", "2026-03-06xyz", "2026-3-07"})
        QTest::newRow(date) << "dates.csv" << QByteArray("date,Q_in,X_c_in\n2026-03-01,1,10\n") + date + ",1,10\n"
                            << QStringList{"--feed", "dates.csv"} << QStringLiteral("dates.csv:3:1: '%1' is not a date (YYYY-MM-DD)").arg(date);
    QTest::newRow("TOML date-time") << "dates.toml" << QByteArray("date = [2026-03-01, 2026-03-02T06:00:00]\nQ_in = [1, 1]\nX_c_in = [10, 10]\n")
                                    << QStringList{"--feed", "dates.toml"} << "dates.toml:1:21: not a date (YYYY-MM-DD)";
    QTest::newRow("dates out of order") << "dates.csv" << QByteArray("date,Q_in,X_c_in\n2026-03-05,1,10\n2026-03-01,2,10\n2026-03-10,3,10\n")
                                        << QStringList{"--feed", "dates.csv"} << "dates.csv:3:1: 2026-03-01 does not come after 2026-03-05";
    QTest::newRow("first date twice") << "dates.csv" << QByteArray("date,Q_in,X_c_in\n2026-03-01,1,10\n2026-03-01,2,10\n")
                                      << QStringList{"--feed", "dates.csv"} << "dates.csv:3:1: 2026-03-01 does not come after 2026-03-01";
    // Lab values that cannot be meant.
    const QByteArray lab = "[a]\nTS = 1\nVS = 80\nXP = 10\nXL = 4\nXF = 20\nBMP = 0.3\n";
    const QStringList mix{"--feed", "mix.csv", "--substrates", "s.toml"};
    QTest::newRow("ammonium beyond the solids") << "s.toml" << lab + "NH4_N = 1000\n" << mix
                                                << "NH4_N (1000 g/kg) is above the dry matter that carries it (TS 1 % = 10 g/kg)";
    QTest::newRow("solids beyond the mass") << "s.toml" << QByteArray(lab).replace("TS = 1\n", "TS = 100.0001\n") << mix
                                            << "TS must be from 0 to 100 % of fresh mass (got 100.0001)";
    QTest::newRow("BMP and share set by the run") << "s.toml" << lab
                                                  << mix + QStringList{"--substrate-value", "a.BMP=0.2", "--substrate-value", "a.degradable_share=0.5"}
                                                  << "BMP and degradable_share both set by the run: one or the other";
    // State files: every state of the model, once, a number from 0 to the most a liquid holds.
    const auto state = [](const QString &without, const QByteArray &added) {
        QByteArrayList values;
        for (const QString &name : stateNames())
            if (name != without)
                values << "\"" + name.toUtf8() + "\": 0.1";
        if (!added.isEmpty())
            values << added;
        return R"({"configuration": "ssad", "reactors": [{)" + values.join(", ") + "}]}";
    };
    QByteArrayList junk;
    for (int i = 0; i < 2000; ++i)
        junk << "\"k" + QByteArray::number(i) + "\": 0";
    const std::tuple<const char *, QByteArray, const char *> states[] = {
        {"state missing", state("S_su", {}), "st.json: reactor 1 lacks S_su"},
        {"state misspelt", state({}, "\"S_foo\": 0.1"), "st.json: S_foo of reactor 1 is not a state of the model"},
        {"state twice", state({}, "\"S_ac\": 0.2"), "st.json: S_ac is given twice"},
        {"state beyond any liquid", state("S_ac", "\"S_ac\": 1e300"), "st.json: S_ac of reactor 1 must be from 0 to 10000 (got 1e+300)"},
        {"state negative", state("S_ac", "\"S_ac\": -1"), "st.json: S_ac of reactor 1 must be from 0 to 10000 (got -1)"},
        {"state of junk keys", state({}, junk.join(", ")), "st.json: not a state file: a table of more than 1000 keys"},
    };
    for (const auto &[name, text, refusal] : states)
        QTest::newRow(name) << "st.json" << text << QStringList{"--initial-state", "st.json"} << refusal;
}

// Every file a run reads goes through one reader that refuses what it must not read, and every
// problem of a feed is told once, with its place.
void TestCliOptions::inputFilesRefusedBeforeReading()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, arguments);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString working = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const auto write = [](const QString &name, const QByteArray &bytes) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    };
    write("good.csv", "day,Q_in,X_c_in\n0,5,10\n");
    write("in.toml", "feed = \"deep.toml\"\n");
    write("mix.csv", "day,a\n0,1\n");
    QCOMPARE(::mkfifo("pipe", 0600), 0);
    if (!file.isEmpty())
        write(file, text);
    if (file.startsWith("big"))
        QVERIFY(QFile::resize(file, (65 << 20)));  // sparse: refused by its size, never read
    const ParsedCommandLine parsed = parse(arguments);
    QDir::setCurrent(working);
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Refused);
    QVERIFY2(parsed.text.contains(refusal), qPrintable(parsed.text));
    QVERIFY(!parsed.text.contains(QChar(0)));
}

// Names as given, spaces and all, whatever their encoding; days as written, dates from the start.
void TestCliOptions::feedFilesReadAsGiven()
{
    QTemporaryDir dir;
    const auto write = [&](const QByteArray &name, const QByteArray &bytes) {
        QFile f(fileNameFromBytes(dir.filePath(name).toUtf8()));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    };
    const auto days = [&](const QByteArray &name) {
        const ParsedCommandLine parsed = parse({"--feed", fileNameFromBytes(dir.filePath(name).toUtf8())});
        return parsed.options.request.feed ? parsed.options.request.feed->values.front() : QList<double>{-1};
    };
    write(" lead.csv", "day,Q_in,X_c_in\n0,5,10\n");
    QCOMPARE(days(" lead.csv"), QList<double>{0});
    write("caf\xE9.csv", "day,Q_in,X_c_in\n0,5,10\n");  // Latin-1
    QCOMPARE(days("caf\xE9.csv"), QList<double>{0});
    write("huge.toml", "day = [0, 9223372036854775807]\nQ_in = [1, 1]\nX_c_in = [10, 10]\n");
    QCOMPARE(days("huge.toml"), (QList<double>{0, 9223372036854775807.0}));
    // A CSV's day 0 is its first date; rows before a TOML file's start give way to the one in force on it.
    write("dates.csv", "date,Q_in,X_c_in\n2026-03-01,4,10\n2026-03-03,5,10\n2026-04-01,6,10\n");
    QCOMPARE(days("dates.csv"), (QList<double>{0, 2, 31}));
    write("dates.toml", "start = 2026-03-01\n[[feed]]\ndate = 2026-02-20\nQ_in = 4\nX_c_in = 10\n"
                        "[[feed]]\ndate = \"2026-02-27\"\nQ_in = 5\nX_c_in = 10\n[[feed]]\ndate = 2026-03-04\nQ_in = 6\nX_c_in = 10\n");
    QCOMPARE(days("dates.toml"), (QList<double>{0, 3}));
}

void TestCliOptions::phDecimalsInEveryFrontEnd()
{
    QJsonValue id;
    for (const char *ph : {"7.123", "0.5", "13"}) {
        QVERIFY2(parse({"--ph", ph}).outcome == ParsedCommandLine::Outcome::Refused, ph);
        QVERIFY2(parseScenarioLine(QByteArray("{\"ph\": ") + ph + "}", &id).outcome == ParsedCommandLine::Outcome::Refused, ph);
        QVERIFY2(!parseInputsText(QByteArray("ph = ") + ph + "\n").problems.isEmpty(), ph);
    }
    for (const char *ph : {"7.12", "12.99", "1"}) {
        QVERIFY2(parse({"--ph", ph}).outcome == ParsedCommandLine::Outcome::Run, ph);
        QVERIFY2(parseScenarioLine(QByteArray("{\"ph\": ") + ph + "}", &id).outcome == ParsedCommandLine::Outcome::Run, ph);
        QVERIFY2(parseInputsText(QByteArray("ph = ") + ph + "\n").problems.isEmpty(), ph);
    }
}

void TestCliOptions::helpListsOptionsWithUnitsAndDefaults()
{
    const ParsedCommandLine parsed = parse({"--help"});
    QCOMPARE(parsed.outcome, ParsedCommandLine::Outcome::Help);
    const QString help = parsed.text.simplified();
    for (const char *expected :
         {"--config <ssad|tsad|tpad|pomp>", "--q-in <value> Input biomass flux [m3/d]:", "(default 5.31)",
          "[kgCOD/m3]", "(default 10)", "--t-end <value> Simulation timespan [d]:", "(default 50)", "--f-pr", "--f-li",
          "--f-ch", "(default 0.3)", "--ph <free|pH>", "(default 7.0)", "--unit <K|C>", "--t1", "--t2",
          "(default 308 K)", "(default 1.013; 2.026 for tsad)", "--p2", "--v1", "--v2", "(default 33)", "--t-sr",
          "--mix-i <value> Mixing interval [min], pomp only:", "(default 10)", "--describe",
          "--out", "--csv", "--plots", "--quiet", "--stats", "130"})
        QVERIFY2(help.contains(QLatin1String(expected)), expected);
}

void TestCliOptions::progressLineText()
{
    // The first report has nothing to extrapolate from.
    QCOMPARE(ProgressLine::text(0, 0, 50), QStringLiteral("  0 %  day 0 of 50"));
    // A quarter of 50 days in 30 s leaves 90 s; the day is rounded up.
    QCOMPARE(ProgressLine::text(25, 30000, 50), QStringLiteral(" 25 %  day 13 of 50  about 00:01:30 remaining"));
    // Hours are not wrapped into days.
    QVERIFY(ProgressLine::text(1, 3600 * 1000 * 2, 50).endsWith(QStringLiteral("about 198:00:00 remaining")));
    QCOMPARE(ProgressLine::text(100, 5000, 7.5), QStringLiteral("100 %  day 8 of 7.5"));
    // Less than a second to go is not worth a clock.
    QCOMPARE(ProgressLine::text(99, 50000, 50), QStringLiteral(" 99 %  day 50 of 50"));
    // A run continued from a state of day 60: half of it reaches day 65.
    QCOMPARE(ProgressLine::text(50, 0, 70, 60), QStringLiteral(" 50 %  day 65 of 70"));
}

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_clioptions.moc"
