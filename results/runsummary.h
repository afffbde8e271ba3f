#pragma once

// The summary of a finished run that engineers read first: final and peak gas flows, final
// gas shares and liquid state, the gas produced over the run per reactor, and the loading and
// methane yield of the whole run. Computed once from the result tables; the command line, the
// summary JSON, the workbook's "SUMMARY" sheet and the results pages only format it.

#include "resultrows.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

struct SummaryValue {
    QString key;    // "r1_final_gas_flow", ..., "organic_loading_rate"
    QString label;  // "Reactor 1 final gas flow"
    QString unit;   // "m3/d"; "-" for pH
    double value;   // NaN or infinite when the run gave no number
};

struct RunSummary {
    QString configuration;  // "ssad", "tsad", "tpad", "pomp"
    int reactors = 1;
    double days = 0;        // time of the last summarised row
    bool stoppedEarly = false;
    QString engine;         // "native" or "scripts": which right-hand side the run integrated
    // Eleven values per reactor (reactor 1, then reactor 2 for two-reactor runs), then the
    // organic loading rate and the specific methane yield.
    std::vector<SummaryValue> values;

    QStringList notNumbers() const;  // keys of the values that are NaN or infinite
};

struct SummaryInputs {
    QString configuration;
    const ResultRows *reactor1 = nullptr;
    const ResultRows *reactor2 = nullptr;  // null for single-reactor runs
    int rows = 0;                          // rows to summarise: the computed rows
    bool stoppedEarly = false;
    double finalFeedFlow = 0;         // m3/d, the feed after the start-up ramp
    double biomassConcentration = 0;  // kgCOD/m3 of composites in the feed
    double totalVolume = 0;           // m3, all reactors together
};

// Final values come from the last summarised row; totals integrate the normal gas flow over
// the rows' times with the trapezoid rule. Without rows every reactor value is NaN.
// The specific methane yield divides by the COD fed: a run without feed has none, and its
// yield stays in the list as a value that is not a number (NaN or infinite), so readers find
// every key in every summary.
RunSummary summarizeRun(const SummaryInputs &in);

// {"configuration", "days", "stopped_early", "not_numbers", "values": [{key, label, value,
// unit}, ...]}; a value that is not a number is null.
QJsonObject summaryJson(const RunSummary &s);

// One short line per reactor for the results pages, reactor 1 first:
// "Methane 123.4 Nm3 over 50 d · CH4 61.2 % · pH 7.38".
QStringList summaryLines(const RunSummary &s);

// The text the command line prints after a run: one line per value, then what is not a number
// and whether the run stopped early.
QString summaryText(const RunSummary &s);

// The rows of the workbook's "SUMMARY" sheet: notes (stopped early, values that are not
// numbers) when there are any, a table of the reactor values with one column per reactor,
// then the run's own values. Numbers are doubles, everything else text.
std::vector<std::vector<QVariant>> summarySheetRows(const RunSummary &s);
