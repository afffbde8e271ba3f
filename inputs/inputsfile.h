#pragma once

// Input files: the inputs of pages 0 to 4 as TOML, with the keys of digestra-cli's options
// without their dashes (and of a study file's [base]): "config", the inputs of the table
// ("q-in", "t1", ...), "ph" ("free" or a number), "unit" ("K" or "C", of t1 and t2), "feed" and
// "substrates" (files, relative ones beside the inputs file) and a [parameters] table of model
// constants (name = number). The window saves and opens them; digestra-cli reads them with --inputs.

#include "inputentries.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>

// The inputs as the fields hold them: texts, temperatures in the unit named.
struct InputValues {
    int mode = 1;
    bool celsius = false;
    bool freePh = false;
    QString manualPh = QString::fromLatin1(inputInfo(Input::Ph).resetText);  // when not free
    std::map<Input, QString> texts;  // the inputs given; only ones that apply to the configuration
    QString feed, substrates;        // the schedule's and substrates' files, absolute; empty: none
    QString initialState;            // "steady" or a state file, absolute; empty: the start-up
    PhSolver phSolver = PhSolver::Exact;  // written only when not the default
    ParameterValues parameters;      // the model constants changed
    SubstrateValues substrateValues;  // the lab values set over the substrates file's
};

struct InputsFileRead {
    InputValues values;            // meaningful when problems is empty
    GivenInputs given;             // the same, read as numbers
    QList<InputProblem> problems;  // every one found, in the file's order; an empty key for the file as a whole

    // One line per problem: "line 3, t-end: needs a number, not a text".
    QString describe() const;
};

// One problem of a file: "line 3, t-end: needs a number, not a text".
QString fileProblemText(const InputProblem &problem);

// The file's text: the configuration, the inputs in page order (empty fields left out, and the
// feed's flow and concentration when a schedule replaces them), the pH, when a temperature is
// given its unit, the feed and substrates files, the [substrate-values] table of the lab values set
// over the substrates file's, and the [parameters] table of the changed constants.
QByteArray inputsFileText(const InputValues &values);

// Reads and checks the whole file in one pass: every problem of every key (type, applicability,
// range, decimals, the fraction sum), with its line.
InputsFileRead readInputsFile(const QString &path);
// folder: where relative feed and substrates files are.
InputsFileRead parseInputsText(const QByteArray &text, const QString &folder = {});
