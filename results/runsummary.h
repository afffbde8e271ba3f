#pragma once

// The summary of a finished run that engineers read first: final and peak gas flows, final
// gas shares and liquid state, the gas produced over the run per reactor, and the loading and
// methane yield of the whole run. Computed once from the result tables; the command line, the
// summary JSON, the workbook's "SUMMARY" sheet and the results pages only format it.

#include "labsubstrate.h"  // kMethanePerCod
#include "resultrows.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

struct FeedSchedule;

struct SummaryValue {
    QString key;    // "r1_final_gas_flow", ..., "organic_loading_rate"
    QString label;  // "Reactor 1 final gas flow"
    QString unit;   // "m3/d"; "-" for pH
    double value;   // NaN or infinite when the run gave no number
    QString note = {};  // why a value does not apply ("not applicable (no feed)"); it is NaN then
};

// A value of the result tables that cannot be trusted: not a number (NaN or infinite), or a
// number that no digester holds (see summarizeRun).
struct UnsoundValue {
    int reactor = 1;  // 0: a value of the whole run or of the plant's columns
    double day = 0;   // the time of its row
    QString column;   // the column's header, e.g. "CO2 %"
    double value = 0;

    bool isNumber() const { return std::isfinite(value); }
    // "values that are not numbers, first at day 0.4 in "pH" of reactor 1", or "physically
    // impossible values, first at day 3 in "CO2 %" of reactor 1 (100.588)".
    QString describe() const;
};

struct RunSummary {
    QString configuration;  // "ssad", "tsad", "tpad", "pomp"
    int reactors = 1;
    double days = 0;        // time of the last summarised row, to 6 significant digits
    double firstDay = 0;    // time of the first row: 0, or the day a saved start state was reached
    bool stoppedEarly = false;
    QString engine;         // "native", "scripts" or "compiled": how the run was integrated
    // Eleven values per reactor (reactor 1, then reactor 2 for two-reactor runs), then the
    // organic loading rate at the end and over the whole run, and the specific methane yield.
    std::vector<SummaryValue> values;
    std::optional<UnsoundValue> unsound;  // the first of the summarised rows, row by row

    QStringList notNumbers() const;  // keys of the values that are NaN or infinite and apply
};

// A feed row: in force after its day until the next row's day (the first row from day 0 on,
// the last to the end of the run), the rule of the model scripts.
struct FeedStep {
    double day = 0;
    double flow = 0;  // m3/d
    double cod = 0;   // kgCOD/m3 of organic matter flowing in
    double vs = std::numeric_limits<double>::quiet_NaN();  // t/d of organic dry matter (VS), where known
};

// The feed a run gets, as the model scripts feed it: the schedule's rows, or the built-in feed of
// finalFlow (m3/d) and composites (kgCOD/m3), which the pump-mixed run (mode 4) takes from day 0
// and the others as a ramp (a quarter of it on day 0, rising in daily steps to the whole from day
// 40 on).
std::vector<FeedStep> feedSteps(int mode, const FeedSchedule *feed, double finalFlow, double composites);
// The step in force at t: the last whose day lies before t (the first at day 0).
int feedRowAt(const std::vector<FeedStep> &feed, double t);

struct SummaryInputs {
    QString configuration;
    const ResultRows *reactor1 = nullptr;
    const ResultRows *reactor2 = nullptr;  // null for single-reactor runs
    int rows = 0;                          // rows to summarise: the computed rows
    bool stoppedEarly = false;
    std::vector<FeedStep> feed;            // the schedule, or the built-in start-up ramp
    double liquidVolume1 = 0;              // m3 of liquid in reactor 1
    double liquidVolume2 = 0;              // m3 of liquid in reactor 2 (two-reactor runs)
    // Fed over the summarised days by a schedule of substrates (t): fresh mass, dry matter and
    // organic dry matter; not a number where the feed does not tell (no substrates, or one
    // without lab values).
    double freshMassFed = std::numeric_limits<double>::quiet_NaN();
    double solidsFed = std::numeric_limits<double>::quiet_NaN();
    double volatileSolidsFed = std::numeric_limits<double>::quiet_NaN();
    double methanePotentialFed = std::numeric_limits<double>::quiet_NaN();  // Nm3 at their BMP
};

// Final values come from the last summarised row; peaks are the largest of all rows; totals
// integrate the normal gas flow over the rows' times with the trapezoid rule. Without rows
// every reactor value is NaN.
// The organic loading rate is the COD flowing in per m3 of liquid (all reactors) and day:
// "organic_loading_rate" with the feed row in force at the last summarised row, and
// "mean_organic_loading_rate" with the COD fed over the whole run (the feed rows integrated
// from the first row's day, 0 or a saved start's, to the last summarised row) divided by its days
// (over no days, the first row's).
// The specific methane yield is the normal methane of all reactors over the run divided by the
// COD fed over the same span: a run without feed has none, and its yield stays in the list,
// NaN with the note "not applicable (no feed)", so readers find every key in every summary.
// More methane than kMethanePerCod gives of the COD fed plus the most COD the liquids held in
// any row (their start contents; 1 % allowed for the integrator and the headspace's gas) is
// physically impossible: the summary is unsound, its column named "Specific methane yield".
// Less, but more than the feed alone can give, came from what the digesters held at the start:
// the yield does not apply then ("not applicable (methane mostly from the start contents)").
// Per reactor, the hydraulic retention time and the VS loading count the liquid of the reactors
// up to it (reactor 1 the first digester, the last the whole plant): "mean_hrt" over the feed
// volume of the run, "min_hrt" over the largest flow of the feed rows in force, "mean_vs_loading"
// with the VS fed over the run and "max_vs_loading" with the feed row that feeds the most VS.
// Without substrates with lab values the VS loading does not apply; the loading in COD
// ("organic_loading_rate") always does.
RunSummary summarizeRun(const SummaryInputs &in);

// {"configuration", "days", "first_day", "stopped_early", "not_numbers", "values": [{key, label, value,
// unit}, ...]}; a value that is not a number is null; one that does not apply also has a
// "note" ("not applicable (no feed)").
QJsonObject summaryJson(const RunSummary &s);

// One short line per reactor for the results pages, reactor 1 first:
// "Methane 123.4 Nm3 over 50 d · CH4 61.2 % · pH 7.38".
QStringList summaryLines(const RunSummary &s);

// The text the command line prints after a run: one line per value, then what is not a number
// and whether the run stopped early.
QString summaryText(const RunSummary &s);

// The rows of the workbook's "SUMMARY" sheet: notes (stopped early, values that are not
// numbers, the first unsound value) when there are any, a table of the reactor values with one column per reactor,
// then the run's own values. Numbers are doubles, everything else text.
std::vector<std::vector<QVariant>> summarySheetRows(const RunSummary &s);
