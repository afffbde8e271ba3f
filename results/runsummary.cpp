#include "runsummary.h"

#include "resultcolumns.h"

#include <feedschedule.h>

#include <QJsonArray>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr int kGasflow = columnOf("gasflow");
constexpr int kPh = columnOf("pH");
constexpr int kSac = columnOf("S_ac");
constexpr int kSbu = columnOf("S_bu");
constexpr int kSpro = columnOf("S_pro");
constexpr int kSva = columnOf("S_va");
constexpr int kSnh3 = columnOf("S_nh3");
constexpr int kTotalCod = columnOf("Total COD");
static_assert(kGasflow >= 0 && kPh >= 0 && kSac >= 0 && kSbu >= 0 && kSpro >= 0 && kSva >= 0 && kSnh3 >= 0 &&
              kTotalCod >= 0);

struct Quantity {
    const char *key;
    const char *name;
    const char *unit;
};

// What is summarised per reactor, in the order of the summary; keys and labels get the
// reactor's "r1_" / "Reactor 1 " in front.
constexpr int kReactorQuantities = 11;
constexpr std::array<Quantity, kReactorQuantities> kReactorQuantity{{
    {"final_gas_flow", "final gas flow", "m3/d"},
    {"final_normal_gas_flow", "final normal gas flow", "Nm3/d"},
    {"peak_gas_flow", "peak gas flow", "m3/d"},
    {"final_ch4", "final CH4 share", "%"},
    {"final_co2", "final CO2 share", "%"},
    {"final_h2", "final H2 share", "%"},
    {"final_ph", "final pH", "-"},
    {"final_vfa", "final total VFA", "kgCOD/m3"},
    {"final_free_ammonia", "final free ammonia", "kmol/m3"},
    {"normal_biogas", "normal biogas produced", "Nm3"},
    {"normal_methane", "normal methane produced", "Nm3"},
}};

// The gas shares in the table are percentages; methane flows need the fraction.
double methaneFlow(const std::vector<double> &row) { return row[ResultCol::gasflow_N] * row[ResultCol::p_ch4] / 100; }

// The largest value of the rows; a value that is not a number makes the peak one too.
double peakOf(const ResultRows &table, int rows, int column)
{
    double peak = rows > 0 ? table[0][column] : kNaN;
    for (int i = 1; i < rows && !std::isnan(peak); ++i) {
        const double v = table[i][column];
        if (std::isnan(v) || v > peak)
            peak = v;
    }
    return peak;
}

// The trapezoid rule of f(row) over the rows' times.
template <typename F>
double producedOver(const ResultRows &table, int rows, F f)
{
    if (rows == 0)
        return kNaN;
    double total = 0;
    for (int i = 1; i < rows; ++i)
        total += (table[i][ResultCol::t] - table[i - 1][ResultCol::t]) * (f(table[i]) + f(table[i - 1])) / 2;
    return total;
}

// One reactor's values in the order of kReactorQuantity.
std::array<double, kReactorQuantities> reactorValues(const ResultRows &table, int rows)
{
    if (rows == 0) {
        std::array<double, kReactorQuantities> none;
        none.fill(kNaN);
        return none;
    }
    const std::vector<double> &last = table[rows - 1];
    return {last[kGasflow],
            last[ResultCol::gasflow_N],
            peakOf(table, rows, kGasflow),
            last[ResultCol::p_ch4],
            last[ResultCol::p_co2],
            last[ResultCol::p_h2],
            last[kPh],
            last[kSva] + last[kSbu] + last[kSpro] + last[kSac],
            last[kSnh3],
            producedOver(table, rows, [](const std::vector<double> &row) { return row[ResultCol::gasflow_N]; }),
            producedOver(table, rows, methaneFlow)};
}

// What no digester holds (see summarizeRun): the gas shares beyond rounding, concentrations
// and gas flows below zero beyond the integrator's tolerances.
constexpr double kShareSlack = 1e-3;           // percentage points
constexpr double kAtol = 1e-12, kRtol = 1e-6;  // the model scripts' LSODA tolerances
constexpr double kErrorGrowth = 10;            // allowed for errors that add up over steps
// Columns derived from states (S_co2 = S_IC - S_hco3_ion, the ions, the COD sums) carry the
// errors of the states they come from, typically of 0.1 kgCOD/m3 or kmol/m3: no column is
// judged on a smaller scale.
constexpr double kStateScale = 0.1;

bool possible(int column, double value, double largest)
{
    if (column == ResultCol::t || column == kPh)
        return true;
    if (column >= ResultCol::p_ch4 && column <= ResultCol::p_h2o)
        return value >= -kShareSlack && value <= 100 + kShareSlack;
    return value >= -kErrorGrowth * (kAtol + kRtol * std::max(largest, kStateScale));
}

std::optional<UnsoundValue> firstUnsound(const std::vector<const ResultRows *> &tables, int rows)
{
    std::vector<std::array<double, kResultColumns>> largest(tables.size());  // |value| so far
    for (auto &columns : largest)
        columns.fill(0.0);
    for (int i = 0; i < rows; ++i)
        for (size_t r = 0; r < tables.size(); ++r)
            for (int c = 0; c < kResultColumns; ++c) {
                const double value = (*tables[r])[i][c];
                largest[r][c] = std::max(largest[r][c], std::abs(value));
                if (!std::isfinite(value) || !possible(c, value, largest[r][c]))
                    return UnsoundValue{int(r) + 1, (*tables[r])[i][ResultCol::t],
                                        QString::fromUtf8(kResultColumnTable[c].header), value};
            }
    return std::nullopt;
}

QString reactorKey(int reactor, const char *key)
{
    return QStringLiteral("r%1_%2").arg(reactor).arg(QLatin1String(key));
}

double valueOf(const RunSummary &s, const QString &key)
{
    for (const SummaryValue &v : s.values)
        if (v.key == key)
            return v.value;
    return kNaN;
}

const QString kNotANumber = QStringLiteral("not a number");

QString daysText(double days) { return QString::number(days, 'g', 6); }

QString fixed(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : kNotANumber;
}

// Four significant digits, without an exponent for large totals.
QString fourDigits(double value)
{
    if (!std::isfinite(value))
        return kNotANumber;
    return std::abs(value) < 1e4 ? QString::number(value, 'g', 4) : QString::number(value, 'f', 0);
}

QString stoppedNote(const RunSummary &s) { return QStringLiteral("Stopped early at day %1.").arg(daysText(s.days)); }

QString notNumbersNote(const RunSummary &s)
{
    QStringList labels;
    for (const SummaryValue &v : s.values)
        if (!std::isfinite(v.value) && v.note.isEmpty())
            labels << v.label;
    return labels.isEmpty() ? QString()
                            : QStringLiteral("Values that are not numbers: %1.").arg(labels.join(QLatin1String(", ")));
}

QString unsoundNote(const RunSummary &s)
{
    if (!s.unsound)
        return {};
    QString note = s.unsound->describe() + QLatin1Char('.');
    note[0] = note[0].toUpper();
    return note;
}

QVariant cell(double value) { return std::isfinite(value) ? QVariant(value) : QVariant(kNotANumber); }

// A value as a reader sees it: the number, why it does not apply, or that it is none.
QVariant cell(const SummaryValue &v)
{
    return std::isfinite(v.value) || v.note.isEmpty() ? cell(v.value) : QVariant(v.note);
}

const QString kLoadingUnit = QStringLiteral("kgCOD/(m3·d)");

double codFlow(const FeedStep &step) { return step.flow * step.cod; }  // kgCOD/d

// What a rate of the feed rows (per day) adds up to from day start to day end.
template <typename Rate>
double fedUntil(const std::vector<FeedStep> &feed, double start, double end, Rate rate)
{
    double fed = 0;
    for (size_t i = 0; i < feed.size(); ++i) {
        const double from = std::max(i == 0 ? 0.0 : feed[i].day, start);
        const double to = i + 1 < feed.size() ? std::min(feed[i + 1].day, end) : end;
        if (to > from)
            fed += rate(feed[i]) * (to - from);
    }
    return fed;
}

// The largest rate of the feed rows in force up to day end; not a number where one is none.
template <typename Rate>
double largestUntil(const std::vector<FeedStep> &feed, double end, Rate rate)
{
    double largest = feed.empty() ? 0.0 : rate(feed[0]);
    for (int i = 1; i <= feedRowAt(feed, end) && std::isfinite(largest); ++i)
        largest = std::max(largest, rate(feed[size_t(i)]));
    return largest;
}

}  // namespace

std::vector<FeedStep> feedSteps(int mode, const FeedSchedule *feed, double finalFlow, double composites)
{
    std::vector<FeedStep> steps;
    if (feed)
        for (int row = 0; row < feed->values[0].size(); ++row)
            steps.push_back({feed->values[0][row], feed->values[1][row], feed->codOfRow(row),
                             row < feed->volatileSolids.size() ? feed->volatileSolids[row] : kNaN});
    else if (mode == 4)
        steps.push_back({0, finalFlow, composites});
    else
        for (int day = 0; day <= 40; ++day)
            steps.push_back({double(day), finalFlow * (0.01875 * day + 0.25), composites});
    return steps;
}

int feedRowAt(const std::vector<FeedStep> &feed, double t)
{
    const auto after = std::lower_bound(feed.cbegin(), feed.cend(), t,
                                        [](const FeedStep &step, double day) { return step.day < day; });
    return std::max(int(after - feed.cbegin()) - 1, 0);
}

QString UnsoundValue::describe() const
{
    if (reactor == 0 && isNumber())  // a value of the whole run
        return QStringLiteral("physically impossible values, \"%1\" of the whole run (%2)")
            .arg(column, QString::number(value, 'g', 6));
    if (reactor == 0)  // of the plant's columns or the run's values
        return QStringLiteral("values that are not numbers, first at day %1 in \"%2\" of the plant").arg(daysText(day), column);
    const QString where = QStringLiteral("first at day %1 in \"%2\" of reactor %3").arg(daysText(day), column).arg(reactor);
    return isNumber() ? QStringLiteral("physically impossible values, %1 (%2)").arg(where, QString::number(value, 'g', 6))
                      : QStringLiteral("values that are not numbers, ") + where;
}

QStringList RunSummary::notNumbers() const
{
    QStringList keys;
    for (const SummaryValue &v : values)
        if (!std::isfinite(v.value) && v.note.isEmpty())
            keys << v.key;
    return keys;
}

RunSummary summarizeRun(const SummaryInputs &in)
{
    RunSummary s;
    s.configuration = in.configuration;
    s.reactors = in.reactor2 ? 2 : 1;
    s.stoppedEarly = in.stoppedEarly;

    std::vector<const ResultRows *> tables{in.reactor1};
    if (in.reactor2)
        tables.push_back(in.reactor2);
    int rows = std::max(in.rows, 0);
    for (const ResultRows *table : tables)
        rows = std::min(rows, int(table->size()));
    const auto day = [&in](int row) { return QString::number((*in.reactor1)[row][ResultCol::t], 'g', 6).toDouble(); };
    if (rows > 0) {  // without the float noise of adding up output steps (4.999999999999998)
        s.firstDay = day(0);
        s.days = day(rows - 1);
    }
    s.unsound = firstUnsound(tables, rows);

    for (int r = 0; r < int(tables.size()); ++r) {
        const auto values = reactorValues(*tables[r], rows);
        for (int q = 0; q < kReactorQuantities; ++q)
            s.values.push_back({reactorKey(r + 1, kReactorQuantity[q].key),
                                QStringLiteral("Reactor %1 %2").arg(r + 1).arg(QLatin1String(kReactorQuantity[q].name)),
                                QString::fromUtf8(kReactorQuantity[q].unit), values[q]});
    }

    const double end = s.days;  // as reached, not a step of float noise into the next feed row
    const double span = end - s.firstDay;
    const double liquid = in.liquidVolume1 + (in.reactor2 ? in.liquidVolume2 : 0.0);
    const double fed = fedUntil(in.feed, s.firstDay, end, codFlow);  // kgCOD
    const double codAtEnd = in.feed.empty() ? 0.0 : codFlow(in.feed[size_t(feedRowAt(in.feed, end))]);
    s.values.push_back({QStringLiteral("organic_loading_rate"), QStringLiteral("Organic loading rate"),
                        kLoadingUnit, codAtEnd / liquid});
    s.values.push_back({QStringLiteral("mean_organic_loading_rate"), QStringLiteral("Mean organic loading rate"),
                        kLoadingUnit, (span > 0 ? fed / span : codAtEnd) / liquid});

    double methane = 0;         // Nm3, all reactors over the run
    double codAtHand = fed;  // kgCOD fed, and the most the liquids held
    for (int r = 0; r < int(tables.size()); ++r) {
        methane += valueOf(s, reactorKey(r + 1, "normal_methane"));
        if (rows > 0)
            codAtHand += peakOf(*tables[r], rows, kTotalCod) * (r == 0 ? in.liquidVolume1 : in.liquidVolume2);
    }
    const double yield = methane / fed;
    constexpr double kSlack = 1.01;
    QString note;
    if (!(fed > 0))
        note = QStringLiteral("not applicable (no feed)");
    else if (methane > kSlack * kMethanePerCod * codAtHand) {
        if (!s.unsound)
            s.unsound = UnsoundValue{0, s.days, QStringLiteral("Specific methane yield"), yield};
    } else if (yield > kSlack * kMethanePerCod)
        note = QStringLiteral("not applicable (methane mostly from the start contents)");
    s.values.push_back({QStringLiteral("specific_methane_yield"), QStringLiteral("Specific methane yield"),
                        QStringLiteral("Nm3/kgCOD"), note.isEmpty() ? yield : kNaN, note});

    // What a schedule of substrates fed, and the loading and yield by organic dry matter.
    const QString noLabValues = QStringLiteral("not applicable (no substrates with lab values)");
    // A value, or none (NaN) with why it does not apply.
    const auto addValue = [&](const QString &key, const QString &label, const char *unit, double value, const QString &note) {
        const bool none = !std::isfinite(value);
        s.values.push_back({key, label, QString::fromUtf8(unit), none ? kNaN : value, none ? note : QString()});
    };
    addValue(QStringLiteral("fresh_mass_fed"), QStringLiteral("Fresh mass fed"), "t", in.freshMassFed,
             QStringLiteral("not applicable (no substrates)"));
    addValue(QStringLiteral("total_solids_fed"), QStringLiteral("Dry matter (TS) fed"), "t", in.solidsFed, noLabValues);
    addValue(QStringLiteral("volatile_solids_fed"), QStringLiteral("Organic dry matter (VS) fed"), "t",
             in.volatileSolidsFed, noLabValues);
    const double volatileSolids = in.volatileSolidsFed > 0 ? in.volatileSolidsFed * 1000 : kNaN;  // kg
    addValue(QStringLiteral("volatile_solids_loading_rate"), QStringLiteral("Organic loading rate (VS)"), "kgVS/(m3·d)",
             span > 0 ? volatileSolids / span / liquid : kNaN, noLabValues);
    addValue(QStringLiteral("specific_methane_yield_vs"), QStringLiteral("Specific methane yield (VS)"), "Nm3/kgVS",
             methane / volatileSolids, noLabValues);
    addValue(QStringLiteral("bmp_share"), QStringLiteral("Share of the BMP reached"), "-",
             in.methanePotentialFed > 0 ? methane / in.methanePotentialFed : kNaN, noLabValues);

    // Each reactor's retention and loading, over the liquid of the reactors up to it.
    const auto flow = [](const FeedStep &step) { return step.flow; };
    const double meanFlow = span > 0 ? fedUntil(in.feed, s.firstDay, end, flow) / span : in.feed.empty() ? 0.0 : in.feed[0].flow;
    const double largestFlow = largestUntil(in.feed, end, flow);
    const double largestVs = largestUntil(in.feed, end, [](const FeedStep &step) { return step.vs; }) * 1000;  // kg/d
    const QString noFeed = QStringLiteral("not applicable (no feed)");
    double upTo = 0;  // m3 of liquid
    for (int r = 1; r <= s.reactors; ++r) {
        upTo += r == 1 ? in.liquidVolume1 : in.liquidVolume2;
        const auto add = [&](const char *key, const char *label, const char *unit, double value, const QString &note) {
            addValue(reactorKey(r, key), QStringLiteral("Reactor %1 %2").arg(r).arg(QLatin1String(label)), unit, value,
                     note);
        };
        add("mean_hrt", "mean hydraulic retention time", "d", upTo / meanFlow, noFeed);
        add("min_hrt", "shortest hydraulic retention time", "d", upTo / largestFlow, noFeed);
        add("mean_vs_loading", "mean organic loading rate (VS)", "kgVS/(m3·d)",
            span > 0 ? volatileSolids / span / upTo : kNaN, noLabValues);
        add("max_vs_loading", "highest organic loading rate (VS)", "kgVS/(m3·d)", largestVs / upTo, noLabValues);
    }
    return s;
}

QJsonObject summaryJson(const RunSummary &s)
{
    QJsonArray values;
    for (const SummaryValue &v : s.values) {
        const QJsonValue value = std::isfinite(v.value) ? QJsonValue(v.value) : QJsonValue();
        QJsonObject entry{{QStringLiteral("key"), v.key},
                          {QStringLiteral("label"), v.label},
                          {QStringLiteral("value"), value},
                          {QStringLiteral("unit"), v.unit}};
        if (!v.note.isEmpty())
            entry.insert(QStringLiteral("note"), v.note);
        values.append(entry);
    }
    return {{QStringLiteral("configuration"), s.configuration},
            {QStringLiteral("days"), s.days},
            {QStringLiteral("first_day"), s.firstDay},
            {QStringLiteral("stopped_early"), s.stoppedEarly},
            {QStringLiteral("engine"), s.engine},
            {QStringLiteral("not_numbers"), QJsonArray::fromStringList(s.notNumbers())},
            {QStringLiteral("values"), values}};
}

QStringList summaryLines(const RunSummary &s)
{
    QStringList lines;
    for (int r = 1; r <= s.reactors; ++r) {
        QString line = QStringLiteral("Methane %1 Nm3 over %2 d · CH4 %3 % · pH %4")
                           .arg(fourDigits(valueOf(s, reactorKey(r, "normal_methane"))), daysText(s.days - s.firstDay),
                                fixed(valueOf(s, reactorKey(r, "final_ch4")), 1),
                                fixed(valueOf(s, reactorKey(r, "final_ph")), 2));
        if (s.stoppedEarly)
            line += QStringLiteral(" (stopped at day %1)").arg(daysText(s.days));
        lines << line;
    }
    return lines;
}

QString summaryText(const RunSummary &s)
{
    QStringList lines{QStringLiteral("Summary of the %1 run over %2 d:").arg(s.configuration, daysText(s.days - s.firstDay))};
    for (const SummaryValue &v : s.values) {
        if (!std::isfinite(v.value))
            lines << v.label + QStringLiteral(": ") + cell(v).toString();
        else if (v.unit == QLatin1String("-"))  // pH
            lines << QStringLiteral("%1: %2").arg(v.label, QString::number(v.value, 'g', 6));
        else
            lines << QStringLiteral("%1: %2 %3").arg(v.label, QString::number(v.value, 'g', 6), v.unit);
    }
    if (const QString note = notNumbersNote(s); !note.isEmpty())
        lines << note;
    if (s.stoppedEarly)
        lines << stoppedNote(s);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

std::vector<std::vector<QVariant>> summarySheetRows(const RunSummary &s)
{
    std::vector<std::vector<QVariant>> rows;
    if (s.stoppedEarly)
        rows.push_back({stoppedNote(s)});
    for (const QString &note : {notNumbersNote(s), unsoundNote(s)})
        if (!note.isEmpty())
            rows.push_back({note});

    std::vector<QVariant> header{QStringLiteral("Quantity"), QStringLiteral("Unit")};
    for (int r = 1; r <= s.reactors; ++r)
        header.push_back(QStringLiteral("Reactor %1").arg(r));
    rows.push_back(header);
    for (const Quantity &q : kReactorQuantity) {
        QString name = QString::fromUtf8(q.name);
        name[0] = name[0].toUpper();
        std::vector<QVariant> row{name, QString::fromUtf8(q.unit)};
        for (int r = 1; r <= s.reactors; ++r)
            row.push_back(cell(valueOf(s, reactorKey(r, q.key))));
        rows.push_back(row);
    }

    rows.push_back({});
    rows.push_back({QStringLiteral("Whole run"), QStringLiteral("Unit"), QStringLiteral("Value")});
    for (size_t i = size_t(kReactorQuantities * s.reactors); i < s.values.size(); ++i)
        rows.push_back({s.values[i].label, s.values[i].unit, cell(s.values[i])});
    return rows;
}
