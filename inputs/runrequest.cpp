#include "runrequest.h"

#include "configuration.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

const char *const kFractionSumKey = "f-pr + f-li + f-ch";
const char *const kFeedKey = "feed";
const char *const kSubstratesKey = "substrates";
const char *const kParametersKey = "parameters";
const char *const kSubstrateValuesKey = "substrate-values";
const char *const kEngineKey = "engine";
const char *const kPhSolverKey = "ph-solver";
const char *const kPhSolverHelp =
    "How a free pH is solved: exact (the root of the charge balance, the default) or damped (the 101 damped "
    "Newton passes of versions before 2.0, which stop short of the root: reproduces their results)";
const char *const kInitialStateKey = "initial-state";
const char *const kFinalStateKey = "final-state";
const char *const kStartUp = "start-up";

namespace {

QString number(double value) { return QString::number(value, 'g', 6); }

QString unitOf(const InputInfo &info)
{
    return *info.unit && qstrcmp(info.unit, "-") != 0 ? QLatin1Char(' ') + QString::fromUtf8(info.unit) : QString();
}

// "must be from 0.1 to 104857 d", "must be greater than 0", "must not be negative".
QString rangeText(const InputInfo &info, bool lowestExcluded)
{
    const QString unit = unitOf(info);
    const bool bounded = std::isfinite(info.highest);
    if (lowestExcluded && !bounded)
        return QStringLiteral("must be greater than %1%2").arg(number(info.lowest), info.lowest == 0 ? QString() : unit);
    if (!bounded)
        return info.lowest == 0 ? QStringLiteral("must not be negative")
                                : QStringLiteral("must be at least %1%2").arg(number(info.lowest), unit);
    return QStringLiteral("must be from %1%2 to %3%4%5")
        .arg(lowestExcluded ? QStringLiteral("above ") : QString(), number(info.lowest),
             info.highestExcluded ? QStringLiteral("below ") : QString(), number(info.highest), unit);
}

bool hasDecimals(double value, int decimals)
{
    const double scaled = value * std::pow(10.0, decimals);
    return std::abs(scaled - std::round(scaled)) <= 1e-9 * std::max(1.0, std::abs(scaled));
}

}  // namespace

bool fractionsExceedOne(double f_pr, double f_li, double f_ch)
{
    constexpr double roundingTolerance = 1e-12;
    return (f_li + f_pr) + f_ch > 1.0 + roundingTolerance;
}

double manualPh(double S_h_ion_manual)
{
    // 10^-pH and back loses the last bits; nine decimals are far beyond any pH given.
    return std::round(-std::log10(S_h_ion_manual) * 1e9) / 1e9;
}

QString validValues(const InputInfo &info)
{
    const bool everywhere = (info.lowestExcludedIn & info.configurations) == info.configurations;
    QString text = std::isfinite(info.highest)
                       ? QStringLiteral("from %1 to %2%3%4")
                             .arg(number(info.lowest), info.highestExcluded ? QStringLiteral("below ") : QString(),
                                  number(info.highest), unitOf(info))
                   : everywhere ? QStringLiteral("above %1").arg(number(info.lowest))
                                : QStringLiteral("%1 or more").arg(number(info.lowest));
    if (info.lowestExcludedIn && !everywhere)
        text += QStringLiteral(", above %1 for %2")
                    .arg(number(info.lowest), configurationCodes(info.lowestExcludedIn).join(QStringLiteral(", ")));
    if (info.decimals >= 0)
        text += QStringLiteral(", at most %1 decimals").arg(info.decimals);
    return text;
}

QString valueProblem(const InputInfo &info, double value, int mode)
{
    const bool lowestExcluded = info.lowestExcludedIn & (1u << mode);
    const bool fits = std::isfinite(value) && (lowestExcluded ? value > info.lowest : value >= info.lowest) &&
                      (info.highestExcluded ? value < info.highest : value <= info.highest);
    const QString unit = unitOf(info);
    if (!std::isfinite(value))
        return QStringLiteral("must be a finite number (got %1)").arg(QString::number(value));
    if (!fits) {
        QString text = rangeText(info, lowestExcluded);
        if (lowestExcluded && !(info.lowestExcludedIn == kEveryConfiguration))
            text += QStringLiteral(" for config %1").arg(QLatin1String(configuration(mode).code));
        return text + QStringLiteral(" (got %1%2)").arg(QString::number(value, 'g', 12), unit);
    }
    if (info.decimals >= 0 && !hasDecimals(value, info.decimals))
        return QStringLiteral("must have at most %1 decimals (got %2)").arg(info.decimals).arg(value, 0, 'g', 12);
    return {};
}

namespace {

constexpr std::pair<Input, double PlantInputs::*> kPlantFields[] = {
    {Input::MethaneLhv, &PlantInputs::lhv_ch4},       {Input::EtaEl, &PlantInputs::eta_el},
    {Input::EtaTh, &PlantInputs::eta_th},             {Input::OwnUse, &PlantInputs::own_use},
    {Input::FeedTemperature, &PlantInputs::T_feed},   {Input::AmbientTemperature, &PlantInputs::T_ambient},
    {Input::UValue, &PlantInputs::u_value},           {Input::FosTacWarning, &PlantInputs::fos_tac_warning},
    {Input::FosTacCritical, &PlantInputs::fos_tac_critical}, {Input::PhLow, &PlantInputs::ph_low},
    {Input::VfaHigh, &PlantInputs::vfa_high},         {Input::ChpPower, &PlantInputs::chp_power},
    {Input::GasStorage, &PlantInputs::gas_storage},
};

}  // namespace

PlantInputs plantInputs(const RunRequest &r)
{
    PlantInputs plant;
    for (const auto &[input, field] : kPlantFields)
        plant.*field = r.*inputInfo(input).field;
    return plant;
}

double plantInput(const PlantInputs &plant, const InputInfo &info)
{
    for (const auto &[input, field] : kPlantFields)
        if (input == info.input)
            return plant.*field;
    return std::numeric_limits<double>::quiet_NaN();
}

QList<InputProblem> checkRunRequest(const RunRequest &request)
{
    QList<InputProblem> problems;
    for (const InputInfo &info : inputInfos()) {
        if (!info.isNumber() || !info.takes(request.mode))
            continue;
        if (info.input == Input::Ph && request.ph_mode == 1)
            continue;
        // An empty manual pH field reads as pH 0.
        const double value = info.field ? request.*info.field : manualPh(request.S_h_ion_manual);
        const QString problem = valueProblem(info, value, request.mode);
        if (!problem.isEmpty())
            problems.append({QLatin1String(info.key), problem});
    }
    if (fractionsExceedOne(request.f_pr_xc, request.f_li_xc, request.f_ch_xc))
        problems.append({QLatin1String(kFractionSumKey),
                         QStringLiteral("must not add up to more than 1 (got %1)")
                             .arg(number((request.f_li_xc + request.f_pr_xc) + request.f_ch_xc))});
    if (request.fos_tac_warning > request.fos_tac_critical)  // the warning comes first
        problems.append({QLatin1String(inputInfo(Input::FosTacWarning).key),
                         QStringLiteral("must not be above fos-tac-critical (got %1 above %2)")
                             .arg(number(request.fos_tac_warning), number(request.fos_tac_critical)),
                         0, {}});
    if (request.eta_el + request.eta_th > 1 + 1e-12)  // the CHP cannot give more than the methane holds
        problems.append({QLatin1String(inputInfo(Input::EtaTh).key),
                         QStringLiteral("must not add up with eta-el to more than 1 (got %1)")
                             .arg(number(request.eta_el + request.eta_th))});
    return problems;
}

std::vector<double> runRecord(const RunRequest &stored)
{
    constexpr size_t common = 16;
    std::vector<double> record(size_t(configuration(stored.mode).recordEntries), 0.0);
    record.resize(std::max(record.size(), common));
    for (const InputInfo &info : inputInfos()) {
        const size_t at = size_t(info.recordPosition);
        if (info.recordPosition < 0 || at >= record.size() || (at >= common && !info.takes(stored.mode)))
            continue;
        if (info.field)
            record[at] = stored.*info.field;
        else if (info.input == Input::Config)
            record[at] = stored.mode;
        else if (info.input == Input::Ph) {
            record[at] = stored.ph_mode;
            record[at + 1] = stored.S_h_ion_manual;
        }
    }
    record[3] = stored.X_c_in;  // the feed concentration again, read by no one
    return record;
}

double recorded(const std::vector<double> &record, const InputInfo &info)
{
    const auto at = [&record](int k) { return k >= 0 && k < int(record.size()) ? record[size_t(k)] : 0.0; };
    return info.input == Input::Ph ? manualPh(at(info.recordPosition + 1)) : at(info.recordPosition);
}

QList<InputProblem> checkModelInputs(const RunRequest &request)
{
    QList<InputProblem> problems;
    const QLatin1String parametersKey(kParametersKey);
    for (const ParameterProblem &problem : parameterProblems(request.parameters))
        problems.append({parametersKey, problem.text, 0, problem.name});
    const QLatin1String code(configuration(request.mode).code);
    for (auto it = request.parameters.cbegin(); it != request.parameters.cend(); ++it)
        if (const ModelParameter *p = modelParameter(it.key()); p && p->fixedIn.contains(code))
            problems.append({parametersKey,
                             QStringLiteral("model parameter %1 cannot matter: config %2 replaces it by a law of its own")
                                 .arg(p->name, code),
                             0, p->name});
    // The configurations whose model divides by the feed flow refuse a flow of 0, in a schedule too.
    const bool needsFeed = inputInfo(Input::FeedFlow).lowestExcludedIn & (1u << request.mode);
    if (request.feed && needsFeed) {
        const QList<double> &flows = request.feed->values[1];
        const auto dry = std::find_if(flows.cbegin(), flows.cend(), [](double q) { return !(q > 0); });
        if (dry != flows.cend())
            problems.append({QLatin1String(kFeedKey),
                             QStringLiteral("%1: Q_in is 0 on day %2; the %3 run needs feed on every day")
                                 .arg(QFileInfo(request.feed->file).fileName())
                                 .arg(request.feed->values[0][int(dry - flows.cbegin())])
                                 .arg(QString::fromLatin1(configuration(request.mode).name))});
    }
    // A run from a saved state goes on from the state's day to day t-end: at least one output step.
    if (request.start.kind == StartState::Kind::Saved && !(request.t_end - request.start.day >= 0.1 - 1e-9))
        problems.append({QLatin1String(inputInfo(Input::Timespan).key),
                         QStringLiteral("must be at least 0.1 d after day %1, when the start state of %2 was "
                                        "reached: a run from a saved state goes on to day t-end (got %3 d)")
                             .arg(number(request.start.day), QFileInfo(request.start.file).fileName(),
                                  number(request.t_end))});
    return problems;
}
