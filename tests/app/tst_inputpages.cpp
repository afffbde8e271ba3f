// The input pages: the fraction check, what the fields let the user type, the resets and the
// pH-mode switch.

#include "mainwindow.h"
#include "windowprobe.h"

#include <QLabel>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QValidator>

#include <memory>

class InputPagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    QString currentPage()
    {
        return widget<QStackedWidget>(window.get(), "stackedWidget")->currentWidget()->objectName();
    }
    QRadioButton *radio(const char *name) { return widget<QRadioButton>(window.get(), name); }
    void setTexts(const QStringList &names, const QString &value)
    {
        for (const QString &name : names)
            setText(window.get(), qPrintable(name), value);
    }
    void compareTexts(const QStringList &names, const QStringList &expected)
    {
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(text(window.get(), qPrintable(names[i])), expected[i]);
    }

    const QStringList page0 = {"lineEdit_final_Q_in", "lineEdit_X_c_in", "lineEdit_t_end", "lineEdit_f_pr_xc",
                               "lineEdit_f_li_xc", "lineEdit_f_ch_xc", "lineEdit_manual_ph"};
    const QStringList page0Defaults = {"5.31", "10", "50", "0.3", "0.3", "0.3", "7.0"};
    const QStringList page1 = {"lineEdit_T_1", "lineEdit_P_atm1", "lineEdit_V_t1"};
    const QStringList page1Defaults = {"308", "1.013", "33"};
    const QStringList page2 = {"lineEdit_T_1_ts", "lineEdit_P_atm1_ts", "lineEdit_P_atm2_ts", "lineEdit_V_t1_ts",
                               "lineEdit_V_t2_ts"};
    const QStringList page2Defaults = {"308", "1.013", "1.013", "33", "33"};
    const QStringList page3 = {"lineEdit_T_1_tp", "lineEdit_T_2_tp", "lineEdit_P_atm1_tp", "lineEdit_P_atm2_tp",
                               "lineEdit_V_t1_tp", "lineEdit_V_t2_tp", "lineEdit_t_sr"};
    const QStringList page3Defaults = {"308", "308", "1.013", "1.013", "33", "33", "0"};
    const QStringList page4 = {"lineEdit_T_1_pm", "lineEdit_P_atm1_pm", "lineEdit_V_t1_pm", "lineEdit_mix_i_pm"};
    const QStringList page4Defaults = {"308", "1.013", "33", "10"};

private slots:
    void init() { window = std::make_unique<MainWindow>(); }
    void cleanup() { window.reset(); }

    void initialTexts()
    {
        compareTexts(page0, page0Defaults);
        compareTexts(page1, page1Defaults);
        // The two-stage page starts with twice the atmospheric pressure in its first reactor.
        compareTexts(page2, {"308", "2.026", "1.013", "33", "33"});
        compareTexts(page3, page3Defaults);
        compareTexts(page4, page4Defaults);
    }

    void fractionCheck_data()
    {
        QTest::addColumn<QString>("f_pr");
        QTest::addColumn<QString>("f_li");
        QTest::addColumn<QString>("f_ch");
        QTest::addColumn<bool>("warns");
        QTest::newRow("below 1") << "0.3" << "0.3" << "0.3" << false;
        QTest::newRow("exactly 1") << "0.3" << "0.3" << "0.4" << false;
        // In doubles (0.56 + 0.34) + 0.1 comes out a hair above 1.
        QTest::newRow("exactly 1, rounded up") << "0.34" << "0.56" << "0.1" << false;
        QTest::newRow("above 1") << "0.5" << "0.3" << "0.3" << true;
        QTest::newRow("barely above 1") << "0.5" << "0.25" << "0.2500001" << true;
        QTest::newRow("empty counts as 0") << "" << "0.6" << "0.4" << false;
        QTest::newRow("empty, rest above 1") << "0.6" << "" << "0.5" << true;
    }

    void fractionCheck()
    {
        QFETCH(QString, f_pr);
        QFETCH(QString, f_li);
        QFETCH(QString, f_ch);
        QFETCH(bool, warns);
        radio("radioButton_TSAD")->setChecked(true);
        setText(window.get(), "lineEdit_f_pr_xc", f_pr);
        setText(window.get(), "lineEdit_f_li_xc", f_li);
        setText(window.get(), "lineEdit_f_ch_xc", f_ch);
        MessageBoxCloser closer;
        click(window.get(), "pushButton_C1");
        if (warns) {
            QCOMPARE(closer.title, QStringLiteral("Incorrect values"));
            QCOMPARE(closer.message,
                     QStringLiteral("Sum of factioning factors cannot be greater then 1 - please revise the values."));
            QCOMPARE(currentPage(), QStringLiteral("page"));
            // The values stay for the user to revise.
            QCOMPARE(text(window.get(), "lineEdit_f_pr_xc"), f_pr);
        } else {
            QVERIFY(closer.title.isEmpty());
            QCOMPARE(currentPage(), QStringLiteral("page_TSAD"));
        }
    }

    // Each row types `typed` key by key into an emptied field; refused keys leave no trace.
    void typing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("complete");
        QTest::newRow("decimal") << "lineEdit_final_Q_in" << "12.75" << "12.75" << true;
        QTest::newRow("decimal without leading digit") << "lineEdit_X_c_in" << ".5" << ".5" << true;
        QTest::newRow("whole number kept") << "lineEdit_t_end" << "50" << "50" << false;
        QTest::newRow("trailing point kept") << "lineEdit_t_end" << "50." << "50." << false;
        QTest::newRow("no sign") << "lineEdit_V_t1_ts" << "-33" << "33" << false;
        QTest::newRow("no exponent") << "lineEdit_P_atm2_tp" << "1e5" << "15" << false;
        QTest::newRow("decimal comma") << "lineEdit_mix_i_pm" << "1,5" << "1.5" << true;
        QTest::newRow("one point") << "lineEdit_T_1" << "1.2.3" << "1.23" << true;
        QTest::newRow("fraction") << "lineEdit_f_pr_xc" << "0.25" << "0.25" << true;
        QTest::newRow("fraction lone zero") << "lineEdit_f_li_xc" << "0" << "0" << false;
        QTest::newRow("fraction zero point") << "lineEdit_f_li_xc" << "0." << "0." << false;
        QTest::newRow("fraction refuses 1") << "lineEdit_f_ch_xc" << "1" << "" << false;
        QTest::newRow("fraction refuses 1.0") << "lineEdit_f_ch_xc" << "1.0" << "0" << false;
        QTest::newRow("fraction one leading zero") << "lineEdit_f_ch_xc" << "00.5" << "0.5" << true;
        QTest::newRow("fraction comma") << "lineEdit_f_ch_xc" << "0,25" << "0.25" << true;
        QTest::newRow("pH") << "lineEdit_manual_ph" << "7.25" << "7.25" << true;
        QTest::newRow("pH whole") << "lineEdit_manual_ph" << "12" << "12" << true;
        QTest::newRow("pH highest") << "lineEdit_manual_ph" << "12.99" << "12.99" << true;
        QTest::newRow("pH lone 1 kept") << "lineEdit_manual_ph" << "1" << "1" << true;
        QTest::newRow("pH refuses 0.5") << "lineEdit_manual_ph" << "0.5" << "5" << true;
        QTest::newRow("pH refuses 13") << "lineEdit_manual_ph" << "13" << "1" << true;
        QTest::newRow("pH refuses a third decimal") << "lineEdit_manual_ph" << "7.123" << "7.12" << true;
        QTest::newRow("pH point kept") << "lineEdit_manual_ph" << "7." << "7." << false;
        QTest::newRow("pH comma") << "lineEdit_manual_ph" << "6,5" << "6.5" << true;
    }

    void typing()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(bool, complete);
        auto *edit = widget<QLineEdit>(window.get(), qPrintable(field));
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), kept);
        QCOMPARE(edit->hasAcceptableInput(), complete);
    }

    // Return or Enter in any field of page 0, a whole number in it or not, is "Continue >>", with
    // its fraction check.
    void returnContinues()
    {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        radio("radioButton_POMP")->setChecked(true);
        for (const QString &name : page0) {
            auto *field = widget<QLineEdit>(window.get(), qPrintable(name));
            widget<QStackedWidget>(window.get(), "stackedWidget")->setCurrentIndex(0);
            field->setFocus();
            QTest::keyClick(field, name.endsWith("ph") ? Qt::Key_Enter : Qt::Key_Return,
                            name.endsWith("ph") ? Qt::KeypadModifier : Qt::NoModifier);
            QVERIFY2(currentPage() == QStringLiteral("page_POMP"), qPrintable(name));
        }
        widget<QStackedWidget>(window.get(), "stackedWidget")->setCurrentIndex(0);
        auto *fraction = widget<QLineEdit>(window.get(), "lineEdit_f_pr_xc");
        fraction->setText("0.5");
        fraction->setFocus();
        MessageBoxCloser closer;
        QTest::keyClick(fraction, Qt::Key_Return);
        QCOMPARE(closer.title, QStringLiteral("Incorrect values"));
        QCOMPARE(currentPage(), QStringLiteral("page"));
    }

    void everyReactorFieldTakesDecimalsOnly()
    {
        const QValidator *decimal = widget<QLineEdit>(window.get(), "lineEdit_final_Q_in")->validator();
        QVERIFY(decimal);
        for (const QStringList *page : {&page1, &page2, &page3, &page4}) {
            for (const QString &name : *page)
                QVERIFY2(widget<QLineEdit>(window.get(), qPrintable(name))->validator() == decimal, qPrintable(name));
        }
    }

    void programTextIsNotValidated()
    {
        // A reset writes "0" into a decimal field where typing "0" alone would be incomplete.
        click(window.get(), "pushButton_D4");
        QCOMPARE(text(window.get(), "lineEdit_t_sr"), QStringLiteral("0"));
    }

    void resetOfInputPage()
    {
        setTexts(page0, "0.1");
        radio("radioButton_free")->setChecked(true);
        radio("radioButton_POMP")->setChecked(true);
        setText(window.get(), "lineEdit_T_1", "40");
        click(window.get(), "pushButton_D1");
        compareTexts(page0, page0Defaults);
        QVERIFY(radio("radioButton_manual")->isChecked());
        QVERIFY(widget<QLineEdit>(window.get(), "lineEdit_manual_ph")->isEnabled());
        QVERIFY(radio("radioButton_SSAD")->isChecked());
        QCOMPARE(widget<QLabel>(window.get(), "label_remtime")->text(), QStringLiteral("Estimating remaining time..."));
        QCOMPARE(text(window.get(), "lineEdit_T_1"), QStringLiteral("40"));
        QCOMPARE(currentPage(), QStringLiteral("page"));
    }

    // Each reactor page's reset restores that page and its kelvin choice, nothing else, and
    // stays on the page.
    void resetOfReactorPage_data()
    {
        QTest::addColumn<int>("pageIndex");
        QTest::addColumn<QString>("reset");
        QTest::addColumn<QString>("celsius");
        QTest::addColumn<QString>("kelvin");
        QTest::newRow("single-stage") << 1 << "pushButton_D2" << "radioButton_UnitC" << "radioButton_unitK";
        QTest::newRow("two-stage") << 2 << "pushButton_D3" << "radioButton_UnitC_ts" << "radioButton_UnitK_ts";
        QTest::newRow("temperature-phased") << 3 << "pushButton_D4" << "radioButton_UnitC_tp" << "radioButton_UnitK_tp";
        QTest::newRow("pump-mixed") << 4 << "pushButton_D5" << "radioButton_UnitC_pm" << "radioButton_unitK_pm";
    }

    void resetOfReactorPage()
    {
        QFETCH(int, pageIndex);
        QFETCH(QString, reset);
        QFETCH(QString, celsius);
        QFETCH(QString, kelvin);
        const QList<const QStringList *> fields = {&page0, &page1, &page2, &page3, &page4};
        const QList<const QStringList *> defaults = {&page0Defaults, &page1Defaults, &page2Defaults, &page3Defaults,
                                                     &page4Defaults};
        for (const QStringList *page : fields)
            setTexts(*page, "0.5");
        for (const char *name : {"radioButton_UnitC", "radioButton_UnitC_ts", "radioButton_UnitC_tp", "radioButton_UnitC_pm"})
            radio(name)->setChecked(true);
        widget<QStackedWidget>(window.get(), "stackedWidget")->setCurrentIndex(pageIndex);

        click(window.get(), qPrintable(reset));

        QCOMPARE(widget<QStackedWidget>(window.get(), "stackedWidget")->currentIndex(), pageIndex);
        for (int i = 0; i < fields.size(); ++i) {
            if (i == pageIndex)
                compareTexts(*fields[i], *defaults[i]);
            else
                compareTexts(*fields[i], QStringList(fields[i]->size(), "0.5"));
        }
        QVERIFY(radio(qPrintable(kelvin))->isChecked());
        const QStringList others = QStringList{"radioButton_UnitC", "radioButton_UnitC_ts", "radioButton_UnitC_tp",
                                               "radioButton_UnitC_pm"}.filter(QRegularExpression("^(?!" + celsius + "$)"));
        QCOMPARE(others.size(), 3);
        for (const QString &name : others)
            QVERIFY2(radio(qPrintable(name))->isChecked(), qPrintable(name));
    }

    void phModeSwitch()
    {
        auto *ph = widget<QLineEdit>(window.get(), "lineEdit_manual_ph");
        setText(window.get(), "lineEdit_manual_ph", "6.5");
        QTest::mouseClick(radio("radioButton_free"), Qt::LeftButton, {}, QPoint(5, 10));
        QVERIFY(radio("radioButton_free")->isChecked());
        QVERIFY(!ph->isEnabled());
        QCOMPARE(ph->text(), QStringLiteral("6.5"));
        QTest::mouseClick(radio("radioButton_manual"), Qt::LeftButton, {}, QPoint(5, 10));
        QVERIFY(radio("radioButton_manual")->isChecked());
        QVERIFY(ph->isEnabled());
        QCOMPARE(ph->text(), QStringLiteral("6.5"));
    }
};

QTEST_MAIN(InputPagesTest)
#include "tst_inputpages.moc"
