#pragma once

// Every output quantity of a run, declared once: its key, unit, meaning, the column that holds it
// in the result table and the CSV, the summary keys derived from it, and the other names it is
// known by (the table's column title, the series names of fits and bands). The CSV writer, the
// summary, `digestra-cli --list-outputs` and the study runner (through its exported copy
// outputs.json) read this table.

#include <QJsonObject>
#include <QString>

#include <vector>

struct OutputInfo {
    enum class Scope {
        Reactor,  // one value per reactor and row; two-reactor runs prefix the column "R1 " / "R2 "
        Plant,    // one value per row for the whole plant, after every reactor's columns
        Run,      // one value per run: summary keys only
    };
    const char *key;      // "ch4_share"
    const char *unit;     // "%"
    const char *meaning;  // one sentence with its source where it has one
    Scope scope;
    const char *column;      // title in the table and the CSV ("Ch4 %"); "" for a quantity without a column
    const char *columnUnit;  // the CSV's units line ("[-]"), as the table has always written it
    // Summary keys derived from it; reactor quantities' keys get "r1_" / "r2_" in front.
    std::vector<const char *> summary;
    std::vector<const char *> aliases;  // other names accepted for the key: the column title, fit series names
};

// Every output quantity: the table's columns in their order, then the derived reactor columns,
// then the plant's, then the run's values.
const std::vector<OutputInfo> &outputInfos();
// The quantity a key, column title or alias names (exact case); null when none does.
const OutputInfo *outputInfo(const QString &name);
// The derived columns of one scope in their CSV order (Reactor: after the table's 50 columns).
std::vector<const OutputInfo *> derivedColumns(OutputInfo::Scope scope);
// The position of a key among derivedColumns(scope); -1 when it is none of them.
int derivedColumn(OutputInfo::Scope scope, const char *key);

// {"outputs": [{key, unit, meaning, scope ("reactor", "plant", "run"), column, column_unit,
// summary, aliases}, ...]}: what `digestra-cli --list-outputs --json` prints.
QJsonObject outputsDescription();
// The same as aligned text: key, unit, column, summary keys, meaning.
QString outputsText();
