#pragma once

// The 50 columns of one reactor's result table: header and unit as users see them in the
// workbook and in CSV exports. One place for both writers.

#include <array>
#include <string_view>

struct ResultColumn {
    const char *header;
    const char *unit;
};

inline constexpr int kResultColumns = 50;

inline constexpr std::array<ResultColumn, kResultColumns> kResultColumnTable{{
    {"t", "[d]"},
    {"gasflow", "[m3/d]"},
    {"gasflow_N", "[Nm3/d]"},
    {"Ch4 %", "[-]"},
    {"CO2 %", "[-]"},
    {"H2 %", "[-]"},
    {"H2O %", "[-]"},
    {"pH", "[-]"},
    {"Total COD", "[kgCOD/m3]"},
    {"COD_S", "[kgCOD/m3]"},
    {"COD_X", "[kgCOD/m3]"},
    {"S_ch4_g", "[kgCOD/m3]"},
    {"S_co2_g", "[M]"},
    {"S_h2_g", "[kgCOD/m3]"},
    {"S_aa", "[kgCOD/m3]"},
    {"S_ac", "[kgCOD/m3]"},
    {"S_an", "[M]"},
    {"S_bu", "[kgCOD/m3]"},
    {"S_cat", "[M]"},
    {"S_ch4", "[kgCOD/m3]"},
    {"S_co2", "[M]"},
    {"S_fa", "[kgCOD/m3]"},
    {"S_h2", "[kgCOD/m3]"},
    {"S_I", "[kgCOD/m3]"},
    {"S_IC", "[M]"},
    {"S_IN", "[M]"},
    {"S_nh3", "[M]"},
    {"S_pro", "[kgCOD/m3]"},
    {"S_su", "[kgCOD/m3]"},
    {"S_va", "[kgCOD/m3]"},
    {"X_aa", "[kgCOD/m3]"},
    {"X_ac", "[kgCOD/m3]"},
    {"X_c", "[kgCOD/m3]"},
    {"X_c4", "[kgCOD/m3]"},
    {"X_ch", "[kgCOD/m3]"},
    {"X_fa", "[kgCOD/m3]"},
    {"X_h2", "[kgCOD/m3]"},
    {"X_I", "[kgCOD/m3]"},
    {"X_li", "[kgCOD/m3]"},
    {"X_pr", "[kgCOD/m3]"},
    {"X_pro", "[kgCOD/m3]"},
    {"X_su", "[kgCOD/m3]"},
    {"S_ac_ion", "[M]"},
    {"S_bu_ion", "[M]"},
    {"S_hco3_ion", "[M]"},
    {"S_h_ion", "[M]"},
    {"S_nh4_ion", "[M]"},
    {"S_oh_ion", "[M]"},
    {"S_pro_ion", "[M]"},
    {"S_va_ion", "[M]"},
}};

// A table column by its header, checked when compiling (-1: none).
constexpr int columnOf(std::string_view header)
{
    for (int c = 0; c < kResultColumns; ++c)
        if (header == kResultColumnTable[c].header)
            return c;
    return -1;
}

// Table columns the refinement and the plots read.
namespace ResultCol {
inline constexpr int t = 0;
inline constexpr int gasflow_N = 2;
inline constexpr int p_ch4 = 3;
inline constexpr int p_co2 = 4;
inline constexpr int p_h2 = 5;
inline constexpr int p_h2o = 6;
inline constexpr int pH = 7;
}  // namespace ResultCol
