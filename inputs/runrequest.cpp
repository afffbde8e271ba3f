#include "runrequest.h"

#include "configuration.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

InputProblem refused(Input input, const QString &reason) { return {InputProblem::Subject::Input, input, reason}; }

bool mustBePositive(Input input)
{
    switch (input) {
    case Input::T1: case Input::T2: case Input::P1: case Input::P2: case Input::V1: case Input::V2:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool fractionsExceedOne(double f_pr, double f_li, double f_ch)
{
    constexpr double roundingTolerance = 1e-12;
    return (f_li + f_pr) + f_ch > 1.0 + roundingTolerance;
}

std::optional<InputProblem> checkRunRequest(const RunRequest &request)
{
    if (fractionsExceedOne(request.f_pr_xc, request.f_li_xc, request.f_ch_xc))
        return InputProblem{InputProblem::Subject::Fractions, Input::Fpr, QStringLiteral("must not add up to more than 1")};
    if (!(request.t_end >= 0.1))
        return refused(Input::Timespan, QStringLiteral("must be at least 0.1 d"));
    if (!(request.t_end <= kLongestTimespan))
        return refused(Input::Timespan,
                       QStringLiteral("must not be more than %1 d, the longest a results sheet holds")
                           .arg(kLongestTimespan, 0, 'f', 0));
    if (request.ph_mode == 0) {
        const double ph = -std::log10(request.S_h_ion_manual);
        if (!(ph >= kLowestPh - 1e-9 && ph <= kHighestPh + 1e-9))
            return InputProblem{InputProblem::Subject::ManualPh, Input::Fpr,
                                QStringLiteral("must be a pH from 1 to 12.99")};
    }
    // A batch digester (no feed) is a meaningful run unless the model divides by the feed flow.
    const bool feedRequired = configuration(request.mode).needsFeed;
    if (!request.feed && (request.final_Q_in < 0 || (feedRequired && !(request.final_Q_in > 0))))
        return refused(Input::FeedFlow, feedRequired ? QStringLiteral("must be greater than 0")
                                                     : QStringLiteral("must not be negative"));
    for (const InputDefault &d : configuration(request.mode).inputs) {
        const InputInfo &info = inputInfo(d.input);
        const double value = request.*info.field;
        if (mustBePositive(d.input) && !(value > 0))
            return refused(d.input, QStringLiteral("must be greater than 0"));
        if (info.temperature && !(value >= kLowestTemperature && value <= kHighestTemperature))
            return refused(d.input, QStringLiteral("must be between 0 °C and 100 °C (273.15 K to 373.15 K)"));
    }
    return std::nullopt;
}

QStringList checkModelInputs(const RunRequest &request)
{
    QStringList problems = checkParameters(request.parameters);
    if (request.feed && configuration(request.mode).needsFeed) {
        const QList<double> &flows = request.feed->values[1];
        const auto dry = std::find_if(flows.cbegin(), flows.cend(), [](double q) { return !(q > 0); });
        if (dry != flows.cend())
            problems << QStringLiteral("%1: Q_in is 0 on day %2; the %3 run needs feed on every day")
                            .arg(QFileInfo(request.feed->file).fileName())
                            .arg(request.feed->values[0][int(dry - flows.cbegin())])
                            .arg(QString::fromLatin1(configuration(request.mode).name));
    }
    return problems;
}
