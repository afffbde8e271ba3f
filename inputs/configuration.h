#pragma once

// The four reactor configurations and the inputs a run takes, in one table that the window,
// the command line, the workers, the run core and the results all read: codes, names, reactor
// counts, model scripts, which inputs apply and the texts the input fields start from.

#include "runrequest.h"

#include <QString>

#include <vector>

// A number the user enters for a run.
enum class Input { FeedFlow, BiomassConcentration, Timespan, Fpr, Fli, Fch, T1, T2, P1, P2, V1, V2, Tsr, MixI };

struct InputInfo {
    Input input;
    const char *key;          // option name of the command line and key of input files: "q-in"
    const char *description;  // "Input biomass flux"
    const char *unit;         // of the value in a RunRequest: "m3/d"
    double RunRequest::*field;
    bool temperature = false;  // entered in K or °C
};

// Every input, in the order the pages show them.
const std::vector<InputInfo> &inputInfos();
const InputInfo &inputInfo(Input input);

// An input on a page, with the text its field shows.
struct InputDefault {
    Input input;
    const char *resetText;            // what a reset writes
    const char *startText = nullptr;  // the text at start-up, when it differs

    const char *initialText() const { return startText ? startText : resetText; }
};

struct Configuration {
    int mode;                // 1 single-stage, 2 two-stage, 3 temperature-phased, 4 pump-mixed
    const char *code;        // "ssad"
    const char *name;        // as the input page shows it
    int reactors;
    int scriptId;            // model script resource ID
    const char *scriptName;  // its resource type in lower case, the file name in tracebacks
    const char *callbackModule;
    bool needsFeed;          // its model divides by the feed flow: a batch run (no feed) is meaningless
    std::vector<InputDefault> inputs;  // the reactor page's, in page order
};

const std::vector<Configuration> &configurations();
// mode 1 to 4.
const Configuration &configuration(int mode);
// The configuration of a code ("ssad", any case); null when there is none.
const Configuration *configurationByCode(const QString &code);

// The inputs of the first page (feed, timespan, fractioning factors), common to every configuration.
const std::vector<InputDefault> &feedInputs();
extern const char *const kDefaultManualPh;  // "7.0"

// Whether a configuration takes an input.
bool applies(Input input, int mode);

// The run the input fields describe at start-up (manual pH).
RunRequest defaultRequest(int mode);
