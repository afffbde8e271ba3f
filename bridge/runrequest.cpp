#include "runrequest.h"

#include "workers.h"

#include <utility>
#include <vector>

namespace {

const QString greaterThanZero = QStringLiteral("must be greater than 0");

// The volumes, pressures and absolute temperatures a configuration uses.
std::vector<std::pair<RunField, double>> positiveFields(const RunRequest &r)
{
    switch (r.mode) {
    case 2:
        return {{RunField::T1, r.T_1}, {RunField::Patm1, r.P_atm1}, {RunField::Vt1, r.V_t1},
                {RunField::Patm2, r.P_atm2}, {RunField::Vt2, r.V_t2}};
    case 3:
        return {{RunField::T1, r.T_1}, {RunField::Patm1, r.P_atm1}, {RunField::Vt1, r.V_t1},
                {RunField::T2, r.T_2}, {RunField::Patm2, r.P_atm2}, {RunField::Vt2, r.V_t2}};
    default:
        return {{RunField::T1, r.T_1}, {RunField::Patm1, r.P_atm1}, {RunField::Vt1, r.V_t1}};
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
        return InputProblem{RunField::Fractions, QStringLiteral("must not add up to more than 1")};
    if (!(request.t_end >= 0.1))
        return InputProblem{RunField::Tend, QStringLiteral("must be at least 0.1 d")};
    // A batch digester (no feed) is a meaningful single- or two-stage run; the
    // temperature-phased and pump-mixed models divide by the feed flow.
    const bool feedRequired = request.mode == 3 || request.mode == 4;
    if (request.final_Q_in < 0 || (feedRequired && !(request.final_Q_in > 0)))
        return InputProblem{RunField::FinalQin,
                            feedRequired ? greaterThanZero : QStringLiteral("must not be negative")};
    for (const auto &[field, value] : positiveFields(request))
        if (!(value > 0))
            return InputProblem{field, greaterThanZero};
    return std::nullopt;
}

SimulationWorker *Workers::forMode(int mode) const
{
    switch (mode) {
    case 1: return ssad;
    case 2: return tsad;
    case 3: return tpad;
    case 4: return pomp;
    default: return nullptr;
    }
}

void runOnWorker(const Workers &workers, const RunRequest &r)
{
    switch (r.mode) {
    case 1:
        workers.ssad->transfer(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc,
                               r.ph_mode, r.S_h_ion_manual, r.T_1, r.P_atm1, r.V_t1, r.mode);
        break;
    case 2:
        workers.tsad->transfer_ts(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc,
                                  r.f_ch_xc, r.ph_mode, r.S_h_ion_manual, r.T_1, r.P_atm1,
                                  r.P_atm2, r.V_t1, r.V_t2, r.mode);
        break;
    case 3:
        workers.tpad->transfer_tp(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc,
                                  r.f_ch_xc, r.ph_mode, r.S_h_ion_manual, r.T_1, r.T_2,
                                  r.P_atm1, r.P_atm2, r.V_t1, r.V_t2, r.mode, r.t_sr);
        break;
    case 4:
        workers.pomp->transfer(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc,
                               r.ph_mode, r.S_h_ion_manual, r.T_1, r.P_atm1, r.V_t1, r.mode,
                               r.mix_i);
        break;
    }
}
