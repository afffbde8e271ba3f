#pragma once

// Every widget of the main window, built in code at fixed positions. The window owns one
// MainForm; the widgets themselves are owned by their Qt parents.

#include <QtGlobal>

#include <vector>

QT_BEGIN_NAMESPACE
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QStatusBar;
class QWidget;
QT_END_NAMESPACE
class QCustomPlot;

struct InputRow;

class MainForm {
public:
    // Builds the widgets into `window` and connects its on_<object>_<signal> slots by name.
    void setupUi(QMainWindow *window);

    QAction *actionNew_Simulation, *actionExit, *actionHelp, *actionUser_guide, *actionCredits;
    QAction *actionOpen_inputs, *actionSave_inputs, *actionModel_parameters, *actionPlant_alarms;
    QAction *actionSave_final_state;  // enabled while a finished run's final state is kept
    QWidget *centralWidget;
    QStackedWidget *stackedWidget;
    QLabel *background;
    QMenuBar *menuBar;
    QMenu *menuSelect, *menuAbout;
    QStatusBar *statusBar;

    // Page 0: input biomass, timespan, fractioning factors, pH mode, configuration.
    QWidget *page;
    QGroupBox *groupBox, *groupBox_ph_mode, *groupBox_config;
    QLabel *label, *label_2, *label_33;
    QLineEdit *lineEdit_final_Q_in, *lineEdit_X_c_in, *lineEdit_t_end;
    QLineEdit *lineEdit_f_pr_xc, *lineEdit_f_li_xc, *lineEdit_f_ch_xc, *lineEdit_manual_ph;
    QRadioButton *radioButton_free, *radioButton_manual;
    QRadioButton *radioButton_SSAD, *radioButton_TSAD, *radioButton_TPAD, *radioButton_POMP;
    QPushButton *pushButton_D1, *pushButton_C1;
    // Page 0, under the input data: the built-in ramp or a feed schedule from a file.
    QGroupBox *groupBox_feed;
    QRadioButton *radioButton_feed_ramp, *radioButton_feed_file;
    QPushButton *pushButton_feed_substrates;  // the substrates a schedule of substrates names
    QLabel *label_feed_file;  // the schedule's file name, or why a file was refused
    QCustomPlot *customPlot_feed;  // the schedule's flow over time
    // Page 0, under the configuration: where the runs start.
    QGroupBox *groupBox_start;
    QComboBox *comboBox_start;  // built-in start-up, steady state, saved state

    // Page 1: single-stage reactor.
    QWidget *page_SSAD;
    QGroupBox *groupBox_4, *groupBox_5;
    QRadioButton *radioButton_unitK, *radioButton_UnitC;
    QLineEdit *lineEdit_T_1, *lineEdit_P_atm1, *lineEdit_V_t1;
    QPushButton *pushButton_B2, *pushButton_D2, *pushButton_C2;

    // Page 2: two-stage reactors.
    QWidget *page_TSAD;
    QGroupBox *groupBox_8, *groupBox_9;
    QRadioButton *radioButton_UnitK_ts, *radioButton_UnitC_ts;
    QLineEdit *lineEdit_T_1_ts, *lineEdit_P_atm1_ts, *lineEdit_P_atm2_ts, *lineEdit_V_t1_ts,
        *lineEdit_V_t2_ts;
    QPushButton *pushButton_B3, *pushButton_D3, *pushButton_C3;

    // Page 3: temperature-phased reactors.
    QWidget *page_TPAD;
    QGroupBox *groupBox_7, *groupBox_6;
    QRadioButton *radioButton_UnitK_tp, *radioButton_UnitC_tp;
    QLineEdit *lineEdit_T_1_tp, *lineEdit_T_2_tp, *lineEdit_P_atm1_tp, *lineEdit_P_atm2_tp,
        *lineEdit_V_t1_tp, *lineEdit_V_t2_tp, *lineEdit_t_sr;
    QPushButton *pushButton_B4, *pushButton_D4, *pushButton_C4;

    // Page 4: pump-mixed reactor.
    QWidget *page_POMP;
    QGroupBox *groupBox_16, *groupBox_21;
    QRadioButton *radioButton_unitK_pm, *radioButton_UnitC_pm;
    QLineEdit *lineEdit_T_1_pm, *lineEdit_P_atm1_pm, *lineEdit_V_t1_pm, *lineEdit_mix_i_pm;
    QPushButton *pushButton_B5, *pushButton_D5, *pushButton_C5;

    // Page 5: progress of a running simulation.
    QWidget *page_Loading;
    QProgressBar *progressBar;
    QLabel *label_37, *label_simtime, *label_remtime, *label_65;
    QLabel *label_summary, *label_summary_2;  // the run summary on the results pages
    QLabel *label_workbook, *label_workbook_2;  // where the results workbook went
    QCheckBox *checkBox_previous, *checkBox_previous_2;  // "Show previous run" on the results pages
    QPushButton *pushButton_Cancel;

    // Page 6: results of a one-reactor run.
    QWidget *page_Results_1s;
    QCustomPlot *customPlot, *customPlot_2;
    QPushButton *pushButton, *pushButton_N, *pushButton_E, *pushButton_stability;

    // Page 7: results of a two-reactor run, one sub-page per reactor.
    QWidget *page_Results_2s;
    QStackedWidget *stackedWidget_2;
    QWidget *page_R1, *page_R2;
    QCustomPlot *customPlot_3, *customPlot_4, *customPlot_5, *customPlot_6;
    QPushButton *pushButton_toR1, *pushButton_toR2;
    QPushButton *pushButton_2, *pushButton_N_2, *pushButton_E_2, *pushButton_stability_2;

private:
    void setupMenus(QMainWindow *window);
    void setupInputPage();
    void setupSingleStagePage();
    void setupTwoStagePage();
    void setupTemperaturePhasedPage();
    void setupPumpMixedPage();
    void setupLoadingPage();
    void setupResultPages();

    QWidget *addPage(const char *name);
    // mode: the configuration whose texts the fields start from.
    void addRows(QWidget *box, const std::vector<InputRow> &rows, int mode, int editX, int iconRaise);
};
