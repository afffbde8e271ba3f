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

        for (int c = 0; c < kResultColumns; ++c) {
            QCOMPARE(outputInfos()[size_t(c)].column, kResultColumnTable[c].header);
            QCOMPARE(outputInfos()[size_t(c)].columnUnit, kResultColumnTable[c].unit);
        }
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
