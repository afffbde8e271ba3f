// Run summaries against values worked out by hand from small tables, and their JSON, text,
// window lines and sheet rows.

#include "resultcolumns.h"
#include "runsummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Row {
    double t, gasflow, gasflowN, ch4, co2, h2, ph, sac, sbu, spro, sva, snh3;
};

int column(const char *header)
{
    int c = 0;
    while (QLatin1String(kResultColumnTable[c].header) != QLatin1String(header))
        ++c;
    return c;
}

ResultRows table(std::initializer_list<Row> rows)
{
    ResultRows out;
    for (const Row &r : rows) {
        std::vector<double> row(kResultColumns, 0.0);
        for (auto [header, value] : {std::pair{"t", r.t}, {"gasflow", r.gasflow}, {"gasflow_N", r.gasflowN},
                                     {"Ch4 %", r.ch4}, {"CO2 %", r.co2}, {"H2 %", r.h2}, {"pH", r.ph},
                                     {"S_ac", r.sac}, {"S_bu", r.sbu}, {"S_pro", r.spro}, {"S_va", r.sva},
                                     {"S_nh3", r.snh3}})
            row[column(header)] = value;
        out.push_back(row);
    }
    return out;
}

// Reactor 1: the largest gas flow is in the last row.
//   normal biogas  = 0.1 × ((0 + 9)/2 + (9 + 27)/2 + (27 + 36)/2)          = 5.4 Nm3
//   methane flows  = 0, 9 × 0.5 = 4.5, 27 × 0.6 = 16.2, 36 × 0.625 = 22.5 Nm3/d
//   normal methane = 0.1 × ((0 + 4.5)/2 + (4.5 + 16.2)/2 + (16.2 + 22.5)/2) = 3.195 Nm3
//   total VFA      = 0.1 + 0.2 + 0.3 + 0.4                                  = 1.0 kgCOD/m3
const ResultRows kReactor1 = table({
    {0.0, 0, 0, 0, 0, 0, 7.0, 0, 0, 0, 0, 0},
    {0.1, 10, 9, 50, 40, 1, 7.1, 0.5, 0.5, 0.5, 0.5, 0.001},
    {0.2, 30, 27, 60, 35, 0.5, 7.2, 0.4, 0.3, 0.2, 0.1, 0.0015},
    {0.3, 40, 36, 62.5, 33, 0.25, 7.3, 0.4, 0.2, 0.3, 0.1, 0.002},
});
// Reactor 2: a steady 4 Nm3/d at 50 % methane → biogas 0.3 × 4 = 1.2, methane 0.6 Nm3.
const ResultRows kReactor2 = table({
    {0.0, 5, 4, 50, 49, 0, 7.5, 0, 0, 0, 0, 0.01},
    {0.1, 5, 4, 50, 49, 0, 7.5, 0, 0, 0, 0, 0.01},
    {0.2, 5, 4, 50, 49, 0, 7.5, 0, 0, 0, 0, 0.01},
    {0.3, 5, 4, 50, 49, 0, 7.5, 0, 0, 0, 0, 0.01},
});

// 3 m3/d at 25 kgCOD/m3 feed 75 kgCOD/d into 37.5 m3 of liquid: 2 kgCOD/(m3·d).
SummaryInputs singleReactor(const ResultRows &r1, int rows)
{
    return {QStringLiteral("ssad"), &r1, nullptr, rows, false, {{0, 3, 25}}, 37.5};
}

double valueOf(const RunSummary &s, const QString &key)
{
    for (const SummaryValue &v : s.values)
        if (v.key == key)
            return v.value;
    qFatal("no value %s", qPrintable(key));
}

}  // namespace

class TestRunSummary : public QObject {
    Q_OBJECT

private slots:
    void singleReactorValuesComputedByHand()
    {
        const RunSummary s = summarizeRun(singleReactor(kReactor1, 4));
        QCOMPARE(s.reactors, 1);
        QCOMPARE(s.days, 0.3);
        QVERIFY(!s.stoppedEarly);
        QVERIFY(s.notNumbers().isEmpty());

        const QStringList keys{"r1_final_gas_flow", "r1_final_normal_gas_flow", "r1_peak_gas_flow", "r1_final_ch4",
                               "r1_final_co2", "r1_final_h2", "r1_final_ph", "r1_final_vfa",
                               "r1_final_free_ammonia", "r1_normal_biogas", "r1_normal_methane",
                               "organic_loading_rate", "mean_organic_loading_rate", "specific_methane_yield"};
        const std::vector<double> expected{40, 36, 40, 62.5, 33, 0.25, 7.3, 1.0, 0.002, 5.4, 3.195,
                                           2.0, 2.0, 3.195 / 22.5};
        // Then what substrates with lab values fed, none here, and the reactor's retention and loading.
        // (the share of the BMP reached among the former)
        QCOMPARE(int(s.values.size()), keys.size() + 6 + 4);
        QCOMPARE(s.values[keys.size() + 4].key, "specific_methane_yield_vs");
        QCOMPARE(s.values[keys.size() + 4].note, "not applicable (no substrates with lab values)");
        for (int i = 0; i < keys.size(); ++i) {
            QCOMPARE(s.values[i].key, keys[i]);
            QCOMPARE(s.values[i].value, expected[i]);
        }
        QCOMPARE(s.values[13].label, QStringLiteral("Specific methane yield"));
        QCOMPARE(s.values[13].unit, QStringLiteral("Nm3/kgCOD"));

        QCOMPARE(summaryLines(s), QStringList{QStringLiteral("Methane 3.195 Nm3 over 0.3 d · CH4 62.5 % · pH 7.30")});
        const QString text = summaryText(s);
        QVERIFY(text.contains(QStringLiteral("\nReactor 1 final gas flow: 40 m3/d\n")));
        QVERIFY(text.contains(QStringLiteral("\nReactor 1 final pH: 7.3\n")));
        QVERIFY(text.contains(QStringLiteral("\nOrganic loading rate: 2 kgCOD/(m3·d)\n")));
        QVERIFY(!text.contains(QStringLiteral("Stopped")));
    }

    // Both reactors side by side; the yield adds their methane.
    void twoReactorsKeepTheirOwnValues()
    {
        const RunSummary s = summarizeRun({QStringLiteral("tsad"), &kReactor1, &kReactor2, 4, false, {{0, 3, 25}}, 30, 20});
        QCOMPARE(s.reactors, 2);
        QCOMPARE(int(s.values.size()), 39);
        QCOMPARE(s.values[11].key, QStringLiteral("r2_final_gas_flow"));
        QCOMPARE(s.values[11].label, QStringLiteral("Reactor 2 final gas flow"));
        QCOMPARE(valueOf(s, "r1_peak_gas_flow"), 40.0);
        QCOMPARE(valueOf(s, "r2_peak_gas_flow"), 5.0);
        QCOMPARE(valueOf(s, "r2_normal_biogas"), 1.2);
        QCOMPARE(valueOf(s, "r2_normal_methane"), 0.6);
        QCOMPARE(valueOf(s, "r2_final_free_ammonia"), 0.01);
        QCOMPARE(valueOf(s, "organic_loading_rate"), 1.5);                    // 75 / 50
        QCOMPARE(valueOf(s, "specific_methane_yield"), (3.195 + 0.6) / 22.5);
        QCOMPARE(summaryLines(s)[1], QStringLiteral("Methane 0.6 Nm3 over 0.3 d · CH4 50.0 % · pH 7.50"));

        const auto rows = summarySheetRows(s);
        QCOMPARE(rows[0], (std::vector<QVariant>{"Quantity", "Unit", "Reactor 1", "Reactor 2"}));
        QCOMPARE(rows[1], (std::vector<QVariant>{"Final gas flow", "m3/d", 40.0, 5.0}));
        QCOMPARE(rows[11][0], QVariant("Normal methane produced"));
        QCOMPARE(rows[11][2].toDouble(), 3.195);
        QCOMPARE(rows[12], std::vector<QVariant>{});
        QCOMPARE(rows[13], (std::vector<QVariant>{"Whole run", "Unit", "Value"}));
        QCOMPARE(rows[14], (std::vector<QVariant>{"Organic loading rate", "kgCOD/(m3·d)", 1.5}));
        QCOMPARE(rows.size(), size_t(31));
    }

    // A NaN pH is named and never printed as a result; a run without feed has a yield that
    // does not apply, which is no failure.
    void valuesThatAreNotNumbersAreNamed()
    {
        ResultRows r1 = kReactor1;
        r1[3][column("pH")] = std::numeric_limits<double>::quiet_NaN();
        SummaryInputs in = singleReactor(r1, 4);
        in.feed = {{0, 0, 25}};
        const RunSummary s = summarizeRun(in);
        QCOMPARE(s.notNumbers(), QStringList{"r1_final_ph"});
        QCOMPARE(valueOf(s, "organic_loading_rate"), 0.0);

        QCOMPARE(summaryLines(s)[0], QStringLiteral("Methane 3.195 Nm3 over 0.3 d · CH4 62.5 % · pH not a number"));
        const QString text = summaryText(s);
        QVERIFY(text.contains(QStringLiteral("\nReactor 1 final pH: not a number\n")));
        QVERIFY(text.contains(QStringLiteral("\nSpecific methane yield: not applicable (no feed)\n")));
        const QString note = QStringLiteral("Values that are not numbers: Reactor 1 final pH.");
        QVERIFY(text.contains('\n' + note + '\n'));

        const QJsonObject json = QJsonDocument::fromJson(QJsonDocument(summaryJson(s)).toJson()).object();
        QCOMPARE(json["not_numbers"].toArray(), QJsonArray{"r1_final_ph"});
        const QJsonArray values = json["values"].toArray();
        QVERIFY(values[6].toObject()["value"].isNull());
        QCOMPARE(values[6].toObject()["key"].toString(), QStringLiteral("r1_final_ph"));
        QVERIFY(!values[6].toObject().contains("note"));
        QCOMPARE(values[0].toObject()["value"].toDouble(), 40.0);
        QCOMPARE(values[0].toObject()["unit"].toString(), QStringLiteral("m3/d"));
        QVERIFY(values[13].toObject()["value"].isNull());
        QCOMPARE(values[13].toObject()["note"].toString(), QStringLiteral("not applicable (no feed)"));

        const auto rows = summarySheetRows(s);
        QCOMPARE(rows[0], std::vector<QVariant>{note});
        QCOMPARE(rows[1], std::vector<QVariant>{"Values that are not numbers, first at day 0.3 in \"pH\" of reactor 1."});
        QCOMPARE(rows[9], (std::vector<QVariant>{"Final pH", "-", "not a number"}));
        QCOMPARE(rows[rows.size() - 11], (std::vector<QVariant>{"Specific methane yield", "Nm3/kgCOD", "not applicable (no feed)"}));

        // A table without rows has no reactor value at all; the loading rate needs none.
        const RunSummary empty = summarizeRun(singleReactor(kReactor1, 0));
        QCOMPARE(empty.notNumbers().size(), 11);
        QVERIFY(!empty.notNumbers().contains("organic_loading_rate"));
        QCOMPARE(empty.days, 0.0);
    }

    void stoppedEarlyRunIsSummarisedUpToItsLastRow()
    {
        SummaryInputs in = singleReactor(kReactor1, 3);
        in.stoppedEarly = true;
        const RunSummary s = summarizeRun(in);
        QCOMPARE(s.days, 0.2);
        QCOMPARE(valueOf(s, "r1_final_gas_flow"), 30.0);
        QCOMPARE(valueOf(s, "r1_peak_gas_flow"), 30.0);
        QCOMPARE(valueOf(s, "r1_normal_biogas"), 0.1 * (4.5 + 18));

        QVERIFY(summaryLines(s)[0].endsWith(QStringLiteral(" (stopped at day 0.2)")));
        QVERIFY(summaryText(s).endsWith(QStringLiteral("\nStopped early at day 0.2.\n")));
        QCOMPARE(summarySheetRows(s)[0], std::vector<QVariant>{"Stopped early at day 0.2."});
        QCOMPARE(summaryJson(s)["stopped_early"].toBool(), true);
        QCOMPARE(summaryJson(s)["days"].toDouble(), 0.2);
    }

    // Days as reached, without the float noise of adding up steps, however early a run stopped.
    void daysAsReached()
    {
        ResultRows r1 = kReactor1;
        r1[1][0] = 0.0142;
        r1[3][0] = 4.999999999999998;
        SummaryInputs in = singleReactor(r1, 2);
        in.stoppedEarly = true;
        const RunSummary stopped = summarizeRun(in);
        QCOMPARE(stopped.days, 0.0142);
        QVERIFY(summaryText(stopped).endsWith(QStringLiteral("\nStopped early at day 0.0142.\n")));
        QVERIFY(summaryLines(stopped)[0].contains(QStringLiteral(" over 0.0142 d ")));
        const RunSummary whole = summarizeRun(singleReactor(r1, 4));
        QCOMPARE(QJsonDocument(summaryJson(whole)).toJson(QJsonDocument::Compact).contains("\"days\":5,"), true);
        QVERIFY(summaryText(whole).startsWith(QStringLiteral("Summary of the ssad run over 5 d:\n")));
    }

    // A run continued from a state of day 60 counts what was fed from that day on, over its own days.
    void continuedRunCountsFromItsFirstDay()
    {
        ResultRows r1 = kReactor1;
        for (std::vector<double> &row : r1)
            row[0] += 60;
        SummaryInputs in = singleReactor(r1, 4);
        in.feed = {{0, 3, 25}, {60.2, 1, 25}};
        const RunSummary s = summarizeRun(in);
        QCOMPARE(s.firstDay, 60.0);
        QCOMPARE(valueOf(s, "mean_organic_loading_rate"), (75 * 0.2 + 25 * 0.1) / 0.3 / 37.5);
        QVERIFY(summaryText(s).startsWith(QStringLiteral("Summary of the ssad run over 0.3 d:\n")));
    }

    // The yield and the mean loading take the COD fed over the whole run (3.195 Nm3 of methane
    // over 0.3 d, 37.5 m3 of liquid); more methane than the COD fed and held can give is
    // impossible.
    void yieldAndLoadingOverTheWholeRun_data()
    {
        QTest::addColumn<std::vector<FeedStep>>("feed");
        QTest::addColumn<double>("codAtStart");  // kgCOD/m3 in the liquid on day 0.1
        QTest::addColumn<double>("loadingAtEnd");
        QTest::addColumn<double>("meanLoading");
        QTest::addColumn<double>("yield");  // NaN: not applicable
        QTest::addColumn<bool>("impossible");
        const double fed = 75 * 0.2 + 0.025 * 0.1;
        QTest::newRow("flow nearly stopped at day 0.2")
            << std::vector<FeedStep>{{0, 3, 25}, {0.2, 0.001, 25}} << 0.0 << 0.025 / 37.5 << fed / 0.3 / 37.5
            << 3.195 / fed << false;
        QTest::newRow("flow stopped at day 0.2")
            << std::vector<FeedStep>{{0, 3, 25}, {0.2, 0, 25}} << 0.0 << 0.0 << 15 / 0.3 / 37.5 << 3.195 / 15 << false;
        QTest::newRow("methane from the start contents")
            << std::vector<FeedStep>{{0, 1e-300, 25}} << 1.0 << 25e-300 / 37.5 << 25e-300 / 37.5 << qQNaN() << false;
        QTest::newRow("methane from nothing")
            << std::vector<FeedStep>{{0, 1e-300, 25}} << 0.0 << 25e-300 / 37.5 << 25e-300 / 37.5 << 0.0 << true;
    }
    void yieldAndLoadingOverTheWholeRun()
    {
        QFETCH(std::vector<FeedStep>, feed);
        QFETCH(double, codAtStart);
        ResultRows r1 = kReactor1;
        r1[1][column("Total COD")] = codAtStart;
        SummaryInputs in = singleReactor(r1, 4);
        in.feed = feed;
        const RunSummary s = summarizeRun(in);
        QFETCH(double, loadingAtEnd);
        QFETCH(double, meanLoading);
        QCOMPARE(valueOf(s, "organic_loading_rate"), loadingAtEnd);
        QCOMPARE(valueOf(s, "mean_organic_loading_rate"), meanLoading);
        QFETCH(double, yield);
        QFETCH(bool, impossible);
        QCOMPARE(s.unsound.has_value(), impossible);
        if (impossible) {
            QCOMPARE(s.unsound->describe(), "physically impossible values, \"Specific methane yield\" of the whole run (4.26e+299)");
        } else if (std::isnan(yield)) {
            QCOMPARE(s.values[13].note, "not applicable (methane mostly from the start contents)");
            QVERIFY(s.notNumbers().isEmpty());
        } else {
            QCOMPARE(valueOf(s, "specific_methane_yield"), yield);
        }
    }

    // Retention and VS loading over the liquid up to each reactor: 3 m3/d with 0.3 t/d of VS, from
    // day 0.2 6 m3/d with 0.9 t/d; over 0.3 d 1.2 m3 (a mean 4 m3/d) and 0.15 t of VS are fed.
    void retentionAndVsLoadingPerReactor_data()
    {
        QTest::addColumn<double>("liquid2");  // m3; 0: a single reactor
        QTest::addColumn<std::vector<FeedStep>>("feed");
        QTest::addColumn<std::vector<double>>("expected");  // mean and min HRT, mean and max VS loading, per reactor
        QTest::addColumn<QString>("hrtNote");               // why the retention does not apply
        const std::vector<FeedStep> substrates{{0, 3, 25, 0.3}, {0.2, 6, 25, 0.9}};
        QTest::newRow("one reactor") << 0.0 << substrates << std::vector<double>{9.375, 6.25, 150 / 0.3 / 37.5, 24}
                                     << QString();
        QTest::newRow("two reactors") << 20.0 << substrates
                                      << std::vector<double>{37.5 / 4, 6.25, 150 / 0.3 / 37.5, 24, 57.5 / 4, 57.5 / 6,
                                                             150 / 0.3 / 57.5, 900 / 57.5}
                                      << QString();
        QTest::newRow("no lab values") << 0.0 << std::vector<FeedStep>{{0, 3, 25}, {0.2, 6, 25}}
                                       << std::vector<double>{9.375, 6.25, qQNaN(), qQNaN()} << QString();
        QTest::newRow("no feed") << 0.0 << std::vector<FeedStep>{{0, 0, 25}}
                                 << std::vector<double>{qQNaN(), qQNaN(), qQNaN(), qQNaN()}
                                 << QStringLiteral("not applicable (no feed)");
    }
    void retentionAndVsLoadingPerReactor()
    {
        QFETCH(double, liquid2);
        QFETCH(std::vector<FeedStep>, feed);
        QFETCH(std::vector<double>, expected);
        QFETCH(QString, hrtNote);
        SummaryInputs in = singleReactor(kReactor1, 4);
        if (liquid2 > 0)
            in.reactor2 = &kReactor2, in.liquidVolume2 = liquid2;
        in.feed = feed;
        in.volatileSolidsFed = std::isnan(feed[0].vs) ? qQNaN() : 0.15;
        const RunSummary s = summarizeRun(in);
        int i = 0;
        for (int r = 1; r <= s.reactors; ++r)
            for (const char *key : {"mean_hrt", "min_hrt", "mean_vs_loading", "max_vs_loading"}) {
                const QString name = QStringLiteral("r%1_%2").arg(r).arg(QLatin1String(key));
                const auto found = std::find_if(s.values.begin(), s.values.end(), [&](const SummaryValue &v) { return v.key == name; });
                QVERIFY2(found != s.values.end(), qPrintable(name));
                const double want = expected[size_t(i++)];
                const QString note = name.endsWith("hrt") ? hrtNote : "not applicable (no substrates with lab values)";
                QVERIFY2(std::isnan(want) ? std::isnan(found->value) && found->note == note
                                          : std::abs(found->value - want) < 1e-12 && found->note.isEmpty(),
                         qPrintable(name + QLatin1Char(' ') + QString::number(found->value) + found->note));
            }
        QCOMPARE(i, int(expected.size()));
    }

    // Values no digester holds, beyond rounding and the integrator's tolerance, are named by
    // their first row and column; those within are not.
    void physicallyImpossibleValues_data()
    {
        QTest::addColumn<int>("reactor");
        QTest::addColumn<QString>("header");
        QTest::addColumn<double>("value");  // put into row 2 (day 0.2)
        QTest::addColumn<bool>("impossible");
        QTest::newRow("share below 0") << 1 << "CO2 %" << -0.01 << true;
        QTest::newRow("share below 0 by rounding") << 1 << "H2 %" << -0.0005 << false;
        QTest::newRow("share above 100") << 2 << "Ch4 %" << 100.002 << true;
        QTest::newRow("share above 100 by rounding") << 1 << "H2O %" << 100.0005 << false;
        // S_ac so far at most 0.5: the integrator may leave it 10 × (1e-12 + 0.5e-6) below 0;
        // S_nh3 (at most 0.001) is judged on the scale 0.1: 10 × (1e-12 + 0.1e-6).
        QTest::newRow("concentration below 0") << 1 << "S_ac" << -1e-4 << true;
        QTest::newRow("concentration below 0 within tolerance") << 1 << "S_ac" << -4e-6 << false;
        QTest::newRow("small concentration below 0") << 1 << "S_nh3" << -2e-6 << true;
        QTest::newRow("small concentration below 0 within tolerance") << 1 << "S_nh3" << -5e-7 << false;
        QTest::newRow("gas flow below 0") << 2 << "gasflow" << -0.5 << true;
        QTest::newRow("not a number") << 1 << "pH" << std::numeric_limits<double>::quiet_NaN() << true;
    }
    void physicallyImpossibleValues()
    {
        QFETCH(int, reactor);
        QFETCH(QString, header);
        QFETCH(double, value);
        QFETCH(bool, impossible);
        ResultRows tables[] = {kReactor1, kReactor2};
        tables[reactor - 1][2][column(qPrintable(header))] = value;
        const RunSummary s = summarizeRun({QStringLiteral("tsad"), &tables[0], &tables[1], 4, false, {{0, 3, 25}}, 30, 20});
        QCOMPARE(s.unsound.has_value(), impossible);
        if (!impossible)
            return;
        QCOMPARE(s.unsound->reactor, reactor);
        QCOMPARE(s.unsound->day, 0.2);
        QCOMPARE(s.unsound->column, header);
        QCOMPARE(s.unsound->isNumber(), std::isfinite(value));
        if (header == "CO2 %")
            QCOMPARE(summarySheetRows(s)[0], std::vector<QVariant>{
                "Physically impossible values, first at day 0.2 in \"CO2 %\" of reactor 1 (-0.01)."});
    }
};

QTEST_GUILESS_MAIN(TestRunSummary)
#include "tst_runsummary.moc"
