#pragma once

// The four simulation workers. A worker's run slot performs one complete run on the calling
// thread: it hands the run's inputs to the model script through the ModelScriptHost, reports
// progress, keeps the returned table in class-wide storage and signals completion.
// No Python header is included here.

#include "resultrows.h"
#include "runrequest.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <string>
#include <vector>

// What the last run of a worker cost inside the interpreter (for the benchmark).
struct RunCost {
    double seconds = 0.0;         // wall time of the MyFunc call
    long rhs_evaluations = 0;     // calls of the model's right-hand side
    long integrator_steps = 0;    // the compiled engine's internal steps (0 on the others)
    long jacobian_evaluations = 0;  // the compiled engine's Jacobians (0 on the others)
};

// The model constants that differ from their defaults, the feed schedule (null: the built-in
// feed), the engine of a run (native offers the scripts the compiled kernel ("digestra_kernel"),
// scripts makes its import fail, compiled offers the kernel and tells MyFunc (keyword
// engine='compiled') to hand it the whole integration) and where it starts.
struct ModelInputs {
    ParameterValues parameters;
    std::shared_ptr<const FeedSchedule> feed;
    Engine engine = Engine::Native;
    StartState start;
    PlantInputs plant;  // what the results derive energy and alarms from
    PhSolver phSolver = PhSolver::Exact;
};

// What a worker class kept of its last run.
struct WorkerTables {
    const ResultRows *reactor1;
    const ResultRows *reactor2;  // null for single-reactor configurations
    int rows;                    // the worker's own count of rows kept
    const std::vector<double> *runParams;
    const ModelInputs *model;    // the constants, feed and engine it ran with
};

// The class-wide storage of the configuration's worker (mode 1 to 4).
WorkerTables workerTables(int mode);

// The four workers of a window or a command-line run.
struct Workers {
    class calc_SSAD *ssad = nullptr;
    class calc_TSAD *tsad = nullptr;
    class calc_TPAD *tpad = nullptr;
    class calc_POMP *pomp = nullptr;
};

class SimulationWorker : public QObject {
    Q_OBJECT
public:
    explicit SimulationWorker(QObject *parent = nullptr) : QObject(parent) {}

    // Stop flag: 0 lets the run go on, 1 asks it to stop at the script's next step.
    // Written by the GUI thread, read by the run thread; atomic, no lock.
    std::atomic<int> w_closed{0};

    RunCost lastRunCost() const { return last_cost; }
    // The state the last run reached (the script's final_state); empty after a failed run.
    ModelState lastFinalState() const { return last_final_state; }
    // Why the last run's integration ended before its last row (the script's stop_reason, with the
    // integrator's last message where it wrote one); empty when it did not.
    QString lastStopReason() const { return last_stop_reason; }

    // The constants, feed, engine and start of the runs from now on; the run core sets them before
    // it calls a run slot. The script finds every constant by name in its namespace, the schedule as
    // MyFunc's keyword argument feed and the start as initial_state.
    ModelInputs model_inputs;

    // When not empty, runs execute this program text instead of the configuration's model and
    // solver scripts (the bridge's tests use small stand-in models).
    std::string program_text;

signals:
    void inprogress(int progr);
    // Emitted once at the end of a run that produced a table and was not stopped.
    void workFinished(QString result);
    // Emitted instead of workFinished when the script failed; carries the Python error's
    // last line (the full traceback goes to standard error).
    void workFailed(QString message);

protected:
    RunCost last_cost;
    ModelState last_final_state;
    QString last_stop_reason;
    friend class ModelScriptHost;
};

class calc_SSAD : public SimulationWorker {
    Q_OBJECT
public:
    explicit calc_SSAD(QObject *parent = nullptr) : SimulationWorker(parent) {}
    static ResultRows results_R1;
    static int results_rows;
    static std::vector<double> run_params;  // 16 entries
    static ModelInputs run_model;
public slots:
    void transfer(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
                  double f_li_xc_t, double f_ch_xc_t, int ph_mode_t, double S_h_ion_manual_t,
                  double T_1_t, double P_atm1_t, double V_t1_t, int mode_t);
};

class calc_TSAD : public SimulationWorker {
    Q_OBJECT
public:
    explicit calc_TSAD(QObject *parent = nullptr) : SimulationWorker(parent) {}
    static ResultRows results_R1, results_R2;
    static int results_rows;
    static std::vector<double> run_params;  // 16 entries
    static ModelInputs run_model;
public slots:
    void transfer_ts(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
                     double f_li_xc_t, double f_ch_xc_t, int ph_mode_t, double S_h_ion_manual_t,
                     double T_1_t, double P_atm1_t, double P_atm2_t, double V_t1_t,
                     double V_t2_t, int mode_t);
};

class calc_TPAD : public SimulationWorker {
    Q_OBJECT
public:
    explicit calc_TPAD(QObject *parent = nullptr) : SimulationWorker(parent) {}
    static ResultRows results_R1, results_R2;
    static int results_rows;
    static std::vector<double> run_params;  // 17 entries
    static ModelInputs run_model;
public slots:
    void transfer_tp(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
                     double f_li_xc_t, double f_ch_xc_t, int ph_mode_t, double S_h_ion_manual_t,
                     double T_1_t, double T_2_t, double P_atm1_t, double P_atm2_t,
                     double V_t1_t, double V_t2_t, int mode_t, double t_sr_t);
};

class calc_POMP : public SimulationWorker {
    Q_OBJECT
public:
    explicit calc_POMP(QObject *parent = nullptr) : SimulationWorker(parent) {}
    static ResultRows results_R1;
    static int results_rows;
    static std::vector<double> run_params;  // 18 entries
    static ModelInputs run_model;
public slots:
    void transfer(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
                  double f_li_xc_t, double f_ch_xc_t, int ph_mode_t, double S_h_ion_manual_t,
                  double T_1_t, double P_atm1_t, double V_t1_t, int mode_t, double mix_i_t);
};
