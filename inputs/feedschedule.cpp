#include "feedschedule.h"

#include "guardedfile.h"
#include "guardedtoml.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Position {
    int line = 0, column = 0;
};

// A column of a file as written: its name, the unit in brackets if any.
struct RawColumn {
    QString name, unit;
    Position at;
};

struct RawCell {
    double value;
    Position at;
};

struct RawRow {
    Position at;
    std::vector<std::optional<RawCell>> cells;  // by column; absent where a TOML row leaves it out
};

struct RawTable {
    std::vector<RawColumn> columns;
    std::vector<RawRow> rows;
    std::optional<RawCell> start;  // the date of day 0 a TOML file gives, as a Julian day
};

const QLatin1String kDateColumn("date");

// A date written YYYY-MM-DD and nothing else (no time of day, no zone, no other separator) as its
// Julian day; the dates of every file are read here.
std::optional<double> julianDay(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}$)"));
    const QDate date = pattern.match(text).hasMatch() ? QDate::fromString(text, QStringLiteral("yyyy-MM-dd")) : QDate();
    return date.isValid() ? std::optional<double>(double(date.toJulianDay())) : std::nullopt;
}

QString dateText(double julianDay) { return QDate::fromJulianDay(qint64(julianDay)).toString(Qt::ISODate); }

// Collects the problems of one file, each with its place.
class Problems {
public:
    explicit Problems(const QString &path) : file(QFileInfo(path).fileName())
    {
        if (file.isEmpty())
            file = path;  // "/"
        file.replace(QChar(0), QStringLiteral("\\0"));  // a batch line's name: messages carry no NUL
    }
    void add(Position at, const QString &text)
    {
        list << QStringLiteral("%1:%2:%3: %4").arg(file).arg(at.line).arg(at.column).arg(text);
    }
    void add(const QString &text) { list << QStringLiteral("%1: %2").arg(file, text); }
    bool any() const { return !list.isEmpty(); }
    QStringList list;

private:
    QString file;
};

const FeedComponent *component(const QString &name)
{
    for (const FeedComponent &c : feedComponents())
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

QString compact(QString unit) { return unit.remove(QLatin1Char(' ')); }

// "Q_in [m3/d]" -> name and unit.
RawColumn column(const QString &title, Position at)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*([^\[\]]*?)\s*(?:\[([^\]]*)\])?\s*$)"));
    const QRegularExpressionMatch m = pattern.match(title);
    if (!m.hasMatch())
        return {title.trimmed(), QString(), at};
    return {m.captured(1), m.captured(2).trimmed(), at};
}

std::optional<QByteArray> contents(const QString &path, qint64 largest, Problems &problems)
{
    GuardedFile file = readGuardedFile(path, largest);
    if (!file.refusal.isEmpty()) {
        problems.add(file.refusal);
        return std::nullopt;
    }
    return std::move(file.bytes);
}

// The table of TOML text, or nothing (with the problem added).
std::optional<toml::table> tomlTable(const QByteArray &bytes, Problems &problems)
{
    GuardedToml parsed = parseGuardedToml(bytes);
    if (parsed.refusal) {
        problems.add({parsed.refusal->line, parsed.refusal->column}, parsed.refusal->reason);
        return std::nullopt;
    }
    return std::move(parsed.table);
}

RawTable readCsv(const QByteArray &bytes, Problems &problems)
{
    RawTable table;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    bool header = true;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        std::vector<std::pair<QString, Position>> fields;
        int start = 0;
        for (const QString &field : line.split(QLatin1Char(','))) {
            int lead = 0;
            while (lead < field.size() && field[lead].isSpace())
                ++lead;
            fields.push_back({field.trimmed(), {i + 1, start + lead + 1}});
            start += int(field.size()) + 1;
        }
        if (header) {
            for (const auto &[text, at] : fields)
                table.columns.push_back(column(text, at));
            header = false;
            continue;
        }
        if (table.rows.size() > size_t(kMostFeedRows))
            break;  // refused for its length; the rest need not be read
        RawRow row{{i + 1, 1}, {}};
        if (fields.size() != table.columns.size()) {
            problems.add(row.at, QStringLiteral("%1 values where the header names %2 columns")
                                     .arg(fields.size())
                                     .arg(table.columns.size()));
            continue;
        }
        for (size_t k = 0; k < fields.size(); ++k) {
            const auto &[text, at] = fields[k];
            if (table.columns[k].name == kDateColumn) {
                const std::optional<double> day = julianDay(text);
                if (!day)
                    problems.add(at, QStringLiteral("'%1' is not a date (YYYY-MM-DD)").arg(text));
                row.cells.push_back(day ? std::optional<RawCell>(RawCell{*day, at}) : std::nullopt);
                continue;
            }
            bool ok = false;
            const double value = QLocale::c().toDouble(text, &ok);
            if (!ok || !std::isfinite(value)) {
                problems.add(at, QStringLiteral("'%1' is not a number").arg(text));
                row.cells.push_back(std::nullopt);
            } else {
                row.cells.push_back(RawCell{value, at});
            }
        }
        table.rows.push_back(row);
    }
    return table;
}

Position positionOf(const toml::node &node) { return {int(node.source().begin.line), int(node.source().begin.column)}; }

// A number (an integer too large for a double's every digit is taken as the nearest double), or
// for a date column a date (2026-03-01, or the same as a text) as its Julian day.
std::optional<RawCell> tomlCell(const toml::node &node, Problems &problems, bool date = false)
{
    if (date) {
        std::optional<double> day;
        if (const std::optional<toml::date> native = node.value<toml::date>())
            day = double(QDate(native->year, native->month, native->day).toJulianDay());
        else if (const std::optional<std::string> text = node.value<std::string>())
            day = julianDay(QString::fromStdString(*text));
        if (!day)
            problems.add(positionOf(node), QStringLiteral("not a date (YYYY-MM-DD)"));
        return day ? std::optional<RawCell>(RawCell{*day, positionOf(node)}) : std::nullopt;
    }
    const std::optional<double> value =
        node.is_integer() ? std::optional<double>(double(node.as_integer()->get())) : node.value<double>();
    if (!node.is_number() || !value || !std::isfinite(*value)) {
        problems.add(positionOf(node), QStringLiteral("not a number"));
        return std::nullopt;
    }
    return RawCell{*value, positionOf(node)};
}

// The column of a key, the same name and unit meaning the same column in every row; a name
// given twice, with or without its unit, is two columns (refused as a repeat).
int columnIndex(RawTable &table, const toml::key &key)
{
    const RawColumn c = column(QString::fromStdString(std::string(key.str())),
                               {int(key.source().begin.line), int(key.source().begin.column)});
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name == c.name && table.columns[i].unit == c.unit)
            return int(i);
    table.columns.push_back(c);
    return int(table.columns.size()) - 1;
}

RawTable readToml(const QByteArray &bytes, Problems &problems)
{
    RawTable table;
    const std::optional<toml::table> parsed = tomlTable(bytes, problems);
    if (!parsed)
        return table;
    const toml::table &root = *parsed;
    if (const toml::array *rows = root["feed"].as_array()) {
        // [[feed]] rows: each a table of columns.
        for (const toml::node &node : *rows) {
            const toml::table *row = node.as_table();
            if (!row) {
                problems.add(positionOf(node), QStringLiteral("a feed row must be a table"));
                continue;
            }
            RawRow raw{positionOf(node), {}};
            for (const auto &[key, value] : *row) {
                const size_t i = size_t(columnIndex(table, key));
                raw.cells.resize(std::max(raw.cells.size(), i + 1));
                raw.cells[i] = tomlCell(value, problems, table.columns[i].name == kDateColumn);
            }
            table.rows.push_back(raw);
            if (table.rows.size() > size_t(kMostFeedRows))
                break;
        }
        for (const auto &[key, value] : root)
            if (key.str() == "start")
                table.start = tomlCell(value, problems, true);
            else if (key.str() != "feed")
                problems.add({int(key.source().begin.line), int(key.source().begin.column)},
                             QStringLiteral("'%1' beside [[feed]] rows").arg(QString::fromStdString(std::string(key.str()))));
    } else {
        // Columns as arrays of equal length.
        for (const auto &[key, value] : root) {
            if (key.str() == "start") {
                table.start = tomlCell(value, problems, true);
                continue;
            }
            const toml::array *values = value.as_array();
            const size_t i = size_t(columnIndex(table, key));
            if (std::any_of(table.columns.begin(), table.columns.begin() + qsizetype(i),
                            [&](const RawColumn &c) { return c.name == table.columns[i].name; }))
                continue;  // told as given twice
            if (!values) {
                problems.add(positionOf(value), QStringLiteral("a column must be a list of numbers"));
                continue;
            }
            if (i > 0 && values->size() != table.rows.size()) {
                problems.add(positionOf(value), QStringLiteral("%1 values where the first column has %2")
                                                    .arg(values->size())
                                                    .arg(table.rows.size()));
                continue;
            }
            for (size_t r = 0; r < values->size() && r <= size_t(kMostFeedRows); ++r) {
                if (i == 0)
                    table.rows.push_back({positionOf((*values)[r]), {}});
                table.rows[r].cells.resize(i + 1);
                table.rows[r].cells[i] = tomlCell((*values)[r], problems, table.columns[i].name == kDateColumn);
            }
        }
    }
    for (RawRow &row : table.rows)
        row.cells.resize(table.columns.size());
    // A TOML table holds its keys in alphabetical order; the day and the flow lead, as in a CSV file.
    std::vector<size_t> order(table.columns.size());
    std::iota(order.begin(), order.end(), 0);
    const auto rank = [&](size_t i) {
        const QString &name = table.columns[i].name;
        return name == QLatin1String("day") || name == kDateColumn ? 0 : name == QLatin1String("Q_in") ? 1 : 2;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rank(a) < rank(b); });
    RawTable ordered{{}, {}, table.start};
    for (size_t i : order)
        ordered.columns.push_back(table.columns[i]);
    for (const RawRow &row : table.rows) {
        RawRow r{row.at, {}};
        for (size_t i : order)
            r.cells.push_back(row.cells[i]);
        ordered.rows.push_back(r);
    }
    return ordered;
}

enum class Form { Composites, Components, Substrates };

QString formText(Form form)
{
    switch (form) {
    case Form::Composites: return QStringLiteral("composites (X_c_in)");
    case Form::Components: return QStringLiteral("components");
    case Form::Substrates: return QStringLiteral("substrates");
    }
    return {};
}

// A date column (YYYY-MM-DD) made the day column: days from the start, the file's own or else
// the first row's date. Rows dated before the start give way to the last of them, which is in
// force on it and becomes day 0.
void datesToDays(RawTable &table, Problems &problems)
{
    const auto dated = std::find_if(table.columns.begin(), table.columns.end(),
                                    [](const RawColumn &c) { return c.name == kDateColumn; });
    if (dated == table.columns.end()) {
        if (table.start)
            problems.add(table.start->at, QStringLiteral("start goes with a date column"));
        return;
    }
    if (std::any_of(table.columns.begin(), table.columns.end(), [](const RawColumn &c) { return c.name == QLatin1String("day"); }))
        problems.add(dated->at, QStringLiteral("a day column or a date column, not both"));
    if (!dated->unit.isEmpty())
        problems.add(dated->at, QStringLiteral("a date has no unit: YYYY-MM-DD"));
    const size_t i = size_t(dated - table.columns.begin());
    const RawCell *previous = nullptr;
    for (const RawRow &row : table.rows)
        if (const std::optional<RawCell> &cell = row.cells[i]) {
            if (previous && !(cell->value > previous->value))
                problems.add(cell->at, QStringLiteral("%1 does not come after %2: the dates must increase from row to row")
                                           .arg(dateText(cell->value), dateText(previous->value)));
            previous = &*cell;
        }
    const std::optional<RawCell> first = table.rows.empty() ? std::nullopt : table.rows.front().cells[i];
    if (problems.any() || !first)
        return;  // no date in the first row is told as no day
    const double start = table.start ? table.start->value : first->value;
    if (first->value > start)
        return problems.add(first->at, QStringLiteral("the first date, %1, comes after start %2: the feed on day 0 is not known")
                                           .arg(dateText(first->value), dateText(start)));
    size_t inForce = 0;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        std::optional<RawCell> &cell = table.rows[r].cells[i];
        if (cell)
            cell->value -= start;
        if (cell && cell->value <= 0)
            inForce = r;
    }
    table.rows.erase(table.rows.begin(), table.rows.begin() + qsizetype(inForce));
    table.rows.front().cells[i]->value = 0;
    dated->name = QStringLiteral("day");
}

// The checked schedule of a raw table, or nothing (with the problems added).
std::optional<FeedSchedule> schedule(RawTable table, const Substrates &substrates, Problems &problems)
{
    datesToDays(table, problems);
    // Columns: what each is and its unit; a name given more than once is told once, at its first.
    std::unordered_map<QString, int> copies;
    for (const RawColumn &c : table.columns)
        ++copies[c.name];
    int day = -1, flow = -1;
    std::optional<Form> form;
    std::vector<QString> units;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const RawColumn &c = table.columns[i];
        int &count = copies[c.name];
        if (count > 1)
            problems.add(c.at, count == 2 ? QStringLiteral("column %1 is given twice").arg(c.name)
                                          : QStringLiteral("column %1 is given %2 times").arg(c.name).arg(count));
        if (count == 0) {  // a repeat, told with the first
            units.push_back({});
            continue;
        }
        count = 0;
        QString unit;
        Form columnForm = Form::Composites;
        bool composition = true;
        if (c.name == QLatin1String("day") || c.name == QLatin1String("Q_in")) {
            (c.name == QLatin1String("day") ? day : flow) = int(i);
            unit = c.name == QLatin1String("day") ? QStringLiteral("d") : QStringLiteral("m3/d");
            composition = false;
        } else if (c.name == QLatin1String("X_c_in")) {
            unit = QStringLiteral("kgCOD/m3");
        } else if (const FeedComponent *fc = component(c.name)) {
            unit = QString::fromLatin1(fc->unit);
            columnForm = Form::Components;
        } else if (substrates.contains(c.name)) {
            unit = compact(c.unit) == QLatin1String("t/d") ? QStringLiteral("t/d") : QStringLiteral("m3/d");
            columnForm = Form::Substrates;
        } else {
            problems.add(c.at, QStringLiteral("unknown column '%1': day, Q_in, X_c_in, a component (S_su ... X_I, "
                                              "S_cat, S_an) or a substrate%2")
                                   .arg(c.name, substrates.isEmpty() ? QStringLiteral(" (no substrate file given)")
                                                                     : QString()));
            units.push_back({});
            continue;
        }
        if (!c.unit.isEmpty() && compact(c.unit) != unit)
            problems.add(c.at, QStringLiteral("%1 is in %2, not %3")
                                   .arg(c.name, columnForm == Form::Substrates ? QStringLiteral("m3/d or t/d") : unit, c.unit));
        if (composition) {
            if (form && *form != columnForm)
                problems.add(c.at, QStringLiteral("%1 is %2, but the file gives its feed as %3: one form per file")
                                       .arg(c.name, formText(columnForm), formText(*form)));
            form = form.value_or(columnForm);
        }
        units.push_back(unit);
    }
    const Position headerAt = table.columns.empty() ? Position{1, 1} : table.columns.front().at;
    if (day < 0)
        problems.add(headerAt, QStringLiteral("no day column"));
    if (!form)
        problems.add(headerAt, QStringLiteral("no feed: X_c_in, components or substrates"));
    if (form == Form::Substrates && flow >= 0)
        problems.add(table.columns[size_t(flow)].at, QStringLiteral("a mix of substrates takes their flows; Q_in is their sum"));
    else if (form && form != Form::Substrates && flow < 0)
        problems.add(headerAt, QStringLiteral("no Q_in column"));
    if (table.rows.empty())
        problems.add(headerAt, QStringLiteral("the schedule has no rows"));
    if (table.rows.size() > size_t(kMostFeedRows))
        problems.add(table.rows.back().at, QStringLiteral("more than %1 rows").arg(kMostFeedRows));
    if (problems.any())
        return std::nullopt;

    // Rows: present, not negative, days from 0 and increasing.
    double previousDay = 0;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const RawRow &row = table.rows[r];
        for (size_t i = 0; i < row.cells.size(); ++i) {
            const std::optional<RawCell> &cell = row.cells[i];
            const QString &name = table.columns[i].name;
            if (!cell) {
                if (int(i) == day || int(i) == flow)
                    problems.add(row.at, QStringLiteral("no %1").arg(name));
                continue;
            }
            if (int(i) == day) {
                if (r == 0 && cell->value != 0)
                    problems.add(cell->at, QStringLiteral("the first day must be 0"));
                else if (r > 0 && !(cell->value > previousDay))
                    problems.add(cell->at, QStringLiteral("day %1 does not come after day %2")
                                               .arg(cell->value)
                                               .arg(previousDay));
                previousDay = cell->value;
            } else if (cell->value < 0) {
                problems.add(cell->at, QStringLiteral("%1 must not be negative").arg(name));
            }
        }
    }
    if (problems.any())
        return std::nullopt;

    FeedSchedule s;
    const auto valueAt = [&](size_t r, size_t i) { return table.rows[r].cells[i] ? table.rows[r].cells[i]->value : 0.0; };
    for (size_t i = 0; i < table.columns.size(); ++i)
        s.titles << QStringLiteral("%1 [%2]").arg(table.columns[i].name, units[i]);
    for (size_t r = 0; r < table.rows.size(); ++r) {
        QList<double> values;
        for (size_t i = 0; i < table.columns.size(); ++i)
            values << valueAt(r, i);
        s.rows << values;
    }
    const auto columnValues = [&](int i) {
        QList<double> values;
        for (size_t r = 0; r < table.rows.size(); ++r)
            values << valueAt(r, size_t(i));
        return values;
    };
    s.columns << QStringLiteral("day") << QStringLiteral("Q_in");
    s.values << columnValues(day);
    if (*form == Form::Substrates) {
        // The flow-weighted mix: each substrate weighs its share of the total flow, so a substrate
        // flowing alone weighs exactly 1 and the mix is its own composition to the last digit; a flow
        // of fresh mass (t/d) is a volume through the substrate's density.
        QList<double> total, mixed[26];
        const std::vector<FeedComponent> &components = feedComponents();
        for (size_t r = 0; r < table.rows.size(); ++r) {
            std::vector<std::pair<double, const QMap<QString, double> *>> flows;
            double q = 0, mass = 0, solids = 0, volatileSolids = 0, potential = 0;
            for (size_t i = 0; i < table.columns.size(); ++i)
                if (const auto substrate = substrates.constFind(table.columns[i].name); substrate != substrates.cend()) {
                    const double density = substrate->value(QLatin1String(kDensity), kDefaultDensity) / 1000;  // t/m3
                    const double qs = units[i] == QLatin1String("t/d") ? valueAt(r, i) / density : valueAt(r, i);
                    flows.push_back({qs, &*substrate});
                    q += qs;
                    mass += qs * density;
                    const auto solidsOf = [&](const char *key) {
                        const auto it = substrate->constFind(QLatin1String(key));
                        return it == substrate->cend() ? kNaN : qs * *it / 1000;
                    };
                    solids += solidsOf(kTotalSolids);
                    volatileSolids += solidsOf(kVolatileSolids);
                    potential += 1000 * solidsOf(kMethanePotential);
                }
            s.freshMass << mass;
            s.totalSolids << solids;
            s.volatileSolids << volatileSolids;
            s.methanePotential << potential;
            total << q;
            for (size_t k = 0; k < components.size(); ++k) {
                double c = 0;
                for (const auto &[qs, composition] : flows)
                    c += q > 0 ? qs / q * composition->value(QLatin1String(components[k].name), 0.0) : 0.0;
                mixed[k] << c;
            }
        }
        s.values << total;
        for (size_t k = 0; k < components.size(); ++k) {
            s.columns << QString::fromLatin1(components[k].name);
            s.values << mixed[k];
        }
        return s;
    }
    s.values << columnValues(flow);
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (int(i) != day && int(i) != flow) {
            s.columns << table.columns[i].name;
            s.values << columnValues(int(i));
        }
    return s;
}

}  // namespace

const std::vector<FeedComponent> &feedComponents()
{
    static const std::vector<FeedComponent> components = {
        {"S_su", "kgCOD/m3", true},  {"S_aa", "kgCOD/m3", true},  {"S_fa", "kgCOD/m3", true},
        {"S_va", "kgCOD/m3", true},  {"S_bu", "kgCOD/m3", true},  {"S_pro", "kgCOD/m3", true},
        {"S_ac", "kgCOD/m3", true},  {"S_h2", "kgCOD/m3", true},  {"S_ch4", "kgCOD/m3", true},
        {"S_IC", "kmol/m3", false},  {"S_IN", "kmol/m3", false},  {"S_I", "kgCOD/m3", true},
        {"X_c", "kgCOD/m3", true},   {"X_ch", "kgCOD/m3", true},  {"X_pr", "kgCOD/m3", true},
        {"X_li", "kgCOD/m3", true},  {"X_su", "kgCOD/m3", true},  {"X_aa", "kgCOD/m3", true},
        {"X_fa", "kgCOD/m3", true},  {"X_c4", "kgCOD/m3", true},  {"X_pro", "kgCOD/m3", true},
        {"X_ac", "kgCOD/m3", true},  {"X_h2", "kgCOD/m3", true},  {"X_I", "kgCOD/m3", true},
        {"S_cat", "kmol/m3", false}, {"S_an", "kmol/m3", false},
    };
    return components;
}

int FeedSchedule::rowAt(double t) const
{
    const QList<double> &days = values.front();
    const auto after = std::lower_bound(days.cbegin(), days.cend(), t);
    return std::max(int(after - days.cbegin()) - 1, 0);
}

double FeedSchedule::flowAt(double t) const { return values[1][rowAt(t)]; }

double FeedSchedule::fedBy(const QList<double> &perDay, double t) const
{
    const QList<double> &days = values.front();
    double fed = 0;
    for (int r = 0; r < days.size() && r < perDay.size() && days[r] < t; ++r)
        fed += perDay[r] * (std::min(r + 1 < days.size() ? days[r + 1] : t, t) - days[r]);
    return fed;
}

double FeedSchedule::codAt(double t) const { return codOfRow(rowAt(t)); }

double FeedSchedule::codOfRow(int row) const
{
    double cod = 0;
    for (int i = 2; i < columns.size(); ++i) {
        const FeedComponent *c = component(columns[i]);
        if (!c || c->cod)  // X_c_in, or a component of organic matter
            cod += values[i][row];
    }
    return cod;
}

FileReading<Substrates> readSubstrates(const QString &path, const SubstrateValues &set)
{
    Problems problems(path);
    FileReading<Substrates> reading;
    const std::optional<QByteArray> bytes = contents(path, kLargestSubstratesFile, problems);
    const std::optional<toml::table> root = bytes ? tomlTable(*bytes, problems) : std::nullopt;
    if (root) {
        Substrates substrates;
        for (const auto &[name, node] : *root) {
            const toml::table *table = node.as_table();
            const QString substrate = QString::fromStdString(std::string(name.str()));
            if (!table) {
                problems.add(positionOf(node), QStringLiteral("substrate %1 must be a table of components").arg(substrate));
                continue;
            }
            QMap<QString, double> components;
            LabValues lab;
            for (const auto &[key, value] : *table) {
                const QString c = QString::fromStdString(std::string(key.str()));
                if (!component(c) && !labKey(c)) {
                    problems.add(positionOf(value), QStringLiteral("unknown component or lab value '%1'").arg(c));
                } else if (const std::optional<RawCell> cell = tomlCell(value, problems)) {
                    if (cell->value < 0)
                        problems.add(cell->at, QStringLiteral("%1 must not be negative").arg(c));
                    if (component(c))
                        components[c] = cell->value;
                    else
                        lab[c] = {cell->value, cell->at.line, cell->at.column};
                }
            }
            const Position at = positionOf(node);
            const LabConversion read = readSubstrateTable(substrate, components, lab, set, {at.line, at.column, {}});
            for (const LabNote &n : read.problems)
                problems.add({n.line, n.column}, QStringLiteral("%1: %2").arg(substrate, n.text));
            for (const LabNote &n : read.warnings)
                reading.warnings << QStringLiteral("%1:%2:%3: %4: %5").arg(QFileInfo(path).fileName()).arg(n.line).arg(n.column).arg(substrate, n.text);
            substrates[substrate] = read.values.value_or(components);
        }
        for (const QString &problem : strayValues(substrates.keys(), set))
            problems.add(problem);
        if (substrates.isEmpty() && !problems.any())
            problems.add(QStringLiteral("no substrates"));
        if (!problems.any())
            reading.value = substrates;
    }
    reading.problems = problems.list;
    return reading;
}

FileReading<FeedSchedule> readFeedSchedule(const QString &path, const Substrates &substrates)
{
    Problems problems(path);
    FileReading<FeedSchedule> reading;
    if (const std::optional<QByteArray> bytes = contents(path, kLargestFeedFile, problems)) {
        const RawTable table = path.endsWith(QLatin1String(".toml"), Qt::CaseInsensitive) ? readToml(*bytes, problems)
                                                                                           : readCsv(*bytes, problems);
        if (!problems.any())
            reading.value = schedule(table, substrates, problems);
        if (reading.value)
            reading.value->file = QFileInfo(path).absoluteFilePath();
    }
    reading.problems = problems.list;
    return reading;
}
