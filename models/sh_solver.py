# pH and ion equilibrium of one liquid: the hydrogen-ion concentration from the charge balance
# (free pH) or as imposed (manual pH), and the dissociated species that depend on it.
#
# solve_ph is a pure function of its thirteen arguments. Free-mode calls cost 101 Newton passes, and
# the integrator's finite-difference Jacobian repeats the arguments of a recent call for most of its
# evaluations (it perturbs one state at a time, mostly states the solver does not read), so free-mode
# results are kept for the few most recent argument tuples. With two reactors or three sections the
# calls for the different liquids alternate, hence a handful of entries rather than one.

# Acid constants of the volatile fatty acids
Ka_ac = 10 ** -4.76
Ka_bu = 10 ** -4.82
Ka_pro = 10 ** -4.88
Ka_va = 10 ** -4.86

_RECENT_FREE_MODE_SIZE = 8
_recent_free_mode = {}


def solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, ph_mode, S_h_ion_manual):
    if ph_mode != 1:
        return _ions_at(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2, K_w, S_h_ion_manual)
    key = (S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w)
    # Least recently used goes first: a hit moves its entry to the end.
    result = _recent_free_mode.pop(key, None)
    if result is None:
        result = _charge_balance(*key)
        if len(_recent_free_mode) >= _RECENT_FREE_MODE_SIZE:
            del _recent_free_mode[next(iter(_recent_free_mode))]
    _recent_free_mode[key] = result
    return result


def _ions_at(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2, K_w, S_H):
    # Manual pH: the ions at the imposed hydrogen-ion concentration.
    S_hco3_ion = Ka_co2 * S_IC / (Ka_co2 + S_H)
    return (S_H,
            S_H * S_IN / (Ka_IN + S_H),
            S_hco3_ion,
            Ka_ac * S_ac / (Ka_ac + S_H),
            Ka_bu * S_bu / (Ka_bu + S_H),
            Ka_va * S_va / (Ka_va + S_H),
            Ka_pro * S_pro / (Ka_pro + S_H),
            K_w / S_H,
            S_IC - S_hco3_ion,
            Ka_IN * S_IN / (Ka_IN + S_H))


def _charge_balance(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w):
    # Free pH: a damped Newton iteration on the charge balance that always starts from pH 7.237 and
    # applies one hundredth of the Newton step per pass. It stops when the residual of a pass is at
    # most TOL or after 101 passes, which in practice is what ends it. The ions returned are those of
    # the last pass, evaluated before its update; the free ammonia is taken at the updated S_H.
    TOL = 1e-12
    MaxSteps = 100
    # Numerators that do not depend on S_H (the products are the same as in the ion functions).
    nh3_num = Ka_IN * S_IN
    hco3_num = Ka_co2 * S_IC
    ac_num = Ka_ac * S_ac
    bu_num = Ka_bu * S_bu
    va_num = Ka_va * S_va
    pro_num = Ka_pro * S_pro
    H0 = 5.79e-8
    S_H = H0
    for _ in range(MaxSteps + 1):
        nh4_den = Ka_IN + S_H
        hco3_den = Ka_co2 + S_H
        ac_den = Ka_ac + S_H
        bu_den = Ka_bu + S_H
        va_den = Ka_va + S_H
        pro_den = Ka_pro + S_H
        S_nh4_ion = S_H * S_IN / nh4_den
        S_hco3_ion = hco3_num / hco3_den
        S_ac_ion = ac_num / ac_den
        S_bu_ion = bu_num / bu_den
        S_va_ion = va_num / va_den
        S_pro_ion = pro_num / pro_den
        S_oh_ion = K_w / S_H
        Delta = (S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion / 64 - S_bu_ion / 160
                 - S_va_ion / 208 - S_pro_ion / 112 - S_oh_ion)
        # The slope of every decreasing term enters with a plus sign; the acid terms carry no COD
        # divisors here.
        dDelta = (1 + nh3_num / nh4_den ** 2 + hco3_num / hco3_den ** 2 + ac_num / ac_den ** 2
                  + bu_num / bu_den ** 2 + va_num / va_den ** 2 + pro_num / pro_den ** 2 + K_w / S_H ** 2)
        S_H = H0 - 0.01 * Delta / dDelta
        H0 = S_H
        if not (Delta > TOL or Delta < -TOL):  # |Delta| > TOL, NaN included, without a call
            break
    return (S_H, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion,
            S_IC - S_hco3_ion, nh3_num / (Ka_IN + S_H))
