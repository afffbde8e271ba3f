#pragma once

// A model state to start a run from, and state files: what a run reached, written as JSON so that
// another run can start there. A file holds every reactor's state (each section's for the
// pump-mixed digester) by state name, the day reached, the configuration and its inputs, the model
// constants and the feed in force, and the program's version. Numbers are written in their
// shortest exact form, in any locale, and read back to the same double.

#include "feedschedule.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

struct RunRequest;

// One reactor's (one section's) state: values by state name, in the model's order.
using StateBlock = std::vector<std::pair<QString, double>>;
using ModelState = std::vector<StateBlock>;

// A state file's state and the day it was reached on.
struct SavedState {
    ModelState state;
    double day = 0;
};

// Where a run starts: on day 0 at the model's built-in start-up state or at the steady state of the
// run's constants under its first feed row, or at a saved state on the day it was reached, from
// which the run goes on (its rows and its feed carry the days from there to t-end).
struct StartState {
    enum class Kind { StartUp, Steady, Saved };
    Kind kind = Kind::StartUp;
    QString file;      // Saved: the state file read, absolute
    ModelState saved;  // Saved: its blocks
    double day = 0;    // the day the run starts on
};

// The word of the steady state where a state file's name goes ("steady").
extern const char *const kSteadyStart;

// The blocks of a state of configuration mode: the pump-mixed digester's three sections, or one
// per reactor.
int stateBlocks(int mode);

// The state file of a run of request that reached state on day t.
QByteArray stateFileText(const RunRequest &request, const ModelState &state, double t, const QString &version);

// The names of a reactor's state, in the model's order: the feed's 26 components, then the
// headspace's hydrogen, methane and carbon dioxide.
const QStringList &stateNames();

// The most a state value may be, in kgCOD/m3 or kmol/m3: a cubic metre holds about 1 000 kg, and
// the richest organic matter about 3 kgCOD/kg (lipids 2.9), so no liquid reaches 3 000 kgCOD/m3;
// water itself is 55 kmol/m3.
inline constexpr double kLargestStateValue = 1e4;
// How far below 0 a state value may be: a run's own last row may hold a washed-out population a
// little below 0 (-2e-16 seen) and is judged sound down to ten times its integrator's tolerance,
// 10 × 1e-6 × the column's magnitude; 1e-4 covers columns up to 10.
inline constexpr double kStateBelowZero = 1e-4;

// A state file for a run of configuration mode. Refused, naming the key: a file of another
// configuration or with another number of blocks, a block that lacks a state or names one the
// model does not have, a key given twice anywhere in the file, a value that is not a number from
// -kStateBelowZero to kLargestStateValue, or without a day (0 or more). Read through the guard of readGuardedFile (guardedfile.h).
FileReading<SavedState> readStateFile(const QString &path, int mode);
