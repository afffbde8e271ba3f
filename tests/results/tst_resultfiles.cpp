// The files a run leaves: the workbook, read back by an independent reader
// (check_workbook.py with openpyxl), its input grid, extra sheets, the CSV export, and what a
// failed write leaves (nothing, and an earlier file untouched).

#include "configurationgrid.h"
#include "csvwriter.h"
#include "results.h"
#include "resultsworkbook.h"
#include "testtables.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace {

// Inputs shared by the cases; positions 13 to 15 hold what an earlier two-reactor run left.
std::vector<double> runParams(int mode, int phMode, int entries)
{
    std::vector<double> p = {0.5, 2, 0.5, 2, double(phMode), phMode ? 0 : 1e-7, 0.2, 0.3, 0.4, double(mode),
                             308.15, 1.013, 12345.678, 318.15, 0.9, 7};
    if (entries >= 17)
        p.push_back(mode == 3 ? 12.5 : 0.0);
    if (entries >= 18)
        p.push_back(15);
    return p;
}

}  // namespace

class TestResultFiles : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    void verifyWorkbook(const QString &caseName, void (results::*refine)())
    {
        results r;
        const QString path = QDir(tmp.path()).absoluteFilePath(caseName + ".xlsx");
        r.setWorkbookPath(path);
        (r.*refine)();
        QCOMPARE(results::last_workbook, path);

        QProcess checker;
        checker.start("/usr/bin/python3", {CHECK_WORKBOOK_SCRIPT, caseName, path});
        QVERIFY(checker.waitForFinished(60000));
        QVERIFY2(checker.exitStatus() == QProcess::NormalExit && checker.exitCode() == 0,
                 checker.readAllStandardError().constData());
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void singleStageWorkbook()
    {
        calc_SSAD::results_R1 = syntheticTable(1, 6);
        calc_SSAD::results_rows = 6;
        calc_SSAD::run_params = runParams(1, 1, 16);
        verifyWorkbook("ssad", &results::refined_SSAD);
    }

    void failedIntegrationRowsStayOutOfTheWorkbook()
    {
        calc_SSAD::results_R1 = syntheticTable(1, 9, 5);
        calc_SSAD::results_rows = 9;
        calc_SSAD::run_params = runParams(1, 1, 16);
        verifyWorkbook("failed", &results::refined_SSAD);
    }

    void twoStageWorkbookWithManualPh()
    {
        calc_TSAD::results_R1 = syntheticTable(1, 6);
        calc_TSAD::results_R2 = syntheticTable(2, 6);
        calc_TSAD::results_rows = 6;
        calc_TSAD::run_params = runParams(2, 0, 16);
        verifyWorkbook("tsad", &results::refined_TSAD);
    }

    void temperaturePhasedWorkbook()
    {
        calc_TPAD::results_R1 = syntheticTable(1, 6);
        calc_TPAD::results_R2 = syntheticTable(2, 6);
        calc_TPAD::results_rows = 6;
        calc_TPAD::run_params = runParams(3, 1, 17);
        verifyWorkbook("tpad", &results::refined_TPAD);
    }

    void pumpMixedWorkbookKeepsNonFiniteValuesReadable()
    {
        ResultRows table = syntheticTable(1, 6);
        table[2][7] = std::numeric_limits<double>::quiet_NaN();
        table[3][8] = std::numeric_limits<double>::infinity();
        calc_POMP::results_R1 = table;
        calc_POMP::results_rows = 6;
        calc_POMP::run_params = runParams(4, 1, 18);
        verifyWorkbook("pomp", &results::refined_POMP);
    }

    void extraSheetsFollowTheInputSheet()
    {
        const ResultRows table = syntheticTable(1, 3);
        WorkbookContent content{&table, nullptr, 3, runParams(1, 1, 16)};
        content.extraSheets.push_back({"SUMMARY",
                                       {{{QString("Status"), true}, {QString("complete")}},
                                        {{QString("Peak"), true}, {12.5}, {std::nan("")}}},
                                       {18.5}});
        const QString path = QDir(tmp.path()).absoluteFilePath("extra.xlsx");
        const WrittenFile written = saveResultsWorkbook(FileTarget{path}, content);
        QVERIFY2(written.error.isEmpty(), qPrintable(written.error));
        QCOMPARE(written.path, path);

        QProcess reader;
        reader.start("/usr/bin/python3",
                     {"-c",
                      "import sys, openpyxl\n"
                      "wb = openpyxl.load_workbook(sys.argv[1])\n"
                      "ws = wb['SUMMARY']\n"
                      "print(wb.sheetnames, wb.active.title, ws.column_dimensions['A'].width)\n"
                      "for row in ws.iter_rows():\n"
                      "    print([(c.value, bool(c.font.b)) for c in row])\n",
                      path});
        QVERIFY(reader.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"['Basic', 'Gas and Soluble', 'Insoluble', 'Ions', 'CONFIGURATION', 'SUMMARY'] "
                              "Basic 19.28515625",
                              "[('Status', True), ('complete', False), (None, False)]",
                              "[('Peak', True), (12.5, False), ('nan', False)]"}));
    }

    void failedWritesLeaveTheEarlierFileAndNoTemporaryOne()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.xlsx"), pipe = dir.filePath("pipe");
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        const ResultRows table = syntheticTable(1, 3);
        const auto content = [&table] { return WorkbookContent{&table, nullptr, 3, runParams(1, 1, 16)}; };
        const auto unchanged = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) && f.readAll() == "earlier" &&
                   QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot) ==
                       QStringList({"pipe", "w.xlsx"});
        };
        QVERIFY(mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        const int openFiles = QDir("/proc/self/fd").count();

        // The library refuses a text longer than a cell holds: the write ends at that call.
        WorkbookContent tooLong = content();
        tooLong.extraSheets.push_back({"SUMMARY", {{{QString(40000, 'x')}}}, {}});
        WrittenFile written = saveResultsWorkbook(FileTarget{path}, tooLong);
        QVERIFY(written.path.isEmpty());
        QVERIFY2(written.error.contains(path), qPrintable(written.error));
        QVERIFY(unchanged());

        // A cancel while the rows are written.
        const std::atomic<int> stop{1};
        WorkbookContent cancelled = content();
        cancelled.stop = &stop;
        written = saveResultsWorkbook(FileTarget{path}, cancelled);
        QVERIFY2(written.path.isEmpty() && written.error.contains("cancelled"), qPrintable(written.error));
        QVERIFY(unchanged());

        // A pipe is never replaced by a file.
        QVERIFY(writeResultCsv(pipe, table, nullptr, 3).contains("FIFO"));
        QVERIFY(saveResultsWorkbook(FileTarget{pipe}, content()).error.contains("FIFO"));
        struct stat st {};
        QVERIFY(lstat(QFile::encodeName(pipe).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QVERIFY(unchanged());
        QCOMPARE(QDir("/proc/self/fd").count(), openFiles);

        // A complete workbook replaces the earlier file.
        written = saveResultsWorkbook(FileTarget{path}, content());
        QCOMPARE(written.path, path);
        QFile replaced(path);
        QVERIFY(replaced.open(QIODevice::ReadOnly) && replaced.read(2) == "PK");
    }

    void gridIsTheSameUnderAnyLocale()
    {
        // This test runs under a decimal-comma locale (see CMakeLists.txt); the default is one too.
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German));
        const ConfigurationGrid grid = configurationGrid(runParams(3, 0, 17));
        QLocale::setDefault(before);
        QCOMPARE(grid[2][2].text, QString("0.5"));         // C3
        QCOMPARE(grid[4][6].text, QString("1.013"));       // G5
        QCOMPARE(grid[6][6].text, QString("12345.7"));     // G7: six digits, not grouped
        QCOMPARE(grid[10][2].text, QString("7"));          // C11, the pH of 1e-7
        QCOMPARE(grid[6][6].number, std::optional<double>(12345.678));  // stored as a number
        QVERIFY(!grid[2][0].number);                                   // A3, a label

        // A run on a schedule names it instead of the page's feed.
        const ConfigurationGrid scheduled = configurationGrid(runParams(3, 0, 17), "farm.csv");
        QCOMPARE(scheduled[2][2].text + ' ' + scheduled[2][3].text, QString("schedule farm.csv"));
        QCOMPARE(scheduled[3][2].text + ' ' + scheduled[3][3].text, QString("schedule sheet FEED"));
        QVERIFY(!scheduled[2][2].number && !scheduled[3][2].number);
    }

    void gridToleratesAShortRecord()
    {
        // A record missing its tail reads as zeros instead of running past its end.
        const ConfigurationGrid grid = configurationGrid({0.5, 2, 0.5, 2, 1, 0, 0.2, 0.3, 0.4, 4});
        QCOMPARE(grid[11][1].text, QString("POMP"));
        QCOMPARE(grid[13][2].text, QString("0"));  // C14, mixing interval
        QCOMPARE(grid[2][6].text, QString("0"));   // G3
    }

    void csvHasWorkbookHeadersAndExactNumbers()
    {
        ResultRows r1 = syntheticTable(1, 3), r2 = syntheticTable(2, 3);
        r1[1][4] = 0.1 + 0.2;  // needs all 17 digits to come back unchanged
        r1[2][0] = 0.19999999999999998;  // a time as adding up 0.1 d leaves it: written as the row's
        const QString single = QDir(tmp.path()).absoluteFilePath("single.csv");
        const QString pair = QDir(tmp.path()).absoluteFilePath("pair.csv");
        QVERIFY(writeResultCsv(single, r1, nullptr, 3).isEmpty());
        QVERIFY(writeResultCsv(pair, r1, &r2, 2).isEmpty());

        auto readLines = [](const QString &path) {
            QFile f(path);
            f.open(QIODevice::ReadOnly | QIODevice::Text);
            return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        };
        const QStringList s = readLines(single);
        QCOMPARE(s.size(), 5);
        const QStringList headers = s[0].split(',');
        QCOMPARE(headers.size(), 50);
        QCOMPARE(headers[3], QString("Ch4 %"));
        QCOMPARE(headers[49], QString("S_va_ion"));
        QCOMPARE(s[1].split(',')[2], QString("[Nm3/d]"));
        QCOMPARE(s[3].split(',')[4].toDouble(), 0.1 + 0.2);
        QCOMPARE(s[4].split(',')[0], QString("0.2"));

        const QStringList p = readLines(pair);
        QCOMPARE(p.size(), 4);
        const QStringList pairHeaders = p[0].split(',');
        QCOMPARE(pairHeaders.size(), 100);
        QCOMPARE(pairHeaders[0], QString("R1 t"));
        QCOMPARE(pairHeaders[52], QString("R2 gasflow_N"));
        QCOMPARE(p[3].split(',')[55].toDouble(), syntheticValue(2, 1, 5));

        QVERIFY(writeResultCsv(QDir(tmp.path()).absoluteFilePath("missing/x.csv"), r1, nullptr, 3)
                    .contains("missing/x.csv"));
    }
};

QTEST_GUILESS_MAIN(TestResultFiles)
#include "tst_resultfiles.moc"
