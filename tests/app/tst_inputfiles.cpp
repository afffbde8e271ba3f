// Input files through the window: saved and opened again in every configuration, unit and pH
// mode, and bad files refused with key and line, the form left as it was.

#include "mainwindow.h"
#include "windowprobe.h"

#include <configuration.h>
#include <results.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

namespace {

const char *const kConfigRadios[] = {"radioButton_SSAD", "radioButton_TSAD", "radioButton_TPAD", "radioButton_POMP"};
const char *const kCelsiusRadios[] = {"radioButton_UnitC", "radioButton_UnitC_ts", "radioButton_UnitC_tp",
                                      "radioButton_UnitC_pm"};

// Every field's text and every radio button's state, by object name.
std::map<QString, QString> formState(QObject *window)
{
    std::map<QString, QString> state;
    for (auto *edit : window->findChildren<QLineEdit *>())
        state[edit->objectName()] = edit->text();
    for (auto *radio : window->findChildren<QRadioButton *>())
        state[radio->objectName()] = radio->isChecked() ? "checked" : "";
    state["page"] = widget<QStackedWidget>(window, "stackedWidget")->currentWidget()->objectName();
    return state;
}

}  // namespace

class InputFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &text)
    {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text);
        return file.fileName();
    }

private slots:
    void savedInputsOpenAgain_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("celsius");
        QTest::addColumn<bool>("freePh");
        for (const Configuration &c : configurations())
            for (bool celsius : {false, true})
                for (bool freePh : {false, true})
                    QTest::addRow("%s %s %s", c.code, celsius ? "C" : "K", freePh ? "free" : "manual")
                        << c.mode << celsius << freePh;
    }

    void savedInputsOpenAgain()
    {
        QFETCH(int, mode);
        QFETCH(bool, celsius);
        QFETCH(bool, freePh);
        MainWindow saving;
        widget<QRadioButton>(&saving, kConfigRadios[mode - 1])->setChecked(true);
        widget<QRadioButton>(&saving, kCelsiusRadios[mode - 1])->setChecked(celsius);
        widget<QRadioButton>(&saving, freePh ? "radioButton_free" : "radioButton_manual")->setChecked(true);
        setText(&saving, "lineEdit_manual_ph", "6.25");
        // Values unlike any default, as the fields hold them: whole numbers and decimals.
        int n = 0, fraction = 0;
        for (auto *edit : saving.findChildren<QLineEdit *>()) {
            if (edit->objectName().endsWith("_xc"))
                edit->setText(QString("0.1%1").arg(++fraction));
            else if (edit->objectName().startsWith("lineEdit_T_"))  // within the range, in either unit
                edit->setText(celsius ? QString("3%1.5").arg(++n % 10) : QString::number(300 + ++n));
            else if (edit->objectName() != "lineEdit_manual_ph")
                edit->setText(++n % 2 ? QString::number(20 + n) : QString("%1.75").arg(n));
        }
        const QString path = dir.filePath(QString("inputs%1%2%3.toml").arg(mode).arg(celsius).arg(freePh));
        QCOMPARE(saving.saveInputsTo(path), QString());

        MainWindow opening, fresh;
        auto *pages = widget<QStackedWidget>(&opening, "stackedWidget");
        pages->setCurrentIndex(3);
        results::plot_t_R1 = {0.0, 0.1};  // an earlier run's plots
        QCOMPARE(opening.openInputsFrom(path), QString());
        QVERIFY(results::plot_t_R1.isEmpty());  // go with it, as after "New simulation"

        // Page 0 and the configuration's page hold what was saved; the other pages keep theirs.
        const auto saved = formState(&saving), untouched = formState(&fresh), got = formState(&opening);
        QCOMPARE(got.at("page"), QString("page"));
        int compared = 0;
        for (const auto &[name, value] : got) {
            if (name == "page")
                continue;
            QWidget *field = widget<QWidget>(&opening, qPrintable(name));
            const bool kept = (pages->widget(0)->isAncestorOf(field) || pages->widget(mode)->isAncestorOf(field)) &&
                              !(freePh && name == "lineEdit_manual_ph");
            QCOMPARE(value, kept ? saved.at(name) : untouched.at(name));
            compared += kept;
        }
        QVERIFY(compared >= 16);
    }

    // The feed schedule and the model constants go into the file and come back from it, after a
    // new simulation has set both back; a schedule refused on opening leaves the window as it was.
    void feedAndParametersOpenAgain()
    {
        const QString schedule = writeFile("plant.csv", "day [d],Q_in [m3/d],X_c_in [kgCOD/m3]\n0,2,10\n5,4,12\n");
        MainWindow window;
        QCOMPARE(window.chooseFeedSchedule(schedule), QString());
        QTimer::singleShot(0, this, [] {
            auto *dialog = QApplication::activeModalWidget();
            auto *table = widget<QTableWidget>(dialog, "tableWidget_parameters");
            table->item(table->findItems("km_ac", Qt::MatchExactly).first()->row(), 1)->setText("6.5");
            qobject_cast<QDialog *>(dialog)->accept();
        });
        widget<QAction>(&window, "actionModel_parameters")->trigger();
        QTimer::singleShot(0, this, [] {
            auto *dialog = QApplication::activeModalWidget();
            widget<QLineEdit>(dialog, "lineEdit_t-feed")->setText("290.5");
            qobject_cast<QDialog *>(dialog)->accept();
        });
        widget<QAction>(&window, "actionPlant_alarms")->trigger();
        QCOMPARE(window.plantInputValues().T_feed, 290.5);
        const QString path = dir.filePath("plant-inputs.toml");
        QCOMPARE(window.saveInputsTo(path), QString());

        widget<QAction>(&window, "actionNew_Simulation")->trigger();
        QVERIFY(!window.feedSchedule() && window.modelParameterValues().isEmpty());
        QCOMPARE(window.plantInputValues().T_feed, 288.15);
        QCOMPARE(window.openInputsFrom(path), QString());
        QCOMPARE(window.plantInputValues().T_feed, 290.5);
        QCOMPARE(window.feedSchedule()->file, QFileInfo(schedule).absoluteFilePath());
        QCOMPARE(widget<QLabel>(&window, "label_feed_file")->text(), QStringLiteral("plant.csv"));
        QVERIFY(!widget<QLineEdit>(&window, "lineEdit_final_Q_in")->isEnabled());
        QCOMPARE(window.modelParameterValues(), (ParameterValues{{"km_ac", 6.5}}));

        // The schedule goes bad on disk: opening refuses it with its line and changes nothing.
        writeFile("plant.csv", "day,Q_in,X_c_in\n0,2,10\n5,-4,12\n");
        widget<QAction>(&window, "actionNew_Simulation")->trigger();
        const auto before = formState(&window);
        const QString error = window.openInputsFrom(path);
        QVERIFY2(error.contains("plant.csv:3:"), qPrintable(error));
        QVERIFY(formState(&window) == before);
        QVERIFY(!window.feedSchedule() && window.modelParameterValues().isEmpty());
    }

    void badFilesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("named");  // "line n, key", as the message names them
        QTest::newRow("syntax") << QByteArray("config = \"tsad\"\nt-end = = 5\n") << "line 2";
        QTest::newRow("unknown key") << QByteArray("q-in = 5\nq_in = 5\n") << "line 2, q_in";
        QTest::newRow("wrong type") << QByteArray("\n\nt-end = \"50\"\n") << "line 3, t-end";
        QTest::newRow("bad config") << QByteArray("config = \"abc\"\n") << "line 1, config";
        QTest::newRow("not its input") << QByteArray("config = \"tpad\"\nmix-i = 5\n") << "line 2, mix-i";
        QTest::newRow("fraction of 1") << QByteArray("f-pr = 1.5\n") << "line 1, f-pr";
        QTest::newRow("negative temperature") << QByteArray("unit = \"C\"\nt1 = -5\n") << "line 2, t1";
        QTest::newRow("infinite") << QByteArray("v1 = inf\n") << "line 1, v1";
        QTest::newRow("pH 13") << QByteArray("ph = 13\n") << "line 1, ph";
        QTest::newRow("pH text") << QByteArray("ph = \"high\"\n") << "line 1, ph";
        QTest::newRow("unit") << QByteArray("unit = \"F\"\n") << "line 1, unit";
        QTest::newRow("table") << QByteArray("t-end = 5\n[base]\nt-end = 6\n") << "line 2, base";
        // Refused before parsing: the TOML library would overflow the stack on them.
        QTest::newRow("key of 50 000 parts") << "a" + QByteArray(".a").repeated(50000) + " = 1\n" << "line 1: keys";
        QTest::newRow("table of 50 000 parts") << "t-end = 5\n\n[a" + QByteArray(".a").repeated(50000) + "]\n" << "line 3: keys";
        QTest::newRow("over 1 MiB") << "t-end = 5\n#" + QByteArray(1 << 20, 'x') + "\n" << "larger than 1 MiB";
        QTest::newRow("one good, one bad") << QByteArray("config = \"tsad\"\nv2 = 40\nt2 = 300\n") << "line 3, t2";
    }

    void badFilesChangeNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, named);
        const QString path = writeFile("bad.toml", text);

        MainWindow window;
        widget<QStackedWidget>(&window, "stackedWidget")->setCurrentIndex(2);
        const auto before = formState(&window);
        const QString error = window.openInputsFrom(path);
        QVERIFY2(error.contains(named), qPrintable(error));
        QVERIFY(formState(&window) == before);
    }

    void failedSaveWritesNothing()
    {
        MainWindow window;
        QVERIFY(!window.saveInputsTo(dir.filePath("missing/inputs.toml")).isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("missing")));
    }
};

QTEST_MAIN(InputFilesTest)
#include "tst_inputfiles.moc"
