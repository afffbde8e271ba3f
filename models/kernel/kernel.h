#pragma once

// The compiled right-hand side of the four configurations, the pH solver and the values an
// evaluation publishes, as the module "digestra_kernel" that the model scripts import. It
// computes what the scripts' own Python code computes, in the same order of operations and
// with the same libm functions, so that the integrator takes the same steps.

namespace pybind11 {
class module_;
}

// Defines the module's classes and functions in the given (new, empty) module. Called once
// per process: pybind11 registers a class only once.
void addKernelBindings(pybind11::module_ &module);
