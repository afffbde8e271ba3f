#include <QImage>
#include <QtTest>

// The pictures the window loads at start-up, by the relative paths it uses, from the project
// folder it is started in. A missing or mis-sized file shows only as an empty or cropped label.
class TestGraphics : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureLoadsAtTheSizeOfItsLabel_data();
    void everyPictureLoadsAtTheSizeOfItsLabel();
    void rowIconsStandOnATransparentGround();
};

void TestGraphics::everyPictureLoadsAtTheSizeOfItsLabel_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    const QSize row(30, 30);
    for (const char *icon : {"flux", "biomass", "time", "probe", "temperature", "pressure", "volume", "mixer"})
        QTest::newRow(icon) << QStringLiteral("graphics/%1.png").arg(QLatin1String(icon)) << row;
    QTest::newRow("background") << QStringLiteral("graphics/background.png") << QSize(850, 240);
    QTest::newRow("computer") << QStringLiteral("graphics/computer.png") << QSize(221, 185);
    // no label fixes these two; a null size only asks that they load
    QTest::newRow("splash") << QStringLiteral("./graphics/splash.png") << QSize();
    QTest::newRow("favicon") << QStringLiteral("./graphics/favicon.png") << QSize();
}

void TestGraphics::everyPictureLoadsAtTheSizeOfItsLabel()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    if (size.isValid())
        QCOMPARE(image.size(), size);
    else
        QVERIFY(image.width() >= 64 && image.height() >= 64);
}

void TestGraphics::rowIconsStandOnATransparentGround()
{
    for (const char *icon : {"flux", "biomass", "time", "probe", "temperature", "pressure", "volume", "mixer"}) {
        const QImage image(QStringLiteral("graphics/%1.png").arg(QLatin1String(icon)));
        QVERIFY2(image.hasAlphaChannel(), icon);
        QVERIFY2(qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(29, 0)) == 0, icon);
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                drawn += qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(drawn > 90, icon);
    }
}

QTEST_MAIN(TestGraphics)
#include "tst_graphics.moc"
