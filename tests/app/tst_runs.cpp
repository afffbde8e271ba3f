// Runs from the window to the workbook: each configuration started from its page with the real
// scripts in the embedded interpreter, progress, cancel, refusals, failed and stopped runs,
// unsaved workbooks and "Open full results". Every test works in a temporary directory, where
// the workbooks land.

#include "mainwindow.h"
#include "stabilitydialog.h"
#include "windowprobe.h"
#include "../run/standinmodel.h"

#include <datafiles.h>
#include <results.h>
#include <workers.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <qcustomplot.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int runTimeoutMs = 60'000;

struct Message {
    QString title, text, page;
};

// Answers every message box the window opens, remembering what it said and which page
// was showing behind it.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(QStackedWidget *pages)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, pages] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen.append({box->windowTitle(), box->text(), pages->currentWidget()->objectName()});
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer.start(10);
    }
    QList<Message> seen;

private:
    QTimer timer;
};

// Receives what the window hands to the desktop to open.
class DesktopOpener : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};


}  // namespace

class RunsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> workDir;
    QString startDir;
    QByteArray home;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MessageBoxWatcher> messages;

    QStackedWidget *pages() { return widget<QStackedWidget>(window.get(), "stackedWidget"); }
    QString currentPage() { return pages()->currentWidget()->objectName(); }
    QLabel *label(const char *name) { return widget<QLabel>(window.get(), name); }
    bool menuEnabled() { return window->menuBar()->isEnabled(); }
    QRadioButton *radio(const char *name) { return widget<QRadioButton>(window.get(), name); }
    QCustomPlot *plot(const char *name) { return widget<QCustomPlot>(window.get(), name); }
    const Workers &workers() { return window->simulationWorkers(); }

    QStringList workbooks() { return QDir(workDir->path()).entryList({"results_*.xlsx"}, QDir::Files, QDir::Name); }

    // From page 0 through the configuration's page to the progress page.
    void start(const char *configuration, const char *runButton)
    {
        radio(configuration)->setChecked(true);
        click(window.get(), "pushButton_C1");
        click(window.get(), runButton);
    }

    QJsonObject summary(const QString &workbook)
    {
        QProcess python;
        python.start(PYTHON_EXECUTABLE, {WORKBOOK_SUMMARY_SCRIPT, workbook});
        if (!python.waitForFinished(runTimeoutMs) || python.exitCode() != 0)
            qWarning("%s", python.readAllStandardError().constData());
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    static QStringList legend(QCustomPlot *plot)
    {
        QStringList names;
        for (int i = 0; i < plot->graphCount(); ++i)
            names << plot->graph(i)->name();
        return names;
    }

    // The largest normal flow of all rows but the last, as the flow axis shows it.
    static double peakBeforeLastRow(const ResultRows &table)
    {
        double peak = table.front()[2];
        for (std::size_t i = 0; i + 1 < table.size(); ++i)
            peak = std::max(peak, table[i][2]);
        return peak;
    }

private slots:
    void initTestCase()
    {
        startDir = QDir::currentPath();
        home = qgetenv("HOME");
        qunsetenv("XDG_CONFIG_HOME");  // the Documents folder follows HOME alone
    }

    void init()
    {
        workDir = std::make_unique<QTemporaryDir>();
        QVERIFY(workDir->isValid());
        QVERIFY(QDir::setCurrent(workDir->path()));
        results::clearSeries();
        results::last_workbook.clear();
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        messages = std::make_unique<MessageBoxWatcher>(pages());
    }

    void cleanup()
    {
        window.reset();  // waits for a run still leaving the interpreter
        messages.reset();
        QDir::setCurrent(startDir);
        qputenv("HOME", home);
        workDir.reset();
    }

    void progressLines()
    {
        setText(window.get(), "lineEdit_t_end", "50");
        auto *day = widget<QLabel>(window.get(), "label_simtime");
        auto *remaining = widget<QLabel>(window.get(), "label_remtime");
        const QString before = remaining->text();
        emit workers().ssad->inprogress(0);
        QCOMPARE(day->text(), QStringLiteral("Simulating day: 0 of total 50"));
        emit workers().tpad->inprogress(25);
        QCOMPARE(day->text(), QStringLiteral("Simulating day: 13 of total 50"));
        QCOMPARE(remaining->text(), before);  // a moment after the first update: too little to tell
    }

    void singleStageRun()
    {
        setText(window.get(), "lineEdit_t_end", "1");
        start("radioButton_SSAD", "pushButton_C2");
        QCOMPARE(currentPage(), QStringLiteral("page_Loading"));
        QVERIFY(!menuEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QVERIFY(menuEnabled());
        QVERIFY(messages->seen.isEmpty());
        QCOMPARE(widget<QLabel>(window.get(), "label_simtime")->text(), QStringLiteral("Simulating day: 1 of total 1"));
        QVERIFY(widget<QProgressBar>(window.get(), "progressBar")->value() >= 99);  // 0.99999... d of 1 reads 99

        const int n = calc_SSAD::results_rows;
        QCOMPARE(n, 11);
        for (const QVector<double> *series : {&results::plot_t_R1, &results::plot_flow_R1, &results::plot_ch4_R1,
                                              &results::plot_co2_R1, &results::plot_h2_R1, &results::plot_h2o_R1})
            QCOMPARE(series->size(), n);
        QCOMPARE(results::plot_t_R1.front(), 0.0);
        QCOMPARE(results::plot_t_R1.back(), 1.0);
        QVERIFY(results::plot_t_R2.isEmpty());
        QCOMPARE(results::peak_flow_R1, peakBeforeLastRow(calc_SSAD::results_R1));

        QCOMPARE(plot("customPlot")->graphCount(), 1);
        QCOMPARE(plot("customPlot")->graph(0)->data()->size(), n);
        QCOMPARE(plot("customPlot")->xAxis->range(), QCPRange(0, 1));
        QCOMPARE(plot("customPlot")->yAxis->range().upper, results::peak_flow_R1);
        QCOMPARE(legend(plot("customPlot_2")), (QStringList{"CH4", "CO2", "H2", "H2O"}));
        QVERIFY(plot("customPlot_2")->legend->visible());
        const QString summaryLine = widget<QLabel>(window.get(), "label_summary")->text();
        QVERIFY2(summaryLine.startsWith("Methane ") && summaryLine.contains(" Nm3 over 1 d · CH4 ") &&
                     summaryLine.contains("\nFOS/TAC "),
                 qPrintable(summaryLine));
        // The stability plot: FOS/TAC, its two thresholds, pH and its alarm, over every row.
        const StabilityDialog stability(1, 1.0);
        const auto *fosTac = stability.findChild<QCustomPlot *>(QStringLiteral("customPlot_stability_1"));
        QCOMPARE(fosTac->graphCount(), 5);
        QCOMPARE(fosTac->graph(0)->data()->size(), n);
        QCOMPARE(fosTac->graph(3)->name(), QStringLiteral("pH"));

        QCOMPARE(workbooks().size(), 1);
        QCOMPARE(results::last_workbook, QDir(workDir->path()).absoluteFilePath(workbooks().front()));
        const QJsonObject book = summary(results::last_workbook);
        QCOMPARE(book["sheets"].toVariant().toStringList(),
                 (QStringList{"Basic", "Gas and Soluble", "Insoluble", "Ions", "CONFIGURATION", "SUMMARY", "PARAMETERS",
                              "OPERATION"}));
        QCOMPARE(book["active"].toString(), QStringLiteral("Basic"));
        const QJsonObject lastRow = book["lastRow"].toObject();
        QCOMPARE(lastRow["Basic"].toInt(), 4 + n);
        QCOMPARE(lastRow["Gas and Soluble"].toInt(), 4 + n - 1);
        QCOMPARE(lastRow["Insoluble"].toInt(), 4 + n - 1);
        QCOMPARE(lastRow["Ions"].toInt(), 4 + n - 1);
        QCOMPARE(book["lastColumn"].toObject()["Basic"].toInt(), 11);
        QCOMPARE(book["firstTime"].toDouble(), 0.0);
        const QJsonObject grid = book["grid"].toObject();
        QCOMPARE(grid["B12"].toString(), QStringLiteral("SSAD"));
        QCOMPARE(grid["B11"].toString(), QStringLiteral("Manual"));
        QCOMPARE(grid["C11"].toString(), QStringLiteral("7"));
        QCOMPARE(grid["G3"].toString(), QStringLiteral("308"));
        for (const char *empty : {"G4", "G6", "G8", "C13", "C14"})
            QCOMPARE(grid[empty].toString(), QString());
    }

    // A schedule chosen on page 0 is what the run takes, recorded in the workbook; what was left
    // in the feed fields it replaces does not hold the run back.
    void scheduleRun()
    {
        const QString schedule = workDir->filePath("plant.csv");
        QFile file(schedule);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("day [d],Q_in [m3/d],X_c_in [kgCOD/m3]\n0,2,10\n0.5,4,12\n");
        file.close();
        setText(window.get(), "lineEdit_final_Q_in", "");
        QCOMPARE(window->chooseFeedSchedule(schedule), QString());
        setText(window.get(), "lineEdit_t_end", "1");
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QVERIFY(messages->seen.isEmpty());
        const QJsonObject book = summary(results::last_workbook);
        QCOMPARE(book["sheets"].toVariant().toStringList().mid(5), (QStringList{"SUMMARY", "PARAMETERS", "FEED", "OPERATION"}));
        QCOMPARE(book["lastColumn"].toObject()["FEED"].toInt(), 3);
        QCOMPARE(book["lastRow"].toObject()["FEED"].toInt(), 3);  // the titles and both rows
    }

    // A run from the steady state offers its final state; saved, it starts the next run, and an
    // inputs file keeps the choice. A state of another configuration is refused before a run.
    void startStates()
    {
        QCOMPARE(window->chooseStart(StartState::Kind::Steady), QString());
        setText(window.get(), "lineEdit_t_end", "0.2");
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QVERIFY(window->findChild<QAction *>("actionSave_final_state")->isEnabled());
        const QString saved = workDir->filePath("state.json");
        QCOMPARE(window->saveFinalStateTo(saved), QString());
        QCOMPARE(window->chooseStart(StartState::Kind::Saved, saved), QString());
        QCOMPARE(window->findChild<QComboBox *>("comboBox_start")->currentText(), QStringLiteral("Saved state: state.json"));
        setText(window.get(), "lineEdit_t_end", "0.4");  // a run from the state goes on from its day 0.2
        const QString inputs = workDir->filePath("inputs.toml");
        QCOMPARE(window->saveInputsTo(inputs), QString());
        QCOMPARE(window->chooseStart(StartState::Kind::StartUp), QString());
        QCOMPARE(window->openInputsFrom(inputs), QString());
        QCOMPARE(window->startState().file, saved);
        QVERIFY(messages->seen.isEmpty());
        start("radioButton_TSAD", "pushButton_C3");
        QTRY_VERIFY(!messages->seen.isEmpty());
        QVERIFY2(messages->seen.last().text.contains("a state of configuration ssad, not of tsad"),
                 qPrintable(messages->seen.last().text));
    }

    // Degrees Celsius on the two-stage page reach the worker in kelvin, whatever the
    // single-stage page's unit; a new run's results open on reactor 1, whichever was viewed last.
    void twoStageRun()
    {
        setText(window.get(), "lineEdit_t_end", "0.5");
        radio("radioButton_UnitC_ts")->setChecked(true);
        setText(window.get(), "lineEdit_T_1_ts", "35");
        click(window.get(), "pushButton_toR2");
        start("radioButton_TSAD", "pushButton_C3");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_2s"), runTimeoutMs);
        QVERIFY(messages->seen.isEmpty());
        QCOMPARE(calc_TSAD::run_params[10], 308.15);
        QCOMPARE(widget<QStackedWidget>(window.get(), "stackedWidget_2")->currentIndex(), 0);

        const int n = calc_TSAD::results_rows;
        QCOMPARE(n, 6);
        QCOMPARE(results::plot_t_R2.size(), n);
        QCOMPARE(results::plot_h2o_R2.size(), n);
        QCOMPARE(results::peak_flow_R2, peakBeforeLastRow(calc_TSAD::results_R2));
        QCOMPARE(plot("customPlot")->graphCount(), 0);
        QCOMPARE(plot("customPlot_3")->graphCount(), 1);
        QCOMPARE(plot("customPlot_5")->graphCount(), 1);
        QCOMPARE(plot("customPlot_5")->yAxis->range().upper, results::peak_flow_R2);
        QCOMPARE(legend(plot("customPlot_4")), (QStringList{"CH4", "CO2", "H2", "H2O"}));
        QCOMPARE(legend(plot("customPlot_6")), (QStringList{"CH4", "CO2", "H2", "H2O"}));

        QCOMPARE(workbooks().size(), 1);
        const QJsonObject book = summary(results::last_workbook);
        QCOMPARE(book["reactor2Title"].toString(), QStringLiteral("REACTOR 2 OUTPUT"));
        QCOMPARE(book["lastColumn"].toObject()["Basic"].toInt(), 23);
        QCOMPARE(book["lastRow"].toObject()["Basic"].toInt(), 4 + n);
        const QJsonObject grid = book["grid"].toObject();
        QCOMPARE(grid["B12"].toString(), QStringLiteral("TSAD"));
        QCOMPARE(grid["G3"].toString(), QStringLiteral("308.15"));
        QCOMPARE(grid["G6"].toString(), QStringLiteral("1.013"));
        QCOMPARE(grid["G8"].toString(), QStringLiteral("33"));
        QCOMPARE(grid["G4"].toString(), QString());
    }

    void temperaturePhasedAndPumpMixedRuns_data()
    {
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("runButton");
        QTest::addColumn<QString>("resultsPage");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("filledCell");
        QTest::addColumn<QString>("filledText");
        QTest::newRow("temperature-phased") << "radioButton_TPAD" << "pushButton_C4" << "page_Results_2s" << "TPAD"
                                            << "G4" << "308";
        QTest::newRow("pump-mixed") << "radioButton_POMP" << "pushButton_C5" << "page_Results_1s" << "POMP"
                                    << "C14" << "10";
    }

    // Also the free pH mode: the manual value is passed all the same.
    void temperaturePhasedAndPumpMixedRuns()
    {
        QFETCH(QString, configuration);
        QFETCH(QString, runButton);
        QFETCH(QString, resultsPage);
        QFETCH(QString, code);
        QFETCH(QString, filledCell);
        QFETCH(QString, filledText);
        setText(window.get(), "lineEdit_t_end", "0.5");
        radio("radioButton_free")->setChecked(true);
        start(qPrintable(configuration), qPrintable(runButton));
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), resultsPage, runTimeoutMs);
        QVERIFY(messages->seen.isEmpty());
        const std::vector<double> &params = code == "TPAD" ? calc_TPAD::run_params : calc_POMP::run_params;
        QCOMPARE(params[4], 1.0);
        QCOMPARE(params[5], 1e-7);
        QCOMPARE(results::plot_t_R1.size(), 6);
        QCOMPARE(results::plot_t_R2.size(), code == "TPAD" ? 6 : 0);

        QCOMPARE(workbooks().size(), 1);
        const QJsonObject grid = summary(results::last_workbook)["grid"].toObject();
        QCOMPARE(grid["B12"].toString(), code);
        QCOMPARE(grid["B11"].toString(), QStringLiteral("Free"));
        QCOMPARE(grid["C11"].toString(), QString());
        QCOMPARE(grid[filledCell].toString(), filledText);
    }

    // Cancel goes back at once; the cancelled run shows nothing later, and the next run, a batch
    // digester without feed, starts right away and measures only itself.
    void cancelAndRunAgain()
    {
        setText(window.get(), "lineEdit_t_end", "50");
        start("radioButton_SSAD", "pushButton_C2");
        click(window.get(), "pushButton_Cancel");
        QCOMPARE(currentPage(), QStringLiteral("page_SSAD"));
        QVERIFY(menuEnabled());
        QCOMPARE(workers().tsad->w_closed.load(), 1);
        QTest::qWait(1500);
        QCOMPARE(currentPage(), QStringLiteral("page_SSAD"));
        QVERIFY(workbooks().isEmpty());
        QVERIFY(results::plot_t_R1.isEmpty());

        setText(window.get(), "lineEdit_t_end", "0.5");
        setText(window.get(), "lineEdit_final_Q_in", "0");
        click(window.get(), "pushButton_C2");
        QCOMPARE(currentPage(), QStringLiteral("page_Loading"));
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QCOMPARE(results::plot_t_R1.size(), 6);
        QCOMPARE(workbooks().size(), 1);
        QCOMPARE(calc_SSAD::run_params[0], 0.0);
    }

    // Each run refines, writes and plots once, however many runs its worker did before; a new
    // simulation starts from empty series, and another configuration's plots are cleared.
    void runsInARow()
    {
        QStringList written;
        for (int run = 0; run < 2; ++run) {
            setText(window.get(), "lineEdit_t_end", "0.5");
            start("radioButton_SSAD", "pushButton_C2");
            QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
            QCOMPARE(results::plot_t_R1.size(), 6);
            QCOMPARE(plot("customPlot")->graphCount(), 1);
            QCOMPARE(plot("customPlot_2")->graphCount(), 4);
            QCOMPARE(workbooks().size(), run + 1);
            QVERIFY(!written.contains(results::last_workbook));
            written << results::last_workbook;
            if (run == 1) {
                // The first run's curves show behind the second's only while asked for.
                auto *previous = widget<QCheckBox>(window.get(), "checkBox_previous");
                previous->setChecked(true);
                QCOMPARE(plot("customPlot")->graphCount(), 2);
                QCOMPARE(plot("customPlot_2")->graphCount(), 8);
                QCOMPARE(legend(plot("customPlot_2")).mid(0, 5), QStringList({"CH4", "CO2", "H2", "H2O", "previous run"}));
                QCOMPARE(plot("customPlot_2")->legend->itemCount(), 5);
                QCOMPARE(plot("customPlot_2")->graph(4)->data()->size(), 6);
                previous->setChecked(false);
                QCOMPARE(plot("customPlot")->graphCount(), 1);
                QCOMPARE(plot("customPlot_2")->graphCount(), 4);
                previous->setChecked(true);
                QVERIFY(widget<QCheckBox>(window.get(), "checkBox_previous_2")->isChecked());
            }
            widget<QAction>(window.get(), "actionNew_Simulation")->trigger();
            QCOMPARE(currentPage(), QStringLiteral("page"));
            QVERIFY(results::plot_t_R1.isEmpty());
            QVERIFY(results::plot_flow_R1.isEmpty());
        }
        setText(window.get(), "lineEdit_t_end", "0.5");
        start("radioButton_TSAD", "pushButton_C3");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_2s"), runTimeoutMs);
        QCOMPARE(plot("customPlot")->graphCount(), 0);
        QCOMPARE(plot("customPlot_2")->graphCount(), 0);
        // Still asked for, but the previous run had one reactor: nothing behind.
        QCOMPARE(plot("customPlot_4")->graphCount(), 4);
        QCOMPARE(plot("customPlot_5")->graphCount(), 1);
        QCOMPARE(workbooks().size(), 3);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("runButton");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("no volume") << "radioButton_SSAD" << "page_SSAD" << "pushButton_C2" << "lineEdit_V_t1" << "0"
                                   << "Reactor volume must be greater than 0 (got 0 m3) - please revise the value.";
        QTest::newRow("no first volume, two-stage")
            << "radioButton_TSAD" << "page_TSAD" << "pushButton_C3" << "lineEdit_V_t1_ts" << "0"
            << "R1 volume must be greater than 0 (got 0 m3) - please revise the value.";
        QTest::newRow("no pressure, pump-mixed")
            << "radioButton_POMP" << "page_POMP" << "pushButton_C5" << "lineEdit_P_atm1_pm" << "0.0"
            << "Pressure must be greater than 0 (got 0 bar) - please revise the value.";
        QTest::newRow("empty second pressure")
            << "radioButton_TSAD" << "page_TSAD" << "pushButton_C3" << "lineEdit_P_atm2_ts" << ""
            << "Pressure in R2 must be greater than 0 (got 0 bar) - please revise the value.";
        QTest::newRow("second temperature of 0 K")
            << "radioButton_TPAD" << "page_TPAD" << "pushButton_C4" << "lineEdit_T_2_tp" << "0"
            << "Temperature in R2 must be from 273.15 to 373.15 K (got 0 K) - please revise the value.";
        QTest::newRow("timespan under one output step")
            << "radioButton_SSAD" << "page_SSAD" << "pushButton_C2" << "lineEdit_t_end" << "0.05"
            << "Smiulation timespan must be from 0.1 to 104857 d (got 0.05 d) - please revise the value.";
        QTest::newRow("pump-mixed without feed")
            << "radioButton_POMP" << "page_POMP" << "pushButton_C5" << "lineEdit_final_Q_in" << "0"
            << "Input biomass flux must be greater than 0 for config pomp (got 0 m3/d) - please revise the value.";
        // An empty field would run the model at pH 0.
        QTest::newRow("empty manual pH")
            << "radioButton_SSAD" << "page_SSAD" << "pushButton_C2" << "lineEdit_manual_ph" << ""
            << "The manual pH must be from 1 to 12.99 (got 0) - please revise the value.";
        QTest::newRow("frozen digester")
            << "radioButton_SSAD" << "page_SSAD" << "pushButton_C2" << "lineEdit_T_1" << "200"
            << "Temperature must be from 273.15 to 373.15 K (got 200 K) - please revise the value.";
        QTest::newRow("longer than a sheet")
            << "radioButton_SSAD" << "page_SSAD" << "pushButton_C2" << "lineEdit_t_end" << "200000"
            << "Smiulation timespan must be from 0.1 to 104857 d (got 200000 d) - please revise the value.";
    }

    void refusals()
    {
        QFETCH(QString, configuration);
        QFETCH(QString, page);
        QFETCH(QString, runButton);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        // A run start would clear its worker's flag.
        for (SimulationWorker *worker : {static_cast<SimulationWorker *>(workers().ssad),
                                         static_cast<SimulationWorker *>(workers().tsad),
                                         static_cast<SimulationWorker *>(workers().tpad),
                                         static_cast<SimulationWorker *>(workers().pomp)})
            worker->w_closed = 1;
        setText(window.get(), qPrintable(field), value);
        start(qPrintable(configuration), qPrintable(runButton));
        QCOMPARE(messages->seen.size(), 1);
        QCOMPARE(messages->seen.front().title, QStringLiteral("Incorrect values"));
        QCOMPARE(messages->seen.front().text, message);
        QCOMPARE(currentPage(), page);
        QVERIFY(menuEnabled());
        QCOMPARE(workers().ssad->w_closed.load() + workers().tsad->w_closed.load() + workers().tpad->w_closed.load() +
                     workers().pomp->w_closed.load(),
                 4);
    }

    // The script's error is told, nothing is written or drawn, and the next run goes ahead.
    void failedRun()
    {
        setText(window.get(), "lineEdit_t_end", "0.5");
        workers().ssad->program_text = "def MyFunc(*args):\n    raise ValueError('no feed table')\n";
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(messages->seen.size(), 1, runTimeoutMs);
        QCOMPARE(messages->seen.front().title, QStringLiteral("Simulation failed"));
        QVERIFY2(messages->seen.front().text.contains("ValueError: no feed table"),
                 qPrintable(messages->seen.front().text));
        QCOMPARE(currentPage(), QStringLiteral("page_SSAD"));
        QVERIFY(menuEnabled());
        QTest::qWait(200);
        QCOMPARE(currentPage(), QStringLiteral("page_SSAD"));
        QVERIFY(workbooks().isEmpty());
        QVERIFY(results::last_workbook.isEmpty());
        QVERIFY(results::plot_t_R1.isEmpty());

        workers().ssad->program_text.clear();
        click(window.get(), "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QCOMPARE(workbooks().size(), 1);
        QCOMPARE(messages->seen.size(), 1);
    }

    // The plots end where the integration stopped, and the user is told at which day, over
    // the results page.
    void integrationStoppedEarly()
    {
        setText(window.get(), "lineEdit_t_end", "1");
        workers().ssad->program_text = standInModel(11, 6);
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(messages->seen.size(), 1, runTimeoutMs);
        const Message told = messages->seen.front();
        QCOMPARE(told.title, QStringLiteral("Simulation stopped early"));
        QCOMPARE(told.text,
                 QStringLiteral("The integration stopped at day 0.5 of 1; the plots and the workbook end there."));
        QCOMPARE(told.page, QStringLiteral("page_Results_1s"));
        QCOMPARE(results::plot_t_R1.size(), 6);
        QCOMPARE(plot("customPlot")->graph(0)->data()->size(), 6);
        QCOMPARE(summary(results::last_workbook)["lastRow"].toObject()["Basic"].toInt(), 4 + 6);
    }

    // Values that are not numbers, or that no digester holds, are not shown as a plain success.
    void resultsThatAreNotNumbers_data()
    {
        QTest::addColumn<QString>("cell");  // of the stand-in's table, set in its row 4 (day 0.4)
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("named");
        QTest::newRow("NaN pH") << "7] = float('nan')" << "Results are not numbers" << "at day 0.4 in \"pH\" of reactor 1";
        QTest::newRow("CO2 share of 120 %") << "4] = 120" << "Results are physically impossible"
                                            << "at day 0.4 in \"CO2 %\" of reactor 1 (120)";
    }
    void resultsThatAreNotNumbers()
    {
        QFETCH(QString, cell);
        QFETCH(QString, title);
        QFETCH(QString, named);
        setText(window.get(), "lineEdit_t_end", "1");
        std::string model = standInModel(11, 11);
        model.insert(model.rfind("    return"), "    table[4, " + cell.toStdString() + "\n");
        workers().ssad->program_text = model;
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(messages->seen.size(), 1, runTimeoutMs);
        QCOMPARE(messages->seen.front().title, title);
        QVERIFY2(messages->seen.front().text.contains(named), qPrintable(messages->seen.front().text));
        QCOMPARE(messages->seen.front().page, QStringLiteral("page_Results_1s"));
    }

    // A workbook that cannot be written is told, with where and why; the plots still show,
    // and "Open full results" then says there is nothing to open.
    void unsavedWorkbook()
    {
        setText(window.get(), "lineEdit_t_end", "1");
        workers().ssad->program_text = standInModel(11, 11);
        QVERIFY(QDir::setCurrent("/proc"));  // where no file can be created
        qputenv("HOME", "/proc");            // nor a Documents folder
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(messages->seen.size(), 1, runTimeoutMs);
        QCOMPARE(messages->seen.front().title, QStringLiteral("Results not saved"));
        QVERIFY2(messages->seen.front().text.startsWith("The results workbook could not be saved: ") &&
                     messages->seen.front().text.contains("results_"),
                 qPrintable(messages->seen.front().text));
        QCOMPARE(messages->seen.front().page, QStringLiteral("page_Results_1s"));
        QCOMPARE(plot("customPlot")->graphCount(), 1);
        QVERIFY(results::last_workbook.isEmpty());
        QCOMPARE(label("label_workbook")->text(), QStringLiteral("No results workbook was saved."));
        QVERIFY(label("label_workbook")->toolTip().isEmpty());

        click(window.get(), "pushButton");
        QCOMPARE(messages->seen.size(), 2);
        QCOMPARE(messages->seen.back().title, QStringLiteral("Results not found"));
        QCOMPARE(messages->seen.back().text, QStringLiteral("No results workbook was saved for the last run."));
    }

    // A working directory that takes no files sends the workbook to the Documents folder, made
    // when missing, and the results page says so.
    void workbookInDocumentsFolder()
    {
        const QString documents = workDir->filePath("home/Documents");
        qputenv("HOME", QFile::encodeName(workDir->filePath("home")));
        QVERIFY(QDir::setCurrent("/proc"));
        setText(window.get(), "lineEdit_t_end", "0.5");
        workers().ssad->program_text = standInModel(6, 6);
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QVERIFY(messages->seen.isEmpty());
        const QStringList written = QDir(documents).entryList({"results_*.xlsx"}, QDir::Files);
        QCOMPARE(written.size(), 1);
        QCOMPARE(results::last_workbook, documents + "/" + written.front());
        QCOMPARE(label("label_workbook")->text(),
                 QStringLiteral("Results saved to %1 in %2, as the working directory cannot take files")
                     .arg(written.front(), documents));
        QCOMPARE(label("label_workbook")->toolTip(), results::last_workbook);
    }

    // Return in a field of page 0 and of the reactor page starts the run, Escape cancels it; the
    // next run's results page names its workbook.
    void keyboardRun()
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        workers().ssad->program_text = "import time\n"
                                       "def MyFunc(*args):\n"
                                       "    while not args[-1]():\n"
                                       "        time.sleep(0.01)\n"
                                       "    return None\n";
        const auto pressReturnIn = [this](const char *field) {
            widget<QLineEdit>(window.get(), field)->setFocus();
            QTest::keyClick(widget<QLineEdit>(window.get(), field), Qt::Key_Return);
        };
        pressReturnIn("lineEdit_t_end");
        QCOMPARE(currentPage(), QStringLiteral("page_SSAD"));
        pressReturnIn("lineEdit_V_t1");
        QCOMPARE(currentPage(), QStringLiteral("page_Loading"));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_COMPARE(currentPage(), QStringLiteral("page_SSAD"));
        QVERIFY(menuEnabled());

        workers().ssad->program_text = standInModel(11, 11);
        setText(window.get(), "lineEdit_t_end", "1");
        pressReturnIn("lineEdit_T_1");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        QCOMPARE(workbooks().size(), 1);
        QCOMPARE(label("label_workbook")->text(), QStringLiteral("Results saved to ") + workbooks().front());
        QCOMPARE(label("label_workbook")->toolTip(), results::last_workbook);
        QVERIFY(messages->seen.isEmpty());
    }

    void openFullResults()
    {
        setText(window.get(), "lineEdit_t_end", "1");
        workers().ssad->program_text = standInModel(11, 11);
        start("radioButton_SSAD", "pushButton_C2");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("page_Results_1s"), runTimeoutMs);
        const QString workbook = results::last_workbook;
        QVERIFY(QFileInfo(workbook).isAbsolute());

        DesktopOpener opener;
        QDesktopServices::setUrlHandler("file", &opener, "open");
        click(window.get(), "pushButton");
        click(window.get(), "pushButton_2");
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(opener.opened, (QList<QUrl>{QUrl::fromLocalFile(workbook), QUrl::fromLocalFile(workbook)}));
        QVERIFY(messages->seen.isEmpty());

        // Without a program for it (the offscreen platform has none), the message names the folder.
        click(window.get(), "pushButton");
        QCOMPARE(messages->seen.size(), 1);
        QCOMPARE(messages->seen.front().title, QStringLiteral("Results not opened"));
        QVERIFY2(messages->seen.front().text.endsWith(
                     QStringLiteral("The workbook is in the folder %1.").arg(QDir::toNativeSeparators(QFileInfo(workbook).absolutePath()))),
                 qPrintable(messages->seen.front().text));
        messages->seen.clear();

        QVERIFY(QFile::remove(workbook));
        click(window.get(), "pushButton");
        QCOMPARE(messages->seen.size(), 1);
        QCOMPARE(messages->seen.front().title, QStringLiteral("Results not found"));
        QCOMPARE(messages->seen.front().text, QStringLiteral("The results workbook %1 no longer exists.").arg(workbook));
    }

    // Info > "User guide" opens the guide installed beside the program, or names the file it misses.
    void userGuideOpensInTheBrowser()
    {
        const QString guide = DataFiles().documentation("guide.html");
        window->findChild<QAction *>("actionUser_guide")->trigger();
        QCOMPARE(messages->seen.size(), 1);
        QCOMPARE(messages->seen.front().text, QStringLiteral("The user guide %1 is not installed.").arg(guide));

        QVERIFY(QDir().mkpath(QFileInfo(guide).absolutePath()));
        QFile file(guide);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        DesktopOpener opener;
        QDesktopServices::setUrlHandler("file", &opener, "open");
        window->findChild<QAction *>("actionUser_guide")->trigger();
        QDesktopServices::unsetUrlHandler("file");
        QVERIFY(QDir(QFileInfo(guide).absolutePath() + "/..").removeRecursively());
        QCOMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(guide)});
        QCOMPARE(messages->seen.size(), 1);
    }

    // Closing the window stops the run and waits until it has left the interpreter.
    void closingWaitsForTheRun()
    {
        workers().ssad->program_text = "import time\n"
                                       "def MyFunc(*args):\n"
                                       "    time.sleep(0.5)\n"
                                       "    if args[-1]():\n"
                                       "        open('left.txt', 'w').close()\n"
                                       "    return None\n";
        start("radioButton_SSAD", "pushButton_C2");
        QVERIFY(window->close());
        QVERIFY(QFile::exists("left.txt"));
        QVERIFY(workbooks().isEmpty());
    }
};

QTEST_MAIN(RunsTest)
#include "tst_runs.moc"
