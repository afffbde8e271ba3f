#pragma once

// Inputs as a front end receives them, by key (a command line, a batch line, an input file),
// read through the declaration: every entry is checked on its own and every problem kept, then
// the entries of one or more sources make a run's request.

#include "configuration.h"

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <map>
#include <optional>
#include <vector>

// One input given: its key, its value (a number or a text, as JSON holds them; anything else is
// refused), the line of the file that gave it (0: not from a file).
struct InputEntry {
    QString key;
    QJsonValue value;
    int line = 0;
};

enum class EntryValues {
    Typed,            // numbers are numbers (input files)
    NumbersOrTexts,   // a number may also be the text of one (batch lines)
    Texts,            // every value is a text, numbers in the C locale's notation (command-line options)
};

// What one source gave, read.
struct GivenInputs {
    int mode = 0;          // the configuration it names; 0 when it names none
    bool celsius = false;  // its temperatures were given in °C (converted below)
    std::optional<bool> freePh;
    std::map<Input, double> numbers;  // temperatures in kelvin, the manual pH as a pH
    std::map<Input, int> lines;       // of every input given
    // The feed schedule's and the substrates' files (a file's own resolved against its folder),
    // the model constants changed, by name, and the line of each ("feed", "parameters.km_ac").
    std::optional<QString> feed, substrates;
    std::optional<Engine> engine;
    std::optional<PhSolver> phSolver;
    // The start ("start-up", "steady" or a state file) and the final state's file, as for feed.
    std::optional<QString> initialState, finalState;
    ParameterValues parameters;
    SubstrateValues substrateValues;  // lab values set over the substrates file's ("maize.BMP")
    std::map<QString, int> modelLines;
    QList<InputProblem> problems;     // in the order given
};

// Each entry against the declaration: a known key, a value of its kind, an input the
// configuration takes (the source's own, else `fallbackMode`) and decimals. Ranges that need the
// whole request are the business of composeRequest. Relative file names resolve against folder
// when one is given.
GivenInputs readInputEntries(const std::vector<InputEntry> &entries, EntryValues values, int fallbackMode = 1,
                             const QString &folder = {});

// A request and every problem of its ranges and sums, each tagged with the index of the source
// (in the order given to composeRequest) that gave the value, and its line there; -1 when no
// source gave it.
struct ComposedRequest {
    RunRequest request;
    QList<std::pair<int, InputProblem>> problems;
    QStringList warnings;  // what the feed's files hold but looks doubtful ("file:line:column: text")
};

// The defaults of configuration mode, then the inputs of each source that apply to it, later
// sources winning (the model constants name by name, the feed of the last source naming one,
// read with its substrates, the start state file of the last naming one, read for the
// configuration); then checkRunRequest and checkModelInputs. A source may not give a
// feed schedule and the inputs it replaces (q-in, x-c-in).
ComposedRequest composeRequest(int mode, std::initializer_list<const GivenInputs *> sources);

// "needs a number, not a text".
QString typeName(const QJsonValue &value);
