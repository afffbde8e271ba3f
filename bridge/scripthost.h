#pragma once

// The bridge's road into the embedded interpreter. Include this header before any Qt header:
// Python's headers do not compile after Qt's `slots` keyword. Only bridge sources include it.

#include <pybind11/embed.h>
#include <pybind11/numpy.h>

#include "callbacks.h"
#include "workers.h"

#include <QString>

#include <mutex>
#include <optional>
#include <string>

namespace py = pybind11;

// The interpreter serves one run at a time. A run holds its turn from the storing of its
// inputs to its last signal; the next run, from whatever thread, waits here until then.
class RunTurn {
public:
    RunTurn();

private:
    std::unique_lock<std::mutex> lock;
};

// One run's time inside the interpreter. Creating the host starts the interpreter on the first
// run of the process (it is never shut down) and holds the interpreter lock until the host is
// destroyed, so every Python object of the run must be declared after it.
class ModelScriptHost {
public:
    // Throws std::runtime_error when the interpreter cannot start.
    explicit ModelScriptHost(const RunTurn &turn);

    // Creates the callback module (anew at every run), imports numpy and returns the main
    // namespace, which the program text uses as its globals and locals.
    template <class Worker>
    py::dict prepareInterpreter(const char *moduleName);

    // Offers the scripts the compiled kernel as the module "digestra_kernel", or makes its
    // import fail (ImportError) so that they run their own Python code.
    static void offerKernel(bool offered);

    // Executes the program text and calls its MyFunc with the arguments and keywords; returns what MyFunc
    // returned. The caller's lastRunCost() then gives the call's wall time and the model's
    // right-hand-side count, its lastFinalState() the script's final_state and its lastStopReason() the
    // script's stop_reason. What the text and the integrator write on descriptor 1 meanwhile
    // goes to standard error, each line behind "integrator: ".
    py::object runEntryFunction(const std::string &program, const char *fileName,
                                const py::dict &mainNamespace, const py::tuple &arguments,
                                const py::dict &keywords, SimulationWorker &caller);

    // Copies a returned table of 50 columns into first, or of 100 columns into first (0-49)
    // and second (50-99). Anything else is a TypeError; the tables change only on success.
    static void copyResultTable(const py::object &result, ResultRows &first, ResultRows *second);

    // Prints the error's traceback on standard error when the environment variable
    // DIGESTRA_DEBUG is 1, and returns its last line, such as
    // "ZeroDivisionError: float division by zero", followed by the integrator's last message
    // of this run when it wrote one: "...; the integrator's last message: ...".
    QString report(py::error_already_set &error) const;

private:
    std::optional<py::gil_scoped_acquire> gil;
    QString integratorMessage;  // the last line caught from descriptor 1, if any
};

template <class Worker>
py::dict ModelScriptHost::prepareInterpreter(const char *moduleName)
{
    using Progress = callback_handler<Worker>;
    using Cancel = getvalue_handler<Worker>;
    auto module = py::reinterpret_steal<py::module_>(PyModule_New(moduleName));
    if (!module)
        throw py::error_already_set();
    if (py::detail::get_type_info(typeid(Progress))) {
        // A class is registered once per process; the new module carries the same types.
        module.add_object("callback_handler", py::type::of<Progress>());
        module.add_object("getvalue_handler", py::type::of<Cancel>());
    } else {
        py::class_<Progress>(module, "callback_handler").def("__call__", &Progress::callback);
        py::class_<Cancel>(module, "getvalue_handler").def("__call__", &Cancel::getvalue);
    }
    py::module_::import("sys").attr("modules")[moduleName] = module;
    py::module_::import("numpy");
    return py::module_::import("__main__").attr("__dict__");
}
