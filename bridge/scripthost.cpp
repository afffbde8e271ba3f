#include "scripthost.h"

#include "stdoutcapture.h"

#include <kernel.h>

#include <QFileInfo>

#include <chrono>
#include <stdexcept>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

std::mutex runMutex;  // one run inside the interpreter at a time

#if defined(__x86_64__)
__attribute__((target("avx"))) void zeroUpperVectorHalves() { _mm256_zeroupper(); }
#endif

// Code that ran in the process before a run may leave the upper halves of the AVX registers in
// use. Until something clears them, every non-AVX vector instruction pays for them: on an
// AVX-512 processor every free-pH run after a process's first (in a batch process, a study's
// worker, the window) ran 2 times slower on the scripts' own code and 6 times on the compiled
// kernel, most of it in libm's pow, which the ion balance calls at every step. Clearing them
// changes no number.
void clearVectorState()
{
#if defined(__x86_64__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        zeroUpperVectorHalves();
#endif
}

// Python's home is "script_libs" in the working directory when that folder holds a standard
// library of this Python version; otherwise the system's Python with its numpy and scipy.
std::optional<std::string> scriptLibsHome()
{
    const QString marker = QStringLiteral("script_libs/lib/python%1.%2/os.py")
                               .arg(PY_MAJOR_VERSION)
                               .arg(PY_MINOR_VERSION);
    if (!QFileInfo::exists(marker))
        return std::nullopt;
    return QFileInfo(QStringLiteral("script_libs")).absoluteFilePath().toStdString();
}

// Why a start failed, as the user reads it: a home the user put in place is named, with the
// way out.
std::string startFailure(bool fromScriptLibs, const std::string &reason)
{
    if (!fromScriptLibs)
        return "Python could not start: " + reason;
    return "script_libs/ holds a Python that could not start: " + reason
           + "; remove it or fix it, then restart Digestra";
}

// Starts the interpreter once per process; a failed start is remembered, as Python cannot be
// started a second time. A Python started from script_libs must also find the model's
// packages there, or it is a failed start too. Called only while holding a run turn.
void startInterpreter()
{
    static bool running = false;
    static std::string failure;
    if (!failure.empty())
        throw std::runtime_error(failure);
    if (running)
        return;

    // The integrator's Fortran runtime holds what it prints on standard output until the
    // process ends unless told otherwise before it loads; unbuffered, its messages leave while
    // the run that caused them is still capturing them.
    qputenv("GFORTRAN_UNBUFFERED_PRECONNECTED", "y");

    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    // Without an absolute program name a python3 from another prefix first on PATH would lead
    // Debian's libpython to look for its packages in the wrong place.
    PyStatus status = PyConfig_SetString(&config, &config.program_name, L"/usr/bin/python3");
    const std::optional<std::string> home = scriptLibsHome();
    if (!PyStatus_Exception(status) && home)
        status = PyConfig_SetBytesString(&config, &config.home, home->c_str());
    try {
        if (PyStatus_Exception(status)) {
            PyConfig_Clear(&config);
            throw std::runtime_error(status.err_msg ? status.err_msg : "cannot configure Python");
        }
        py::initialize_interpreter(&config, 0, nullptr, false);
    } catch (const std::exception &e) {
        failure = startFailure(home.has_value(), e.what());
        throw std::runtime_error(failure);
    }
    running = true;
    if (home) {
        try {
            py::module_::import("numpy");
            py::module_::import("scipy.integrate");
        } catch (const py::error_already_set &e) {
            const std::string error = e.what();  // the exception's line, then its traceback
            failure = startFailure(true, error.substr(0, error.find('\n')));
        }
    }
    // Every run takes the interpreter lock on its own thread; the starting thread gives it up
    // for good. (A bare PyEval_SaveThread would leave pybind11's shared state to be created
    // later without the lock.)
    new py::gil_scoped_release;
    if (!failure.empty())
        throw std::runtime_error(failure);
}

// Empties Python's buffer of standard output, so that what a script printed leaves on the
// side of a capture it was printed on. A failure to flush is dropped: it must not replace the
// run's own error.
void flushPythonStdout() noexcept
{
    PyObject *out = PySys_GetObject("stdout");  // borrowed; None when descriptor 1 was closed
    if (!out || out == Py_None)
        return;
    PyObject *flushed = PyObject_CallMethod(out, "flush", nullptr);
    if (flushed)
        Py_DECREF(flushed);
    else
        PyErr_Clear();
}

[[noreturn]] void raiseTypeError(const std::string &message)
{
    PyErr_SetString(PyExc_TypeError, message.c_str());
    throw py::error_already_set();
}

}  // namespace

RunTurn::RunTurn() : lock(runMutex) {}

ModelScriptHost::ModelScriptHost(const RunTurn &)
{
    startInterpreter();
    gil.emplace();
}

void ModelScriptHost::offerKernel(bool offered)
{
    static PyObject *kernel = nullptr;  // made once: its classes are registered once per process
    const py::object modules = py::module_::import("sys").attr("modules");
    if (!offered) {
        modules["digestra_kernel"] = py::none();
        return;
    }
    if (!kernel) {
        auto module = py::reinterpret_steal<py::module_>(PyModule_New("digestra_kernel"));
        if (!module)
            throw py::error_already_set();
        addKernelBindings(module);
        kernel = module.release().ptr();  // kept for the life of the interpreter
    }
    modules["digestra_kernel"] = py::reinterpret_borrow<py::object>(kernel);
}

py::object ModelScriptHost::runEntryFunction(const std::string &program, const char *fileName,
                                             const py::dict &mainNamespace,
                                             const py::tuple &arguments, const py::dict &keywords,
                                             SimulationWorker &caller)
{
    RunCost &cost = caller.last_cost;
    cost = RunCost{};
    caller.last_final_state.clear();
    caller.last_stop_reason.clear();
    // The namespace outlives runs: what another configuration's text left under the names read
    // here must not pass for this text's own.
    const std::pair<const char *, long RunCost::*> counts[] = {
        {"rhs_evaluations", &RunCost::rhs_evaluations},
        {"integrator_steps", &RunCost::integrator_steps},
        {"jacobian_evaluations", &RunCost::jacobian_evaluations}};
    for (const char *name : {"MyFunc", counts[0].first, counts[1].first, counts[2].first, "final_state", "stop_reason"})
        if (mainNamespace.contains(name))
            PyDict_DelItemString(mainNamespace.ptr(), name);
    // The program text and the integrator print on descriptor 1, which is not theirs.
    flushPythonStdout();
    StdoutCapture capture("integrator: ");
    const CallbackNoiseFilter quiet;
    const auto endCapture = [&] {
        flushPythonStdout();
        integratorMessage = QString::fromStdString(capture.finish());
    };
    py::object result;
    try {
        const py::module_ builtins = py::module_::import("builtins");
        const py::object code = builtins.attr("compile")(py::bytes(program), fileName, "exec");
        builtins.attr("exec")(code, mainNamespace, mainNamespace);
        if (!mainNamespace.contains("MyFunc")) {
            PyErr_SetString(PyExc_NameError, "name 'MyFunc' is not defined");
            throw py::error_already_set();
        }
        const py::object entry = mainNamespace["MyFunc"];

        const auto start = std::chrono::steady_clock::now();
        clearVectorState();
        result = entry(*arguments, **keywords);
        cost.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } catch (...) {
        endCapture();
        throw;
    }
    endCapture();
    for (const auto &[name, field] : counts) {
        if (!mainNamespace.contains(name))
            continue;
        const py::object count = mainNamespace[name];
        if (py::isinstance<py::int_>(count))
            cost.*field = count.cast<long>();
    }
    if (mainNamespace.contains("stop_reason") && py::isinstance<py::str>(mainNamespace["stop_reason"])) {
        caller.last_stop_reason = QString::fromStdString(mainNamespace["stop_reason"].cast<std::string>());
        if (!integratorMessage.isEmpty())
            caller.last_stop_reason += QStringLiteral("; the integrator's last message: ") + integratorMessage;
    }
    if (mainNamespace.contains("final_state") && py::isinstance<py::list>(mainNamespace["final_state"]))
        for (const py::handle block : mainNamespace["final_state"]) {
            StateBlock values;
            for (const auto &[name, value] : block.cast<py::dict>())
                values.emplace_back(QString::fromStdString(name.cast<std::string>()), value.cast<double>());
            caller.last_final_state.push_back(std::move(values));
        }
    return result;
}

void ModelScriptHost::copyResultTable(const py::object &result, ResultRows &first,
                                      ResultRows *second)
{
    constexpr size_t block = 50;
    const size_t width = second ? 2 * block : block;
    const std::string expected =
        ", not a 2-D float64 array of " + std::to_string(width) + " columns";
    if (!py::isinstance<py::array_t<double>>(result))
        raiseTypeError("MyFunc returned "
                       + std::string(py::str(py::type::of(result).attr("__name__")))
                       + (py::isinstance<py::array>(result)
                              ? " of dtype " + std::string(py::str(result.attr("dtype")))
                              : std::string())
                       + expected);
    const auto array = py::array_t<double, py::array::c_style>::ensure(result);
    if (!array)
        throw py::error_already_set();
    if (array.ndim() != 2 || size_t(array.shape(1)) != width)
        raiseTypeError("MyFunc returned an array of shape "
                       + std::string(py::str(array.attr("shape"))) + expected);

    const size_t rows = size_t(array.shape(0));
    ResultRows one(rows, std::vector<double>(block));
    ResultRows two(second ? rows : 0, std::vector<double>(block));
    const double *row = array.data();
    for (size_t r = 0; r < rows; ++r, row += width) {
        std::copy(row, row + block, one[r].begin());
        if (second)
            std::copy(row + block, row + width, two[r].begin());
    }
    first = std::move(one);
    if (second)
        *second = std::move(two);
}

QString ModelScriptHost::report(py::error_already_set &error) const
{
    QString lastLine;
    try {
        const py::list lines = py::module_::import("traceback")
                                   .attr("format_exception_only")(error.type(), error.value());
        lastLine = QString::fromStdString(std::string(py::str(lines[lines.size() - 1])));
    } catch (const py::error_already_set &) {
        lastLine = QString::fromUtf8(error.what()).section(QLatin1Char('\n'), 0, 0);
    }
    if (qEnvironmentVariableIntValue("DIGESTRA_DEBUG") == 1) {
        error.restore();
        PyErr_Print();
    }
    lastLine = lastLine.trimmed();
    if (!integratorMessage.isEmpty())
        lastLine += QStringLiteral("; the integrator's last message: ") + integratorMessage;
    return lastLine;
}
