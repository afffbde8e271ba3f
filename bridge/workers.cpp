// The four run slots. Every configuration runs through the same procedure; they differ in
// their script, their callback module, MyFunc's argument order and the shape of the table.
#include "scripthost.h"

#include <pybind11/stl.h>

#include "runinputs.h"
#include "scriptsource.h"

#include <configuration.h>

#include <QtGlobal>


namespace {

// The eight feed and pH inputs every run slot receives first, in the slots' order.
void storeFeed(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
               double f_li_xc_t, double f_ch_xc_t, int ph_mode_t, double S_h_ion_manual_t)
{
    RunInputs::final_Q_in = final_Q_in_t;
    RunInputs::X_c_in = X_c_in_t;
    RunInputs::t_end = t_end_t;
    RunInputs::f_pr_xc = f_pr_xc_t;
    RunInputs::f_li_xc = f_li_xc_t;
    RunInputs::f_ch_xc = f_ch_xc_t;
    RunInputs::ph_mode = ph_mode_t;
    RunInputs::S_h_ion_manual = S_h_ion_manual_t;
}

// MyFunc's first eight arguments, alike in every configuration; the timespan comes before the
// feed concentration.
py::tuple feedArguments()
{
    return py::make_tuple(RunInputs::final_Q_in, RunInputs::t_end, RunInputs::X_c_in,
                          RunInputs::ph_mode, RunInputs::S_h_ion_manual, RunInputs::f_pr_xc,
                          RunInputs::f_li_xc, RunInputs::f_ch_xc);
}

py::tuple joined(const py::tuple &head, const py::tuple &tail)
{
    auto both = py::reinterpret_steal<py::tuple>(PySequence_Concat(head.ptr(), tail.ptr()));
    if (!both)
        throw py::error_already_set();
    return both;
}

// The record the workbook's input sheet shows, from what the store holds now (laid out by the
// declaration of the inputs).
std::vector<double> storedRecord()
{
    RunRequest stored;
    stored.mode = RunInputs::mode;
    stored.final_Q_in = RunInputs::final_Q_in;
    stored.X_c_in = RunInputs::X_c_in;
    stored.t_end = RunInputs::t_end;
    stored.f_pr_xc = RunInputs::f_pr_xc;
    stored.f_li_xc = RunInputs::f_li_xc;
    stored.f_ch_xc = RunInputs::f_ch_xc;
    stored.ph_mode = RunInputs::ph_mode;
    stored.S_h_ion_manual = RunInputs::S_h_ion_manual;
    stored.T_1 = RunInputs::T_1;
    stored.T_2 = RunInputs::T_2;
    stored.P_atm1 = RunInputs::P_atm1;
    stored.P_atm2 = RunInputs::P_atm2;
    stored.V_t1 = RunInputs::V_t1;
    stored.V_t2 = RunInputs::V_t2;
    stored.t_sr = RunInputs::t_sr;
    stored.mix_i = RunInputs::mix_i;
    return runRecord(stored);
}

// Every model constant, at its default or the run's own value, as a name of the script's namespace.
void setModelConstants(const py::dict &mainNamespace, const ParameterValues &overrides)
{
    for (const auto &[parameter, value] : parameterValues(overrides))
        mainNamespace[py::str(parameter->name.toStdString())] = value;
}

// MyFunc's keyword arguments: the feed schedule's columns by name, when the run has one, the
// start other than the start-up (initial_state 'steady', or a saved state's blocks by state name
// and start_day, the day it was reached), engine 'compiled' when the kernel integrates the whole
// run, and ph_solver 'damped' for the free pH's earlier solver (the scripts' default is 'exact').
py::dict modelKeywords(const ModelInputs &model)
{
    py::dict keywords;
    if (model.phSolver == PhSolver::Damped)
        keywords["ph_solver"] = phSolverName(model.phSolver);
    if (model.engine == Engine::Compiled)
        keywords["engine"] = engineName(model.engine);
    if (model.start.kind == StartState::Kind::Steady)
        keywords["initial_state"] = kSteadyStart;
    if (model.start.kind == StartState::Kind::Saved) {
        py::list blocks;
        for (const StateBlock &block : model.start.saved) {
            py::dict values;
            for (const auto &[name, value] : block)
                values[py::str(name.toStdString())] = value;
            blocks.append(values);
        }
        keywords["initial_state"] = blocks;
        keywords["start_day"] = model.start.day;
    }
    const FeedSchedule *feed = model.feed.get();
    if (!feed)
        return keywords;
    py::dict columns;
    for (int i = 0; i < feed->columns.size(); ++i)
        columns[py::str(feed->columns[i].toStdString())] =
            py::cast(std::vector<double>(feed->values[i].cbegin(), feed->values[i].cend()));
    keywords["feed"] = columns;
    return keywords;
}

// One run after the slot has taken its turn and stored its inputs. arguments(progress,
// cancel) gives MyFunc's arguments after the first eight. The table goes to
// Worker::results_R1, and for two-reactor configurations its second half to *second.
template <class Worker, class Arguments>
void performRun(Worker &worker, const RunTurn &turn, const Configuration &script,
                ResultRows *second, Arguments arguments)
{
    emit worker.inprogress(0);
    callback_handler<Worker> progress(&worker);
    getvalue_handler<Worker> cancel(&worker);
    const auto stopped = [&] { return cancel.told_to_stop || worker.w_closed.load() != 0; };
    bool produced = false;
    QString failure;
    try {
        const std::string program =
            worker.program_text.empty()
                ? programText(script.scriptId, QString::fromLatin1(script.scriptName))
                : worker.program_text;
        const std::string fileName = std::string("<") + script.scriptName + ">";
        ModelScriptHost host(turn);
        try {
            const py::dict mainNamespace = host.prepareInterpreter<Worker>(script.callbackModule);
            setModelConstants(mainNamespace, worker.model_inputs.parameters);
            ModelScriptHost::offerKernel(worker.model_inputs.engine != Engine::Scripts);
            const py::tuple all = joined(
                feedArguments(),
                arguments(py::cast(&progress, py::return_value_policy::reference),
                          py::cast(&cancel, py::return_value_policy::reference)));
            const py::object result =
                host.runEntryFunction(program, fileName.c_str(), mainNamespace, all,
                                      modelKeywords(worker.model_inputs), worker);
            if (!stopped()) {
                ModelScriptHost::copyResultTable(result, Worker::results_R1, second);
                produced = true;
            }
        } catch (py::error_already_set &error) {
            failure = host.report(error);
        }
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
        qWarning("%s", error.what());
    }
    Worker::results_rows = int(Worker::results_R1.size());
    Worker::run_params = storedRecord();
    Worker::run_model = worker.model_inputs;
    if (stopped())
        return;
    if (produced)
        emit worker.workFinished(QString());
    else
        emit worker.workFailed(failure);
}

}  // namespace

void calc_SSAD::transfer(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
                         double f_li_xc_t, double f_ch_xc_t, int ph_mode_t,
                         double S_h_ion_manual_t, double T_1_t, double P_atm1_t, double V_t1_t,
                         int mode_t)
{
    const RunTurn turn;
    storeFeed(final_Q_in_t, X_c_in_t, t_end_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t, ph_mode_t,
              S_h_ion_manual_t);
    RunInputs::T_1 = T_1_t;
    RunInputs::P_atm1 = P_atm1_t;
    RunInputs::V_t1 = V_t1_t;
    RunInputs::mode = mode_t;
    performRun(*this, turn, configuration(1), nullptr,
               [](py::object progress, py::object cancel) {
                   return py::make_tuple(RunInputs::T_1, RunInputs::P_atm1, RunInputs::V_t1,
                                         progress, cancel);
               });
}

void calc_TSAD::transfer_ts(double final_Q_in_t, double X_c_in_t, double t_end_t,
                            double f_pr_xc_t, double f_li_xc_t, double f_ch_xc_t, int ph_mode_t,
                            double S_h_ion_manual_t, double T_1_t, double P_atm1_t,
                            double P_atm2_t, double V_t1_t, double V_t2_t, int mode_t)
{
    const RunTurn turn;
    storeFeed(final_Q_in_t, X_c_in_t, t_end_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t, ph_mode_t,
              S_h_ion_manual_t);
    RunInputs::T_1 = T_1_t;
    RunInputs::P_atm1 = P_atm1_t;
    RunInputs::P_atm2 = P_atm2_t;
    RunInputs::V_t1 = V_t1_t;
    RunInputs::V_t2 = V_t2_t;
    RunInputs::mode = mode_t;
    performRun(*this, turn, configuration(2), &results_R2,
               [](py::object progress, py::object cancel) {
                   return py::make_tuple(RunInputs::T_1, RunInputs::P_atm1, RunInputs::P_atm2,
                                         RunInputs::V_t1, RunInputs::V_t2, progress, cancel);
               });
}

void calc_TPAD::transfer_tp(double final_Q_in_t, double X_c_in_t, double t_end_t,
                            double f_pr_xc_t, double f_li_xc_t, double f_ch_xc_t, int ph_mode_t,
                            double S_h_ion_manual_t, double T_1_t, double T_2_t,
                            double P_atm1_t, double P_atm2_t, double V_t1_t, double V_t2_t,
                            int mode_t, double t_sr_t)
{
    const RunTurn turn;
    storeFeed(final_Q_in_t, X_c_in_t, t_end_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t, ph_mode_t,
              S_h_ion_manual_t);
    RunInputs::T_1 = T_1_t;
    RunInputs::T_2 = T_2_t;
    RunInputs::P_atm1 = P_atm1_t;
    RunInputs::P_atm2 = P_atm2_t;
    RunInputs::V_t1 = V_t1_t;
    RunInputs::V_t2 = V_t2_t;
    RunInputs::mode = mode_t;
    RunInputs::t_sr = t_sr_t;
    performRun(*this, turn, configuration(3), &results_R2,
               [](py::object progress, py::object cancel) {
                   // The second reactor's values travel as one tuple after the callbacks.
                   return py::make_tuple(RunInputs::T_1, RunInputs::P_atm1, RunInputs::V_t1,
                                         progress, cancel,
                                         py::make_tuple(RunInputs::T_2, RunInputs::P_atm2,
                                                        RunInputs::V_t2, RunInputs::t_sr));
               });
}

void calc_POMP::transfer(double final_Q_in_t, double X_c_in_t, double t_end_t, double f_pr_xc_t,
                         double f_li_xc_t, double f_ch_xc_t, int ph_mode_t,
                         double S_h_ion_manual_t, double T_1_t, double P_atm1_t, double V_t1_t,
                         int mode_t, double mix_i_t)
{
    const RunTurn turn;
    storeFeed(final_Q_in_t, X_c_in_t, t_end_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t, ph_mode_t,
              S_h_ion_manual_t);
    RunInputs::T_1 = T_1_t;
    RunInputs::P_atm1 = P_atm1_t;
    RunInputs::V_t1 = V_t1_t;
    RunInputs::mode = mode_t;
    RunInputs::mix_i = mix_i_t;
    performRun(*this, turn, configuration(4), nullptr,
               [](py::object progress, py::object cancel) {
                   return py::make_tuple(RunInputs::T_1, RunInputs::P_atm1, RunInputs::V_t1,
                                         RunInputs::mix_i, progress, cancel);
               });
}
