// The operator's values: Nordmann's titration simulated on a liquid's speciation, the alarm days,
// the energy balance, and the declaration of the outputs against the result table's columns.

#include "operation.h"
#include "resultcolumns.h"

#include <outputs.h>

#include <QSet>
#include <QTest>

#include <cmath>

namespace {

// At 35 °C with the model's constants (read once the program's resources are there).
AcidConstants constants() { return acidConstants({}, 308.15); }

// Acetic acid as mol/L of the four acids in the proportions of a digester (acetate most).
Sample digesterSample(double vfaHac, double inorganicCarbon, double pH)
{
    const double mol = vfaHac / 60;
    return {0.7 * mol, 0.2 * mol, 0.05 * mol, 0.05 * mol, inorganicCarbon, 0.1, 0, 0, std::pow(10.0, -pH)};
}

// A reactor table of rows (t, pH, S_ac) and a fixed gas: 10 Nm3/d wet with 60 % CH4 and 5 % water.
ResultRows reactorTable(const std::vector<std::array<double, 3>> &rows)
{
    ResultRows table;
    for (const auto &[t, pH, S_ac] : rows) {
        std::vector<double> row(kResultColumns, 0.0);
        row[columnOf("t")] = t, row[columnOf("pH")] = pH, row[columnOf("S_ac")] = S_ac, row[columnOf("S_h_ion")] = std::pow(10.0, -pH);
        row[columnOf("S_IC")] = 0.1, row[columnOf("S_IN")] = 0.1, row[columnOf("gasflow_N")] = 10;
        row[columnOf("Ch4 %")] = 60, row[columnOf("CO2 %")] = 34.9, row[columnOf("H2 %")] = 0.1, row[columnOf("H2O %")] = 5;
        table.push_back(row);
    }
    return table;
}

// Rows 0.1 d apart of pure dry methane: at 24 kWh/Nm3 each Nm3/d is a kW of methane.
ResultRows methaneTable(const std::vector<double> &kW)
{
    ResultRows table;
    for (size_t i = 0; i < kW.size(); ++i) {
        std::vector<double> row(kResultColumns, 0.0);
        row[columnOf("t")] = 0.1 * double(i), row[columnOf("gasflow_N")] = kW[i], row[columnOf("Ch4 %")] = 100;
        table.push_back(row);
    }
    return table;
}

// A CHP of 40 % electrical and 45 % thermal efficiency of a rated power and a gas storage.
PlantInputs chp(double ratedKw, double storageNm3) { return {24, 0.4, 0.45, 0, 288.15, 283.15, 0.5, 0.3, 0.4, 6.8, 4, ratedKw, storageNm3}; }

std::vector<double> plantColumn(const OperationTables &op, const char *key)
{
    std::vector<double> values;
    for (const std::vector<double> &row : op.plant)
        values.push_back(row[size_t(derivedColumn(OutputInfo::Scope::Plant, key))]);
    return values;
}

double valueOf(const std::vector<SummaryValue> &values, const QString &key)
{
    for (const SummaryValue &v : values)
        if (v.key == key)
            return v.value;
    qFatal("no value %s", qPrintable(key));
}

}  // namespace

class TestOperation : public QObject {
    Q_OBJECT

private slots:
    // TAC is the acid to pH 5.0: most of a bicarbonate buffer's alkalinity (2.5 g CaCO3/L per
    // 0.05 mol/L; some 5 % stays bicarbonate at pH 5), none of a liquid already below pH 5.
    void titrationOfABuffer()
    {
        const Sample bicarbonate{0, 0, 0, 0, 0.05, 0, 0, 0, std::pow(10.0, -8.3)};
        const Titration t = nordmannTitration(bicarbonate, constants());
        QVERIFY2(t.tac > 0.9 * 2.5 && t.tac < 2.5, qPrintable(QString::number(t.tac)));
        const Titration sour = nordmannTitration(digesterSample(6, 0.05, 4.9), constants());
        QCOMPARE(sour.tac, 0.0);
    }

    // Nordmann's empirical formula turns the acid taken from pH 5.0 to 4.4 into volatile acids; on
    // the model's speciation it reads the acids within 35 % from 2 to 6 g/L over a buffer of 0.05 to
    // 0.15 mol/L inorganic carbon, and high at little acid (the bicarbonate left at pH 5 counts).
    void nordmannFormulaAgainstTheAcidsGiven_data()
    {
        QTest::addColumn<double>("vfa");
        QTest::addColumn<double>("carbon");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("2 g/L, weak buffer") << 2.0 << 0.05 << 0.65 << 1.35;
        QTest::newRow("2 g/L, strong buffer") << 2.0 << 0.15 << 0.65 << 1.35;
        QTest::newRow("6 g/L, weak buffer") << 6.0 << 0.05 << 0.65 << 1.35;
        QTest::newRow("6 g/L, strong buffer") << 6.0 << 0.15 << 0.65 << 1.35;
        QTest::newRow("0.1 g/L reads high") << 0.1 << 0.1 << 2.0 << 10.0;
    }
    void nordmannFormulaAgainstTheAcidsGiven()
    {
        QFETCH(double, vfa);
        QFETCH(double, carbon);
        QFETCH(double, low);
        QFETCH(double, high);
        const double fos = nordmannTitration(digesterSample(vfa, carbon, 7.2), constants()).fos;
        QVERIFY2(fos / vfa > low && fos / vfa < high, qPrintable(QString::number(fos / vfa)));
    }

    // A lab titrates at room temperature (titration_temperature) from the sample's equilibrium
    // there, whatever the row's pH; runs of the damped pH solver titrate as versions before 2.0 did,
    // at the reactor's temperature from the row's pH.
    void titrationAtTheLabsTemperature()
    {
        const size_t tac = size_t(derivedColumn(OutputInfo::Scope::Reactor, "tac"));
        const auto tacOf = [tac](double pH, PhSolver solver, const ParameterValues &parameters) {
            const ResultRows table = reactorTable({{0, pH, 2.0}});
            OperationContext c{{&table}, 1, {328.15}, {100}, parameters, [](double) { return 2.0; }, {}, solver};
            return deriveOperation(c).reactors[0][0][tac];
        };
        Sample sample{2.0 / 64, 0, 0, 0, 0.1, 0.1, 0, 0, std::pow(10.0, -7.2)};
        QCOMPARE(tacOf(7.2, PhSolver::Exact, {}), equilibriumTitration(sample, acidConstants({}, 298.15)).tac);
        QCOMPARE(tacOf(6.9, PhSolver::Exact, {}), tacOf(7.2, PhSolver::Exact, {}));
        QVERIFY(tacOf(7.2, PhSolver::Exact, {{QStringLiteral("titration_temperature"), 328.15}}) != tacOf(7.2, PhSolver::Exact, {}));
        QCOMPARE(tacOf(7.2, PhSolver::Damped, {}), nordmannTitration(sample, acidConstants({}, 328.15)).tac);
    }

    // Days beyond a threshold add up the intervals ending in a row beyond it; the worst values and
    // the dry gas come from the rows. Energy: electricity, heat and losses make up the methane's energy.
    void alarmsDryGasAndEnergy()
    {
        // S_ac of 4.8 kgCOD/m3 is 4.5 g/L as acetic acid; pH 6.5 below the alarm of 6.8.
        const ResultRows table = reactorTable({{0, 7.2, 0.1}, {1, 6.5, 4.8}, {2.5, 6.5, 4.8}, {3, 7.0, 0.1}});
        PlantInputs plant{9.97, 0.4, 0.45, 0.08, 288.15, 283.15, 0.5, 0.3, 0.4, 6.8, 4};
        OperationContext c{{&table}, 4, {308.15}, {100}, {}, [](double) { return 2.0; }, plant};
        const OperationTables op = deriveOperation(c);
        const std::vector<SummaryValue> s = operationSummary(c, op);
        QCOMPARE(valueOf(s, "r1_days_ph_low"), 2.5);
        QCOMPARE(valueOf(s, "r1_days_vfa_high"), 2.5);
        QCOMPARE(valueOf(s, "r1_min_ph"), 6.5);
        QVERIFY(std::abs(valueOf(s, "r1_max_vfa_hac") - 4.5) < 1e-12);
        QCOMPARE(valueOf(s, "r1_final_normal_dry_gas_flow"), 9.5);
        QVERIFY(std::abs(valueOf(s, "r1_final_ch4_dry") - 60 / 0.95) < 1e-12);
        QVERIFY(valueOf(s, "r1_days_fos_tac_critical") > 0 && valueOf(s, "r1_days_fos_tac_critical") < 3);

        const double methane = valueOf(s, "methane_energy");
        QVERIFY(std::abs(methane - 3 * 6 * 9.97) < 1e-9);  // 6 Nm3/d of methane over 3 days
        const double made = valueOf(s, "electricity") + valueOf(s, "chp_heat") + valueOf(s, "chp_losses");
        QVERIFY(std::abs(made - methane) <= 1e-9 * methane);
        // 2 m3/d of feed heated by 20 K, and UA of a 100 m3 cylinder as high as wide over 25 K.
        const double ua = 0.5 * 1.5 * M_PI * std::pow(4 * 100 / M_PI, 2.0 / 3) / 1000;
        const double demand = 2 * 1000 * 4.18 * 20 / 86400 + ua * 25;
        QVERIFY(std::abs(valueOf(s, "heat_demand") - 72 * demand) < 1e-9);
        QVERIFY(std::abs(valueOf(s, "net_heat") - (valueOf(s, "chp_heat") - valueOf(s, "heat_demand"))) < 1e-9);
    }

    // Methane of 0, 100, 100, 20 and 20 kW. A 20 kW CHP burns at most 50 kW; the surplus of 50 kW
    // fills in 0.1 d 5 Nm3 of an 8 Nm3 storage, then the last 3 Nm3 (30 kW) and the flare takes 20
    // kW; at 20 kW of methane the storage gives the CHP its missing 30 kW (3 Nm3 a row).
    void chpFlareAndStorage_data()
    {
        QTest::addColumn<double>("rated");
        QTest::addColumn<double>("storage");
        QTest::addColumn<std::vector<double>>("electric");
        QTest::addColumn<std::vector<double>>("flare");
        QTest::addColumn<std::vector<double>>("stored");
        QTest::addColumn<std::vector<double>>("summary");  // flared Nm3, full-load hours, fill at the end
        const std::vector<double> none(5, 0.0);
        QTest::newRow("no limit") << 0.0 << 0.0 << std::vector<double>{0, 40, 40, 8, 8} << none << none
                                  << std::vector<double>{0, qQNaN(), qQNaN()};
        QTest::newRow("20 kW") << 20.0 << 0.0 << std::vector<double>{0, 20, 20, 8, 8}
                               << std::vector<double>{0, 50, 50, 0, 0} << none << std::vector<double>{10, 6.24, qQNaN()};
        QTest::newRow("20 kW, 8 Nm3 stored") << 20.0 << 8.0 << std::vector<double>{0, 20, 20, 20, 20}
                                             << std::vector<double>{0, 0, 20, 0, 0} << std::vector<double>{0, 5, 8, 5, 2}
                                             << std::vector<double>{2, 8.4, 0.25};
    }
    void chpFlareAndStorage()
    {
        QFETCH(double, rated);
        QFETCH(double, storage);
        const ResultRows table = methaneTable({0, 100, 100, 20, 20});
        OperationContext c{{&table}, 5, {308.15}, {100}, {}, [](double) { return 2.0; }, chp(rated, storage)};
        const OperationTables op = deriveOperation(c);
        const auto near = [](const std::vector<double> &got, const std::vector<double> &want) {
            for (size_t i = 0; i < want.size(); ++i)
                if (std::isnan(got[i]) != std::isnan(want[i]) || std::abs(got[i] - want[i]) > 1e-9)
                    return false;
            return got.size() == want.size();
        };
        QFETCH(std::vector<double>, electric);
        QFETCH(std::vector<double>, flare);
        QFETCH(std::vector<double>, stored);
        QFETCH(std::vector<double>, summary);
        QVERIFY(near(plantColumn(op, "electric_power"), electric));
        QVERIFY(near(plantColumn(op, "flare_power"), flare));
        QVERIFY(near(plantColumn(op, "stored_methane"), stored));
        const std::vector<SummaryValue> s = operationSummary(c, op);
        QVERIFY(near({valueOf(s, "flared_methane"), valueOf(s, "chp_full_load_hours"), valueOf(s, "gas_storage_fill")}, summary));
        QVERIFY(std::abs(valueOf(s, "flared_share") - summary[0] * 24 / valueOf(s, "methane_energy")) < 1e-12);
    }

    // Electricity, CHP heat, CHP losses and the flare make up the methane's energy; with the gas
    // storage full at the end (nothing flowing into it), its methane makes up the rest.
    void energyClosureWithTheFlare_data()
    {
        QTest::addColumn<double>("rated");
        QTest::addColumn<double>("storage");
        QTest::newRow("no limit") << 0.0 << 0.0;
        QTest::newRow("20 kW") << 20.0 << 0.0;
        QTest::newRow("20 kW, 8 Nm3 stored") << 20.0 << 8.0;
    }
    void energyClosureWithTheFlare()
    {
        QFETCH(double, rated);
        QFETCH(double, storage);
        const ResultRows table = methaneTable({0, 100, 100, 20, 20, 100, 100, 100, 100});
        OperationContext c{{&table}, 9, {308.15}, {100}, {}, [](double) { return 2.0; }, chp(rated, storage)};
        const std::vector<SummaryValue> s = operationSummary(c, deriveOperation(c));
        const double stored = storage > 0 ? valueOf(s, "gas_storage_fill") * storage * 24 : 0.0;
        const double made = valueOf(s, "electricity") + valueOf(s, "chp_heat") + valueOf(s, "chp_losses") +
                            valueOf(s, "flared_energy") + stored;
        QVERIFY2(std::abs(made - valueOf(s, "methane_energy")) < 1e-9, qPrintable(QString::number(made)));
        QVERIFY(rated == 0 || valueOf(s, "mean_electric_power") <= rated);
    }

    // Row 0 of a start-up holds no ions: its free ammonia and ammonium nitrogen are its S_IN split at
    // its pH as the model splits it; later rows take the model's own (0 in this table).
    void ammoniaOfTheFirstRow()
    {
        const ResultRows table = reactorTable({{0, 7.2, 0.1}, {1, 7.1, 0.2}});
        const OperationContext c{{&table}, 2, {308.15}, {100}, {}, [](double) { return 2.0; }, {}};
        const ResultRows rows = deriveOperation(c).reactors[0];
        const size_t nh3 = size_t(derivedColumn(OutputInfo::Scope::Reactor, "nh3_n"));
        const size_t nh4 = size_t(derivedColumn(OutputInfo::Scope::Reactor, "nh4_n"));
        const double Ka = constants().Ka_IN, H = std::pow(10.0, -7.2);
        QCOMPARE(rows[0][nh3], Ka * 0.1 / (Ka + H) * 14000);
        QCOMPARE(rows[0][nh4], H * 0.1 / (Ka + H) * 14);
        QCOMPARE(rows[1][nh3], 0.0);
    }

    // The declaration names the table's columns as the table does, its summary keys are those of a
    // run's summary, and no name means two quantities.
    void declarationMatchesTheTableAndTheSummary()
    {
        const ResultRows table = reactorTable({{0, 7.2, 0.1}, {1, 7.1, 0.2}});
        OperationContext c{{&table}, 2, {308.15}, {100}, {}, [](double) { return 2.0; }, {}};
        RunSummary summary = summarizeRun({QStringLiteral("ssad"), &table, nullptr, 2, false, {{0, 2, 10}}, 100});
        for (const SummaryValue &v : operationSummary(c, deriveOperation(c)))
            summary.values.push_back(v);
        QStringList produced, declared;
        for (const SummaryValue &v : summary.values)
            produced << v.key;
        for (const OutputInfo &info : outputInfos())
            for (const char *key : info.summary)
                declared << (info.scope == OutputInfo::Scope::Reactor ? QStringLiteral("r1_") : QString()) + key;
        produced.sort();
        declared.sort();
        QCOMPARE(produced, declared);

        for (int c = 0; c < kResultColumns; ++c)
            QCOMPARE(outputInfos()[size_t(c)].column, kResultColumnTable[c].header);
        QSet<QString> names;
        for (const OutputInfo &info : outputInfos()) {
            QStringList own{QString::fromUtf8(info.key)};
            for (const char *alias : info.aliases)
                own << QString::fromUtf8(alias);
            for (const QString &name : own) {
                QVERIFY2(!names.contains(name), qPrintable(name));
                names.insert(name);
                QCOMPARE(outputInfo(name), &info);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestOperation)
#include "tst_operation.moc"
