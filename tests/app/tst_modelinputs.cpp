// The feed and the model constants in the window: a schedule chosen from a file (or refused in
// place, the feed unchanged) and back to the ramp; the "Model parameters" dialog's marks,
// refusals and reset; both reaching the next run's request.

#include "mainwindow.h"
#include "parametersdialog.h"
#include "windowprobe.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <qcustomplot.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text);
    return path;
}

const QByteArray kSchedule = "day [d],Q_in [m3/d],X_c_in [kgCOD/m3]\n0,2,10\n5,4,12\n";

QTableWidgetItem *valueCell(ParametersDialog &dialog, const QString &name)
{
    auto *table = widget<QTableWidget>(&dialog, "tableWidget_parameters");
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0)->text() == name)
            return table->item(row, 1);
    qFatal("no parameter %s", qPrintable(name));
}

QPushButton *okButton(ParametersDialog &dialog)
{
    return dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
}

}  // namespace

class ModelInputsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void scheduleFromFileAndBack()
    {
        MainWindow window;
        auto *fileName = widget<QLabel>(&window, "label_feed_file");
        auto *plot = widget<QCustomPlot>(&window, "customPlot_feed");
        auto *flow = widget<QLineEdit>(&window, "lineEdit_final_Q_in");
        auto *concentration = widget<QLineEdit>(&window, "lineEdit_X_c_in");
        QVERIFY(widget<QRadioButton>(&window, "radioButton_feed_ramp")->isChecked());

        QCOMPARE(window.chooseFeedSchedule(writeFile(dir, "plant.csv", kSchedule)), QString());
        QVERIFY(widget<QRadioButton>(&window, "radioButton_feed_file")->isChecked());
        QCOMPARE(fileName->text(), QStringLiteral("plant.csv"));
        QVERIFY(!plot->isHidden());
        QCOMPARE(plot->graph(0)->data()->size(), 3);  // two rows and the last one held on
        QVERIFY(!flow->isEnabled() && !concentration->isEnabled());

        // A refusal names the file, line and column in place and changes nothing else.
        const QString refusal = window.chooseFeedSchedule(writeFile(dir, "bad.csv", "day,Q_in,X_c_in\n0,2,10\n5,-1,10\n"));
        QVERIFY2(refusal.startsWith("bad.csv:3:"), qPrintable(refusal));
        QVERIFY2(fileName->text().remove(QChar(0x200B)).contains("bad.csv:3:"), qPrintable(fileName->text()));
        QVERIFY(window.feedSchedule()->file.endsWith("plant.csv"));
        QVERIFY(widget<QRadioButton>(&window, "radioButton_feed_file")->isChecked());

        // A refusal under a long name is shown whole in its place.
        QVERIFY(!window.chooseFeedSchedule(writeFile(dir, "biogas_plant_feeding_history_2025_2026.csv",
                                                     "day,Q_in,X_c_in\n0,2,10\n5,-1,10\n")).isEmpty());
        QVERIFY2(fileName->heightForWidth(fileName->width()) <= fileName->height(), qPrintable(fileName->text()));

        widget<QRadioButton>(&window, "radioButton_feed_ramp")->click();
        QVERIFY(!window.feedSchedule());
        QVERIFY(plot->isHidden() && fileName->text().isEmpty());
        QVERIFY(flow->isEnabled() && concentration->isEnabled());
    }

    // "Substrates…" looks like a button that can be pressed, not like a disabled one.
    void substratesButtonLooksEnabled()
    {
        MainWindow window;
        auto *substrates = widget<QPushButton>(&window, "pushButton_feed_substrates");
        QVERIFY(substrates->isEnabled());
        const QImage enabled = substrates->grab().toImage();
        substrates->setEnabled(false);
        QVERIFY(substrates->grab().toImage() != enabled);
    }

    // A schedule of substrates is refused until a substrates file names them, then read again with
    // them; a refused substrates file changes nothing.
    void scheduleOfSubstrates()
    {
        MainWindow window;
        auto *fileName = widget<QLabel>(&window, "label_feed_file");
        const QString schedule = writeFile(dir, "mix.csv", "day,sludge,manure\n0,1,3\n");
        QVERIFY(!window.chooseFeedSchedule(schedule).isEmpty());
        QVERIFY(!window.feedSchedule());

        QVERIFY(!window.chooseSubstrates(writeFile(dir, "bad.toml", "[sludge]\nX_c = -1\n")).isEmpty());
        QVERIFY(!window.feedSchedule());
        QCOMPARE(window.chooseSubstrates(writeFile(dir, "subs.toml", "[sludge]\nX_c = 20\n[manure]\nX_c = 40\n")),
                 QString());
        QVERIFY(window.feedSchedule());
        QCOMPARE(window.feedSchedule()->flowAt(1), 4.0);
        QCOMPARE(window.feedSchedule()->codAt(1), 35.0);
        QCOMPARE(fileName->text(), QStringLiteral("mix.csv, substrates from subs.toml"));
    }

    // A schedule the configuration cannot take starts nothing; page 0's "Reset" goes back to the ramp.
    void scheduleWithoutFeedRefusedByItsConfiguration()
    {
        MainWindow window;
        QCOMPARE(window.chooseFeedSchedule(writeFile(dir, "dry.csv", "day,Q_in,X_c_in\n0,2,10\n3,0,10\n")), QString());
        widget<QRadioButton>(&window, "radioButton_TPAD")->setChecked(true);
        click(&window, "pushButton_C1");
        MessageBoxCloser closer;
        click(&window, "pushButton_C4");
        QVERIFY2(closer.message.contains("dry.csv: Q_in is 0 on day 3"), qPrintable(closer.message));
        QCOMPARE(widget<QStackedWidget>(&window, "stackedWidget")->currentIndex(), 3);

        click(&window, "pushButton_D1");
        QVERIFY(!window.feedSchedule());
    }

    void dialogMarksRefusesAndResets()
    {
        ParametersDialog dialog({{"km_ac", 6.0}}, PhSolver::Damped);
        auto *problems = widget<QLabel>(&dialog, "label_parameter_problems");
        QVERIFY(valueCell(dialog, "km_ac")->font().bold());
        QVERIFY(!valueCell(dialog, "km_pro")->font().bold());
        QVERIFY(okButton(dialog)->isEnabled());

        // Each value on its own, and what holds between values (the product fractions of sugar uptake).
        struct Refused {
            const char *name, *text, *mended;
        };
        for (const Refused &r : {Refused{"km_ac", "-1", "6"}, Refused{"km_ac", "abc", "6"}, Refused{"f_fa_li", "1.5", "0.95"},
                                 Refused{"f_ac_su", "0.9", "0.41"}}) {
            valueCell(dialog, r.name)->setText(r.text);
            QVERIFY2(problems->text().contains(r.name), qPrintable(problems->text()));
            QVERIFY(!valueCell(dialog, r.name)->toolTip().isEmpty());
            QVERIFY(!okButton(dialog)->isEnabled());
            valueCell(dialog, r.name)->setText(r.mended);
            QVERIFY(okButton(dialog)->isEnabled());
            QVERIFY(problems->text().isEmpty());
        }

        // Values are checked together: a fraction raised while another of its uptake is lowered passes.
        valueCell(dialog, "f_ac_su")->setText("0.5");
        valueCell(dialog, "f_bu_su")->setText("0.04");
        QVERIFY(okButton(dialog)->isEnabled());
        QVERIFY(valueCell(dialog, "f_ac_su")->toolTip().isEmpty());

        QVERIFY(dialog.phSolver() == PhSolver::Damped);
        widget<QPushButton>(&dialog, "pushButton_parameters_reset")->click();
        QVERIFY(dialog.values().isEmpty());
        QVERIFY(dialog.phSolver() == PhSolver::Exact);
        QVERIFY(!valueCell(dialog, "km_ac")->font().bold());
    }

    // OK gives the window the values, Cancel leaves them.
    void dialogFromTheMenu_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }

    void dialogFromTheMenu()
    {
        QFETCH(bool, accept);
        MainWindow window;
        QTimer::singleShot(0, this, [accept] {
            auto *dialog = qobject_cast<ParametersDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            valueCell(*dialog, "km_ac")->setText("6");
            widget<QComboBox>(dialog, "comboBox_ph_solver")->setCurrentText(QStringLiteral("damped"));
            accept ? dialog->accept() : dialog->reject();
        });
        widget<QAction>(&window, "actionModel_parameters")->trigger();
        const ParameterValues expected = accept ? ParameterValues{{"km_ac", 6.0}} : ParameterValues();
        QCOMPARE(window.modelParameterValues(), expected);
        QVERIFY(window.freePhSolver() == (accept ? PhSolver::Damped : PhSolver::Exact));
    }
};

QTEST_MAIN(ModelInputsTest)
#include "tst_modelinputs.moc"
