#pragma once

// The single window: a fixed-size page stack that leads from the input data through the
// reactor pages and the progress page to the results.

#include "inputvalidators.h"
#include "remainingtime.h"

#include <previousrun.h>
#include <configuration.h>
#include <runrequest.h>
#include <workers.h>

#include <QMainWindow>

#include <memory>

class MainForm;
class SimulationRun;
struct InputRow;
struct RunOutcome;
QT_BEGIN_NAMESPACE
class QCloseEvent;
class QRadioButton;
QT_END_NAMESPACE
class QCustomPlot;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The four simulation workers, created with the window and never deleted.
    const Workers &simulationWorkers() const { return workers; }

    // What File > "Save inputs…" and "Open inputs…" do once their file dialog has a path. Saving
    // writes the whole file or leaves the earlier one; opening changes the form only when the
    // whole file is good, then shows page 0. Both return why they failed, or an empty string.
    QString saveInputsTo(const QString &path);
    QString openInputsFrom(const QString &path);

    // The feed of the next runs: a schedule read from path (on a refusal, which this returns and
    // page 0 shows, the feed stays as it was), or the built-in ramp.
    QString chooseFeedSchedule(const QString &path);
    // The substrates file that schedules of substrates name; the schedule last chosen (even one
    // refused for want of them) is read again with them. A refused file changes nothing.
    QString chooseSubstrates(const QString &path);
    void useBuiltInFeed();
    // What the next runs take besides the pages' fields: the schedule (null for the ramp) and the
    // model constants that differ from their defaults.
    const FeedSchedule *feedSchedule() const { return feed.get(); }
    // Where the next runs start: a saved state is read from path for the configuration checked on
    // page 0 (on a refusal, which this returns, the start stays as it was).
    QString chooseStart(StartState::Kind kind, const QString &path = {});
    const StartState &startState() const { return start; }
    // What File > "Save final state…" does once its dialog has a path: the last finished run's
    // state file, whole or not at all. Returns why it failed, or an empty string.
    QString saveFinalStateTo(const QString &path);
    const ParameterValues &modelParameterValues() const { return parameters; }
    PhSolver freePhSolver() const { return phSolver; }
    const RunRequest &plantInputValues() const { return plant; }  // its plant and alarm inputs

public slots:
    void MakePlots();

private slots:
    void MakeTimerUpdate(int i_time);
    void MakeDefault1();
    void MakeDefault2();
    void MakeDefault3();
    void MakeDefault4();
    void on_actionNew_Simulation_triggered();
    void on_actionHelp_triggered();
    void on_actionUser_guide_triggered();
    void on_actionCredits_triggered();
    void on_actionExit_triggered();
    void on_radioButton_free_toggled(bool checked);
    void on_radioButton_manual_toggled(bool checked);
    void on_pushButton_B2_clicked();
    void on_pushButton_B3_clicked();
    void on_pushButton_B4_clicked();
    void on_pushButton_B5_clicked();
    void on_pushButton_D1_clicked();
    void on_pushButton_D2_clicked();
    void on_pushButton_D3_clicked();
    void on_pushButton_D4_clicked();
    void on_pushButton_D5_clicked();
    void on_pushButton_toR1_clicked();
    void on_pushButton_toR2_clicked();
    void on_pushButton_N_clicked();
    void on_pushButton_N_2_clicked();
    void on_pushButton_E_clicked();
    void on_pushButton_stability_clicked();
    void on_pushButton_stability_2_clicked();
    void on_pushButton_E_2_clicked();
    void on_pushButton_C1_clicked();
    void on_pushButton_C2_clicked();
    void on_pushButton_C3_clicked();
    void on_pushButton_C4_clicked();
    void on_pushButton_C5_clicked();
    void closeEvent(QCloseEvent *event) override;
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_Cancel_clicked();
    void on_actionSave_inputs_triggered();
    void on_actionOpen_inputs_triggered();
    void on_checkBox_previous_toggled(bool checked);
    void on_checkBox_previous_2_toggled(bool checked);
    void on_radioButton_feed_ramp_clicked();
    void on_radioButton_feed_file_clicked();
    void on_pushButton_feed_substrates_clicked();
    void on_actionModel_parameters_triggered();
    void on_comboBox_start_activated(int index);
    void on_actionSave_final_state_triggered();
    void on_actionPlant_alarms_triggered();

private:
    // Empties the plot series, shows page 0 and restores pages 0 to 3.
    void newSimulation();
    void restoreReactorPage(int mode, QRadioButton *kelvin);
    // The reactor page (1 to 4) of the configuration checked on page 0.
    int configurationPage() const;
    void showPage(int index);
    // Page 0's feed choice, file name, plot and feed fields as the feed stands.
    void showFeed();
    // Page 0 names why a feed or substrates file was refused (the first problem; all on hover)
    // and returns them all.
    QString showFeedRefusal(const QStringList &problems);
    // Page 0's start choice as the start stands.
    void showStart();
    // The start into a request of its configuration: a saved state read for it, or why it cannot.
    QString applyStart(RunRequest &request) const;
    // Keeps a finished run's state file for "Save final state…" (and enables it), or drops it.
    void keepFinalState(const RunOutcome &outcome);
    // A message with every problem of a file the user picked; nothing when there is none.
    void tellRefusal(const QString &title, const QString &problems);

    // Starts a run of the configuration (1 to 4) from the form's inputs, or names the input
    // that makes it meaningless and starts nothing.
    void startRun(int mode);
    // Asks every worker to stop at its script's next step.
    void stopWorkers();
    void runEnded(const RunOutcome &outcome);
    void runFailed(const QString &message);
    // The "Open full results" buttons.
    void openFullResults();

    // Draws the previous run's curves behind the shown run's when "Show previous run" is checked
    // and both runs had as many reactors; removes them otherwise.
    void showPreviousRun();
    // The context menu of a plot, and its "Save image…".
    void offerPlotMenu(QCustomPlot *plot, const QPoint &at);
    void savePlotImageOf(QCustomPlot *plot);

    std::unique_ptr<MainForm> ui;
    Workers workers;
    std::unique_ptr<SimulationRun> simulation;
    int shown_mode = 1;  // the configuration of the run whose results are shown
    InputValidators validators;
    RemainingTime remaining_time;
    std::shared_ptr<const FeedSchedule> feed;
    QString feedSubstrates;  // the substrates file schedules are read with; empty: none
    SubstrateValues feedSubstrateValues;  // lab values an inputs file set over that file's
    QString feedTried;       // the schedule file last chosen, taken or refused
    ParameterValues parameters;
    PhSolver phSolver = PhSolver::Exact;
    StartState start;           // its kind and file; a saved state is read when a run starts
    QByteArray finalState;      // the state file of the last finished run; empty: none
    RunRequest plant = defaultRequest(1);  // the plant and alarm inputs of the next runs
    RunCurves shown_run, previous_run;  // copies of the curves of the last two finished runs
};
