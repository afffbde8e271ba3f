#pragma once

// The four reactor configurations and the inputs a run takes, each declared once here: the
// window's fields, the command line and its help, batch lines, input files, the study runner
// (through digestra-cli --describe) and the workbook's run record all read these tables.

#include "runrequest.h"

#include <QString>
#include <QStringList>

#include <limits>
#include <utility>
#include <vector>

// Everything the user gives for a run, in the order the pages, the command line's help and the
// files list them.
enum class Input { Config, FeedFlow, BiomassConcentration, Timespan, Fpr, Fli, Fch, Ph, Unit, T1, T2, P1, P2, V1, V2, Tsr, MixI,
                   MethaneLhv, EtaEl, EtaTh, OwnUse, FeedTemperature, AmbientTemperature, UValue,
                   FosTacWarning, FosTacCritical, PhLow, VfaHigh, ChpPower, GasStorage };

// What an input field takes as it is typed (its validator's pattern, see inputfields.h).
enum class FieldKind {
    Decimal,   // digits with one decimal point: feed, concentration, timespan, every reactor field
    Fraction,  // "0." and digits, below 1: the fractioning factors
    Ph,        // 1 to 12 with at most two decimals: the manual pH
    Choice,    // a radio button: no text field
};

// A temperature in °C plus this is in kelvin.
inline constexpr double kCelsiusOffset = 273.15;

// Configurations as bits of a set: 1 << mode.
inline constexpr unsigned kSsad = 1u << 1, kTsad = 1u << 2, kTpad = 1u << 3, kPomp = 1u << 4;
inline constexpr unsigned kEveryConfiguration = kSsad | kTsad | kTpad | kPomp;

// One input: what it is, its default, the values it takes and where it goes.
struct InputInfo {
    Input input;
    const char *key;    // option name of the command line, key of batch lines, input and study files: "q-in"
    const char *label;  // "Input biomass flux"
    const char *unit;   // of the value in a RunRequest: "m3/d"; "" for a choice
    const char *help;   // one sentence for --help and --describe
    const char *resetText;  // the text a reset writes, and the default where startTexts says nothing
    std::vector<std::pair<unsigned, const char *>> startTexts;  // configurations whose field starts elsewhere
    const char *choices = nullptr;  // space-separated words the input takes ("K C"; "free" beside the pH's number)
    unsigned configurations = kEveryConfiguration;  // those that take it
    double RunRequest::*field = nullptr;  // numbers only; the pH is special (ph_mode and 10^-pH)
    FieldKind fieldKind = FieldKind::Decimal;
    bool temperature = false;  // given in K, or in °C with unit = "C"
    // The valid range, in the unit above (temperatures in K).
    double lowest = -std::numeric_limits<double>::infinity();
    double highest = std::numeric_limits<double>::infinity();
    unsigned lowestExcludedIn = 0;  // configurations where the lowest itself is refused
    bool highestExcluded = false;
    int decimals = -1;              // at most this many decimals; -1 any
    int recordPosition = -1;        // in the workbook's run record; -1 none of its own
    bool plant = false;             // the plant's energy and alarm inputs: not on the input pages

    bool isNumber() const { return field != nullptr || input == Input::Ph; }
    bool takes(int mode) const { return configurations & (1u << mode); }
    // The text a field of configuration mode starts from.
    const char *startText(int mode) const;
};

// Every input, in the order the pages show them.
const std::vector<InputInfo> &inputInfos();
const InputInfo &inputInfo(Input input);
// The input of a key ("q-in"); null when there is none.
const InputInfo *inputInfoByKey(const QString &key);

struct Configuration {
    int mode;                // 1 single-stage, 2 two-stage, 3 temperature-phased, 4 pump-mixed
    const char *code;        // "ssad"
    const char *name;        // as the input page shows it
    int reactors;
    int scriptId;            // model script resource ID
    const char *scriptName;  // its resource type in lower case, the file name in tracebacks
    const char *callbackModule;
    int recordEntries;       // the length of its run record
};

const std::vector<Configuration> &configurations();
// mode 1 to 4.
const Configuration &configuration(int mode);
// The configuration of a code ("ssad", any case); null when there is none.
const Configuration *configurationByCode(const QString &code);

// The codes of a set of configurations, in table order: {"tsad", "tpad"}.
QStringList configurationCodes(unsigned set);

// Whether a configuration takes an input.
bool applies(Input input, int mode);

// The run the input fields describe at start-up (manual pH).
RunRequest defaultRequest(int mode);
