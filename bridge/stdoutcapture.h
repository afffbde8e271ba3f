#pragma once

// Keeps native code's writes on file descriptor 1 off standard output for as long as it lives.
// The model's integrator (Fortran code) prints its diagnostics there, NUL bytes included,
// bypassing Python's sys.stdout; the command-line runner's standard output is for the paths
// of the files it wrote. Each caught line goes to standard error behind a prefix, without its
// NUL bytes and trailing blanks.
//
// File descriptor 1 belongs to the whole process: only one capture at a time, and nothing
// else may write standard output meanwhile. Flush any buffered writer of it (Python's
// sys.stdout) before the capture starts and before it ends; C's stdout is flushed here.

#include <string>
#include <thread>

class StdoutCapture {
public:
    // Points descriptor 1 at a pipe drained by a reader thread. When descriptor 1 is not open
    // or no pipe can be made, nothing is redirected and nothing is caught.
    explicit StdoutCapture(std::string prefix);
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Restores descriptor 1 and returns the last non-empty line caught ("" if none). Later
    // calls return the same line.
    std::string finish();

private:
    void drain(int pipeEnd);
    void pass(std::string line);

    const std::string prefix;
    int savedStdout = -1;
    std::thread reader;
    std::string lastLine;  // written by the reader, read after it has ended
};

// Keeps the lines that NumPy's f2py wrappers print on descriptor 2 when a Python call-back fails
// ("capi_return is NULL", "Call-back cb_f_in_lsoda__user__routines failed.") off standard error
// for as long as it lives, unless the environment has DIGESTRA_DEBUG=1: the run's failure is told
// in one line of its own. Everything else written on descriptor 2 passes on as it comes. The
// same one-at-a-time rule as for StdoutCapture holds, for descriptor 2.
class CallbackNoiseFilter {
public:
    CallbackNoiseFilter();
    ~CallbackNoiseFilter();

    CallbackNoiseFilter(const CallbackNoiseFilter &) = delete;
    CallbackNoiseFilter &operator=(const CallbackNoiseFilter &) = delete;

private:
    void drain(int pipeEnd);

    int savedStderr = -1;
    std::thread reader;
};
