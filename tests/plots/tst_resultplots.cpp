// The result plots: which graphs, data, pens, names, labels and ranges they get, the previous
// run drawn behind them, and their images.

#include "plotimage.h"
#include "previousrun.h"
#include "resultplots.h"

#include <qcustomplot.h>

#include <QtTest>

class TestResultPlots : public QObject {
    Q_OBJECT

    static QVector<double> keysOf(QCPGraph *g)
    {
        QVector<double> keys;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            keys << it->key;
        return keys;
    }
    static QVector<double> valuesOf(QCPGraph *g)
    {
        QVector<double> values;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            values << it->value;
        return values;
    }

private slots:
    void flowPlot()
    {
        QCustomPlot plot;
        const QVector<double> t{0, 0.1, 0.2, 0.3}, flow{0, 2, 5, 9};
        drawFlowPlot(&plot, t, flow, 5, 50);

        QCOMPARE(plot.graphCount(), 1);
        QCOMPARE(keysOf(plot.graph(0)), t);
        QCOMPARE(valuesOf(plot.graph(0)), flow);
        QCOMPARE(plot.xAxis->label(), QString("time [d]"));
        QCOMPARE(plot.yAxis->label(), QString("Gasflow [m3/d]"));
        QCOMPARE(plot.xAxis->range(), QCPRange(0, 50));
        QCOMPARE(plot.yAxis->range(), QCPRange(0, 5));  // the last sample may rise above the top
        QVERIFY(!plot.legend->visible());
    }

    void compositionPlot()
    {
        QCustomPlot plot;
        const QVector<double> t{0, 1, 2}, ch4{60, 61, 62}, co2{35, 34, 33}, h2{0.1, 0.2, 0.3}, h2o{4, 5, 6};
        drawCompositionPlot(&plot, t, ch4, co2, h2, h2o, 2);

        QCOMPARE(plot.graphCount(), 4);
        const QStringList names{"CH4", "CO2", "H2", "H2O"};
        const QList<QColor> colours{Qt::red, Qt::blue, Qt::green, Qt::black};
        const QVector<QVector<double>> shares{ch4, co2, h2, h2o};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(plot.graph(i)->name(), names[i]);
            QCOMPARE(plot.graph(i)->pen(), QPen(colours[i]));
            QCOMPARE(keysOf(plot.graph(i)), t);
            QCOMPARE(valuesOf(plot.graph(i)), shares[i]);
        }
        QCOMPARE(plot.xAxis->label(), QString("time [d]"));
        QCOMPARE(plot.yAxis->label(), QString("[%]"));
        QCOMPARE(plot.xAxis->range(), QCPRange(0, 2));
        QCOMPARE(plot.yAxis->range(), QCPRange(0, 100));
        QVERIFY(plot.legend->visible());
        QCOMPARE(plot.legend->itemCount(), 4);
        QCOMPARE(plot.legend->itemWithPlottable(plot.graph(0)), plot.legend->item(0));
    }

    void redrawingLeavesOnlyTheNewRun()
    {
        QCustomPlot flowPlot, compPlot;
        const QVector<double> a{1, 2, 3}, b{4, 5};
        drawFlowPlot(&flowPlot, a, a, 3, 10);
        drawFlowPlot(&flowPlot, b, b, 5, 20);
        QCOMPARE(flowPlot.graphCount(), 1);
        QCOMPARE(valuesOf(flowPlot.graph(0)), b);
        QCOMPARE(flowPlot.xAxis->range(), QCPRange(0, 20));

        drawCompositionPlot(&compPlot, a, a, a, a, a, 10);
        drawCompositionPlot(&compPlot, b, b, b, b, b, 20);
        QCOMPARE(compPlot.graphCount(), 4);
        QCOMPARE(compPlot.legend->itemCount(), 4);
        QCOMPARE(valuesOf(compPlot.graph(3)), b);
    }

    void previousRunLiesBehindAndGoesAgain()
    {
        QCustomPlot flowPlot, compPlot;
        const QVector<double> t{0, 1, 2}, now{1, 2, 3};
        drawFlowPlot(&flowPlot, t, now, 3, 2);
        drawCompositionPlot(&compPlot, t, now, now, now, now, 2);
        const ReactorCurves previous{{0, 1}, {4, 8}, {50, 51}, {40, 41}, {1, 1}, {9, 7}};

        drawPreviousRun(&flowPlot, &compPlot, previous);
        drawPreviousRun(&flowPlot, &compPlot, previous);  // drawn again, not twice
        QCOMPARE(flowPlot.graphCount(), 2);
        QCOMPARE(compPlot.graphCount(), 8);
        QCOMPARE(valuesOf(flowPlot.graph(1)), previous.flow);
        QCOMPARE(valuesOf(compPlot.graph(7)), previous.h2o);
        QCOMPARE(flowPlot.yAxis->range(), QCPRange(0, 8));  // the earlier peak stays in sight
        for (QCustomPlot *plot : {&flowPlot, &compPlot}) {
            QCPGraph *faint = plot->graph(plot->graphCount() - 1);
            QVERIFY(plot->layer("previous")->index() < plot->layer("main")->index());
            QCOMPARE(faint->layer()->name(), QString("previous"));
            QVERIFY(faint->pen().color().alpha() < 255);
            QVERIFY(plot->legend->visible());
            QCOMPARE(plot->legend->item(plot->legend->itemCount() - 1),
                     plot->legend->itemWithPlottable(plot->graph(plot == &flowPlot ? 1 : 4)));
            QCOMPARE(plot->graph(plot == &flowPlot ? 1 : 4)->name(), QString("previous run"));
        }
        QCOMPARE(flowPlot.legend->itemCount(), 1);
        QCOMPARE(compPlot.legend->itemCount(), 5);

        clearPreviousRun(&flowPlot, &compPlot);
        QCOMPARE(flowPlot.graphCount(), 1);
        QCOMPARE(compPlot.graphCount(), 4);
        QCOMPARE(compPlot.legend->itemCount(), 4);
        QVERIFY(!flowPlot.legend->visible());
    }

    void imagesHaveTheSizeAsked()
    {
        QTemporaryDir dir;
        QCustomPlot plot;
        plot.resize(350, 320);
        drawFlowPlot(&plot, {0, 1}, {1, 2}, 2, 1);

        const QString png = dir.filePath("flow.png"), pdf = dir.filePath("flow.PDF");
        QCOMPARE(imageFormatOf(png), ImageFormat::Png);
        QCOMPARE(imageFormatOf(pdf), ImageFormat::Pdf);
        QVERIFY(!imageFormatOf(dir.filePath("flow.jpg")));
        QCOMPARE(savePlotImage(&plot, png, ImageFormat::Png, 400, 300, 2), QString());
        QCOMPARE(QImage(png).size(), QSize(800, 600));
        QCOMPARE(savePlotImage(&plot, pdf, ImageFormat::Pdf, 500, 250), QString());
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QVERIFY(data.startsWith("%PDF"));
        QVERIFY(QRegularExpression("/MediaBox \\[0 0 500(\\.0+)? 250(\\.0+)?\\]").match(data).hasMatch());

        // A folder that is not there: nothing written, the reason given.
        QVERIFY(!savePlotImage(&plot, dir.filePath("missing/flow.png"), ImageFormat::Png, 100, 100).isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
};

QTEST_MAIN(TestResultPlots)
#include "tst_resultplots.moc"
