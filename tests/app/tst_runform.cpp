// Reading a run's inputs from the form: which fields each configuration takes, the unit of its
// temperatures, the manual pH as a hydrogen-ion concentration. (The labels refusals name are
// checked through the window, in tst_runs.)

#include "mainform.h"
#include "runform.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QTest>

#include <cmath>

class RunFormTest : public QObject {
    Q_OBJECT

    QMainWindow window;
    MainForm form;

private slots:
    void initTestCase() { form.setupUi(&window); }

    void commonInputsOfPageZero()
    {
        form.lineEdit_final_Q_in->setText("5.31");
        form.lineEdit_X_c_in->setText("");  // an empty field counts as 0
        form.lineEdit_t_end->setText("0.5");
        form.lineEdit_f_pr_xc->setText("0.2");
        form.lineEdit_f_li_xc->setText("0.3");
        form.lineEdit_f_ch_xc->setText("0.4");
        form.radioButton_manual->setChecked(true);
        form.lineEdit_manual_ph->setText("7.0");
        const RunRequest r = runform::readRunRequest(form, 3);
        QCOMPARE(r.mode, 3);
        QCOMPARE(r.final_Q_in, 5.31);
        QCOMPARE(r.X_c_in, 0.0);
        QCOMPARE(r.t_end, 0.5);
        QCOMPARE(r.f_pr_xc, 0.2);
        QCOMPARE(r.f_li_xc, 0.3);
        QCOMPARE(r.f_ch_xc, 0.4);
        QCOMPARE(r.ph_mode, 0);
        QCOMPARE(r.S_h_ion_manual, 1e-7);
        // The free mode computes the pH, but the manual value is passed all the same.
        form.radioButton_free->setChecked(true);
        form.lineEdit_manual_ph->setText("4.5");
        const RunRequest free = runform::readRunRequest(form, 1);
        QCOMPARE(free.ph_mode, 1);
        QCOMPARE(free.S_h_ion_manual, std::pow(10.0, -4.5));
    }

    // Each page's own fields, its own unit button deciding.
    void reactorPages()
    {
        form.radioButton_unitK->setChecked(true);       // single-stage in kelvin...
        form.radioButton_UnitC_ts->setChecked(true);    // ...two-stage in degrees Celsius
        form.radioButton_UnitC_tp->setChecked(true);
        form.radioButton_unitK_pm->setChecked(true);
        form.lineEdit_T_1->setText("308");
        form.lineEdit_P_atm1->setText("1.013");
        form.lineEdit_V_t1->setText("33");
        form.lineEdit_T_1_ts->setText("35");
        form.lineEdit_P_atm1_ts->setText("2.026");
        form.lineEdit_P_atm2_ts->setText("1.5");
        form.lineEdit_V_t1_ts->setText("10");
        form.lineEdit_V_t2_ts->setText("20");
        form.lineEdit_T_1_tp->setText("55");
        form.lineEdit_T_2_tp->setText("35.5");
        form.lineEdit_P_atm1_tp->setText("1.1");
        form.lineEdit_P_atm2_tp->setText("1.2");
        form.lineEdit_V_t1_tp->setText("5");
        form.lineEdit_V_t2_tp->setText("30");
        form.lineEdit_t_sr->setText("2.5");
        form.lineEdit_T_1_pm->setText("310");
        form.lineEdit_P_atm1_pm->setText("0.9");
        form.lineEdit_V_t1_pm->setText("40");
        form.lineEdit_mix_i_pm->setText("25");

        const RunRequest ss = runform::readRunRequest(form, 1);
        QCOMPARE(ss.T_1, 308.0);
        QCOMPARE(ss.P_atm1, 1.013);
        QCOMPARE(ss.V_t1, 33.0);
        QCOMPARE(ss.T_2 + ss.P_atm2 + ss.V_t2 + ss.t_sr + ss.mix_i, 0.0);

        const RunRequest ts = runform::readRunRequest(form, 2);
        QCOMPARE(ts.T_1, 308.15);
        QCOMPARE(ts.T_2, 0.0);  // the two-stage reactors share one temperature
        QCOMPARE(ts.P_atm1, 2.026);
        QCOMPARE(ts.P_atm2, 1.5);
        QCOMPARE(ts.V_t1, 10.0);
        QCOMPARE(ts.V_t2, 20.0);

        const RunRequest tp = runform::readRunRequest(form, 3);
        QCOMPARE(tp.T_1, 55 + 273.15);
        QCOMPARE(tp.T_2, 35.5 + 273.15);
        QCOMPARE(tp.P_atm1, 1.1);
        QCOMPARE(tp.P_atm2, 1.2);
        QCOMPARE(tp.V_t1, 5.0);
        QCOMPARE(tp.V_t2, 30.0);
        QCOMPARE(tp.t_sr, 2.5);
        QCOMPARE(tp.mix_i, 0.0);

        const RunRequest pm = runform::readRunRequest(form, 4);
        QCOMPARE(pm.T_1, 310.0);
        QCOMPARE(pm.P_atm1, 0.9);
        QCOMPARE(pm.V_t1, 40.0);
        QCOMPARE(pm.mix_i, 25.0);
        QCOMPARE(pm.t_sr, 0.0);

        form.radioButton_UnitC->setChecked(true);
        form.radioButton_UnitK_tp->setChecked(true);
        QCOMPARE(runform::readRunRequest(form, 1).T_1, 308 + 273.15);
        QCOMPARE(runform::readRunRequest(form, 2).T_1, 308.15);
        QCOMPARE(runform::readRunRequest(form, 3).T_2, 35.5);
    }
};

QTEST_MAIN(RunFormTest)
#include "tst_runform.moc"
