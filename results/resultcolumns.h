#pragma once

// The 50 columns of one reactor's result table: the header as users see it in the workbook and in
// CSV exports, in the table's order. One place for both writers.

#include <array>
#include <string_view>

struct ResultColumn {
    const char *header;  // its unit is the declared output's (outputs.h: the first 50 are these columns)
};

inline constexpr int kResultColumns = 50;

inline constexpr std::array<ResultColumn, kResultColumns> kResultColumnTable{{
    {"t"},
    {"gasflow"},
    {"gasflow_N"},
    {"Ch4 %"},
    {"CO2 %"},
    {"H2 %"},
    {"H2O %"},
    {"pH"},
    {"Total COD"},
    {"COD_S"},
    {"COD_X"},
    {"S_ch4_g"},
    {"S_co2_g"},
    {"S_h2_g"},
    {"S_aa"},
    {"S_ac"},
    {"S_an"},
    {"S_bu"},
    {"S_cat"},
    {"S_ch4"},
    {"S_co2"},
    {"S_fa"},
    {"S_h2"},
    {"S_I"},
    {"S_IC"},
    {"S_IN"},
    {"S_nh3"},
    {"S_pro"},
    {"S_su"},
    {"S_va"},
    {"X_aa"},
    {"X_ac"},
    {"X_c"},
    {"X_c4"},
    {"X_ch"},
    {"X_fa"},
    {"X_h2"},
    {"X_I"},
    {"X_li"},
    {"X_pr"},
    {"X_pro"},
    {"X_su"},
    {"S_ac_ion"},
    {"S_bu_ion"},
    {"S_hco3_ion"},
    {"S_h_ion"},
    {"S_nh4_ion"},
    {"S_oh_ion"},
    {"S_pro_ion"},
    {"S_va_ion"},
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
