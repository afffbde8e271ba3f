// The window as a whole: its structure, the page flow between the pages, new simulation,
// closing, the dialogs and the workers' progress wiring.

#include "mainwindow.h"
#include "plantdialog.h"
#include "windowprobe.h"

#include <credits.h>
#include <help.h>
#include <results.h>
#include <workers.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>

#include <qcustomplot.h>

#include <memory>

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    QStackedWidget *pages() { return widget<QStackedWidget>(window.get(), "stackedWidget"); }
    QString currentPage() { return pages()->currentWidget()->objectName(); }
    QAction *action(const char *name) { return widget<QAction>(window.get(), name); }
    QRadioButton *radio(const char *name) { return widget<QRadioButton>(window.get(), name); }
    // Shortcuts answer only in the active window.
    void showActive()
    {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

private slots:
    void init() { window = std::make_unique<MainWindow>(); }
    void cleanup() { window.reset(); }

    void windowIsFixedAndTitled()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Digestra v." DIGESTRA_VERSION));
        QCOMPARE(window->size(), QSize(850, 500));
        QCOMPARE(window->minimumSize(), QSize(850, 500));
        QCOMPARE(window->maximumSize(), QSize(850, 500));
        QVERIFY(window->statusBar()->isHidden());
        QVERIFY(!window->statusBar()->isSizeGripEnabled());
        QCOMPARE(window->font().family(), QStringLiteral("Open Sans"));
    }

    void pagesInOrder()
    {
        const QStringList expected = {"page", "page_SSAD", "page_TSAD", "page_TPAD", "page_POMP",
                                      "page_Loading", "page_Results_1s", "page_Results_2s"};
        QCOMPARE(pages()->count(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(pages()->widget(i)->objectName(), expected[i]);
        auto *reactors = widget<QStackedWidget>(window.get(), "stackedWidget_2");
        QCOMPARE(reactors->parent()->objectName(), QStringLiteral("page_Results_2s"));
        QCOMPARE(reactors->widget(0)->objectName(), QStringLiteral("page_R1"));
        QCOMPARE(reactors->widget(1)->objectName(), QStringLiteral("page_R2"));
        QCOMPARE(reactors->currentIndex(), 0);
        QCOMPARE(pages()->currentIndex(), 0);
    }

    void pagesLieAboveTheBackground()
    {
        auto *central = widget<QWidget>(window.get(), "centralWidget");
        const QObjectList stacking = central->children();  // back to front
        const auto *background = widget<QLabel>(window.get(), "background");
        QCOMPARE(background->geometry(), QRect(0, 350, 850, 240));
        QVERIFY(stacking.indexOf(background) < stacking.indexOf(pages()));
        QCOMPARE(pages()->geometry(), QRect(0, 0, 850, 591));
    }

    // The plant dialog shows the declared defaults, holds OK back while the CHP would give more than
    // the methane holds, and gives back what was typed.
    void plantDialogChecksItsValues()
    {
        PlantDialog dialog(defaultRequest(1));
        auto *thermal = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_eta-th"));
        auto *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QCOMPARE(thermal->text(), QStringLiteral("0.45"));
        QVERIFY(ok->isEnabled());
        thermal->setText(QStringLiteral("0.7"));
        QVERIFY(!ok->isEnabled());
        QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("label_plant_problems"))->text().contains("eta-el"));
        thermal->setText(QStringLiteral("0.5"));
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.values(RunRequest{}).eta_th, 0.5);
    }

    void menus()
    {
        auto *file = widget<QMenu>(window.get(), "menuSelect");
        auto *info = widget<QMenu>(window.get(), "menuAbout");
        QCOMPARE(file->title(), QStringLiteral("&File"));
        QCOMPARE(info->title(), QStringLiteral("&Info"));
        const QList<QAction *> fileEntries = file->actions();
        QCOMPARE(fileEntries.size(), 8);
        QCOMPARE(fileEntries[0], action("actionNew_Simulation"));
        QCOMPARE(fileEntries[1], action("actionOpen_inputs"));
        QCOMPARE(fileEntries[2], action("actionSave_inputs"));
        QCOMPARE(fileEntries[3], action("actionModel_parameters"));
        QCOMPARE(fileEntries[4], action("actionPlant_alarms"));
        QCOMPARE(fileEntries[5], action("actionSave_final_state"));
        QVERIFY(!action("actionSave_final_state")->isEnabled());  // until a run has finished
        QVERIFY(fileEntries[6]->isSeparator());
        QCOMPARE(fileEntries[7], action("actionExit"));
        QCOMPARE(info->actions(), (QList<QAction *>{action("actionHelp"), action("actionUser_guide"), action("actionCredits")}));
        const QList<QPair<const char *, QString>> texts = {{"actionNew_Simulation", "&New Simulation"},
                                                           {"actionExit", "E&xit"},
                                                           {"actionHelp", "&Help"},
                                                           {"actionUser_guide", "&User guide"},
                                                           {"actionCredits", "&About\\License"},
                                                           {"actionOpen_inputs", "&Open inputs…"},
                                                           {"actionSave_inputs", "&Save inputs…"},
                                                           {"actionModel_parameters", "Model &parameters…"},
                                                           {"actionPlant_alarms", "Plant and &alarms…"},
                                                           {"actionSave_final_state", "Save &final state…"}};
        for (const auto &[name, text] : texts)
            QCOMPARE(action(name)->text(), text);
        QCOMPARE(action("actionNew_Simulation")->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
        QCOMPARE(action("actionExit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QCOMPARE(action("actionHelp")->shortcut(), QKeySequence(QStringLiteral("F1")));
        QCOMPARE(action("actionOpen_inputs")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(action("actionSave_inputs")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(window->menuBar()->objectName(), QStringLiteral("menuBar"));
    }

    // Page 0's feed and start boxes show whole in the fixed window, clear of the page's other widgets.
    void feedAndStartBoxesFitPageZero()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (const char *name : {"groupBox_feed", "groupBox_start"}) {
            auto *box = widget<QGroupBox>(window.get(), name);
            QVERIFY(window->centralWidget()->rect().contains(QRect(box->mapTo(window->centralWidget(), QPoint()), box->size())));
            for (QWidget *sibling : box->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                QVERIFY2(sibling == box || !sibling->geometry().intersects(box->geometry()), qPrintable(sibling->objectName()));
        }
        auto *start = widget<QComboBox>(window.get(), "comboBox_start");
        QCOMPARE(start->currentText(), QStringLiteral("Built-in start-up"));
        QCOMPARE(start->count(), 3);
    }

    // The check box fits its text and lies clear of every other widget of its page.
    void resultPagesOfferPreviousRunAndPlotImages()
    {
        for (const char *name : {"checkBox_previous", "checkBox_previous_2"}) {
            auto *box = widget<QCheckBox>(window.get(), name);
            QCOMPARE(box->text(), QStringLiteral("Show previous run"));
            QVERIFY(!box->isChecked());
            QVERIFY(box->sizeHint().width() <= box->width());
            for (QWidget *sibling : box->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                QVERIFY2(sibling == box || !sibling->geometry().intersects(box->geometry()),
                         qPrintable(sibling->objectName()));
        }
        const QList<QCustomPlot *> plots =
            pages()->widget(6)->findChildren<QCustomPlot *>() + pages()->widget(7)->findChildren<QCustomPlot *>();
        QCOMPARE(plots.size(), 6);
        for (QCustomPlot *plot : plots)
            QCOMPARE(plot->contextMenuPolicy(), Qt::CustomContextMenu);
    }

    // Widgets the code and the later run control refer to: name, class, parent.
    void namedWidgets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry");
        auto row = [](const char *name, const char *cls, const char *parent, QRect geometry) {
            QTest::newRow(name) << name << cls << parent << geometry;
        };
        row("groupBox", "QGroupBox", "page", QRect(20, 20, 511, 331));
        row("groupBox_ph_mode", "QGroupBox", "groupBox", QRect(310, 200, 181, 101));
        row("groupBox_config", "QGroupBox", "page", QRect(550, 20, 281, 231));
        row("lineEdit_final_Q_in", "QLineEdit", "groupBox", QRect(210, 45, 200, 25));
        row("lineEdit_f_ch_xc", "QLineEdit", "groupBox", QRect(100, 290, 200, 25));
        row("lineEdit_manual_ph", "QLineEdit", "groupBox_ph_mode", QRect(80, 60, 81, 25));
        row("label_9", "QLabel", "groupBox", QRect(420, 50, 81, 16));
        row("radioButton_POMP", "QRadioButton", "groupBox_config", QRect(30, 190, 221, 20));
        row("groupBox_7", "QGroupBox", "page_TPAD", QRect(20, 20, 591, 331));
        row("groupBox_21", "QGroupBox", "groupBox_16", QRect(420, 20, 121, 51));
        row("radioButton_UnitC_tp", "QRadioButton", "groupBox_6", QRect(60, 20, 51, 20));
        row("lineEdit_t_sr", "QLineEdit", "groupBox_7", QRect(210, 290, 200, 25));
        row("lineEdit_mix_i_pm", "QLineEdit", "groupBox_16", QRect(210, 155, 200, 25));
        row("pushButton_C1", "QPushButton", "page", QRect(630, 370, 130, 32));
        row("pushButton_D4", "QPushButton", "page_TPAD", QRect(630, 320, 130, 32));
        row("pushButton_B5", "QPushButton", "page_POMP", QRect(480, 370, 130, 32));
        row("progressBar", "QProgressBar", "page_Loading", QRect(250, 250, 350, 30));
        row("label_remtime", "QLabel", "page_Loading", QRect(300, 320, 250, 20));
        row("pushButton_Cancel", "QPushButton", "page_Loading", QRect(350, 360, 150, 28));
        row("label_65", "QLabel", "page_Loading", QRect(310, 20, 221, 185));
        row("customPlot", "QCustomPlot", "page_Results_1s", QRect(50, 10, 350, 320));
        row("customPlot_6", "QCustomPlot", "page_R2", QRect(430, 0, 350, 320));
        row("pushButton_toR2", "QPushButton", "page_R1", QRect(360, 330, 104, 32));
        row("pushButton_E_2", "QPushButton", "page_Results_2s", QRect(510, 380, 140, 32));
        row("label_workbook_2", "QLabel", "page_Results_2s", QRect(50, 458, 750, 16));  // under the summary
    }

    void namedWidgets()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        auto *found = window->findChild<QWidget *>(name);
        QVERIFY2(found, qPrintable(name));
        QCOMPARE(QString::fromLatin1(found->metaObject()->className()), className);
        QCOMPARE(found->parent()->objectName(), parentName);
        QCOMPARE(found->geometry(), geometry);
        QCOMPARE(window->findChildren<QWidget *>(name).size(), 1);
    }

    void looks()
    {
        const QString primary = widget<QPushButton>(window.get(), "pushButton_C1")->styleSheet();
        const QString secondary = widget<QPushButton>(window.get(), "pushButton_D1")->styleSheet();
        QVERIFY(primary.contains("rgb(0, 147, 221)"));
        QVERIFY(secondary.contains("rgb(194, 193, 193)"));
        // The temperature-phased page gives its "Back" button the primary look.
        QVERIFY(widget<QPushButton>(window.get(), "pushButton_B4")->styleSheet().isEmpty());
        QCOMPARE(widget<QWidget>(window.get(), "page_TPAD")->styleSheet(), primary);
        QCOMPARE(widget<QPushButton>(window.get(), "pushButton_N_2")->styleSheet(), secondary);

        const QFont box = widget<QGroupBox>(window.get(), "groupBox_4")->font();
        QCOMPARE(box.pointSize(), 10);
        QVERIFY(box.bold() && box.italic());
        // Fields stay at the page's 8 pt although their boxes are larger and bold.
        for (const char *name : {"lineEdit_T_1", "label_14", "radioButton_unitK", "lineEdit_X_c_in", "label_33"}) {
            const QFont font = widget<QWidget>(window.get(), name)->font();
            QCOMPARE(font.family(), QStringLiteral("Open Sans"));
            QCOMPARE(font.pointSize(), 8);
            QVERIFY(!font.bold() && !font.italic());
        }
        // Every button is drawn at the page's 8 pt, those under the temperature-phased page's
        // style sheet and on the reactor sub-pages included.
        for (QPushButton *button : window->findChildren<QPushButton *>()) {
            button->ensurePolished();
            QCOMPARE(button->font().family(), QStringLiteral("Open Sans"));
            QVERIFY2(button->font().pointSize() == 8, qPrintable(button->objectName()));
        }
        const QColor accent(0, 147, 221);
        for (const char *name : {"label", "label_2", "label_9", "label_39", "label_105"})
            QCOMPARE(widget<QLabel>(window.get(), name)->palette().color(QPalette::Active, QPalette::WindowText), accent);
        QCOMPARE(widget<QLabel>(window.get(), "label_9")->textFormat(), Qt::RichText);
    }

    void progressChunkIsBlueNotBlack()
    {
        auto *bar = widget<QProgressBar>(window.get(), "progressBar");
        bar->setValue(50);
        const QImage image = bar->grab().toImage();
        const QColor chunkStart = image.pixelColor(4, image.height() / 2);
        QVERIFY2(chunkStart.blue() > 150 && chunkStart.red() < 100, qPrintable(chunkStart.name()));
    }

    void plotTitles()
    {
        const QList<QPair<const char *, QString>> titles = {
            {"customPlot", "Biogas flow"},     {"customPlot_2", "Biogas composition"},
            {"customPlot_3", "R1 Biogas flow"}, {"customPlot_4", "Biogas composition"},
            {"customPlot_5", "R2 Biogas flow"}, {"customPlot_6", "Biogas composition"}};
        for (const auto &[name, title] : titles) {
            auto *plot = widget<QCustomPlot>(window.get(), name);
            auto *element = qobject_cast<QCPTextElement *>(plot->plotLayout()->element(0, 0));
            QVERIFY2(element, name);
            QCOMPARE(element->text(), title);
            QCOMPARE(element->font().pointSize(), 8);
            QVERIFY(element->font().bold());
            QVERIFY(qobject_cast<QCPAxisRect *>(plot->plotLayout()->element(1, 0)));
        }
    }

    void startsOnInputPageWithFirstChoices()
    {
        QCOMPARE(currentPage(), QStringLiteral("page"));
        QVERIFY(radio("radioButton_SSAD")->isChecked());
        QVERIFY(radio("radioButton_manual")->isChecked());
        QVERIFY(widget<QLineEdit>(window.get(), "lineEdit_manual_ph")->isEnabled());
        for (const char *kelvin : {"radioButton_unitK", "radioButton_UnitK_ts", "radioButton_UnitK_tp", "radioButton_unitK_pm"})
            QVERIFY2(radio(kelvin)->isChecked(), kelvin);
        QCOMPARE(widget<QProgressBar>(window.get(), "progressBar")->value(), 50);
        QCOMPARE(widget<QLabel>(window.get(), "label_remtime")->text(),
                 QStringLiteral("Please wait... first run may take a while"));
    }

    void continueOpensTheConfigurationsPage_data()
    {
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("back");
        QTest::newRow("single-stage") << "radioButton_SSAD" << "page_SSAD" << "pushButton_B2";
        QTest::newRow("two-stage") << "radioButton_TSAD" << "page_TSAD" << "pushButton_B3";
        QTest::newRow("temperature-phased") << "radioButton_TPAD" << "page_TPAD" << "pushButton_B4";
        QTest::newRow("pump-mixed") << "radioButton_POMP" << "page_POMP" << "pushButton_B5";
    }

    void continueOpensTheConfigurationsPage()
    {
        QFETCH(QString, configuration);
        QFETCH(QString, page);
        QFETCH(QString, back);
        radio(qPrintable(configuration))->setChecked(true);
        click(window.get(), "pushButton_C1");
        QCOMPARE(currentPage(), page);
        click(window.get(), qPrintable(back));
        QCOMPARE(currentPage(), QStringLiteral("page"));
        QVERIFY(radio(qPrintable(configuration))->isChecked());
    }

    void backKeepsWhatWasTyped()
    {
        radio("radioButton_TPAD")->setChecked(true);
        setText(window.get(), "lineEdit_t_end", "120");
        setText(window.get(), "lineEdit_f_ch_xc", "0.2");
        click(window.get(), "pushButton_C1");
        setText(window.get(), "lineEdit_T_2_tp", "55");
        radio("radioButton_UnitC_tp")->setChecked(true);
        click(window.get(), "pushButton_B4");
        click(window.get(), "pushButton_C1");
        QCOMPARE(currentPage(), QStringLiteral("page_TPAD"));
        QCOMPARE(text(window.get(), "lineEdit_t_end"), QStringLiteral("120"));
        QCOMPARE(text(window.get(), "lineEdit_f_ch_xc"), QStringLiteral("0.2"));
        QCOMPARE(text(window.get(), "lineEdit_T_2_tp"), QStringLiteral("55"));
        QVERIFY(radio("radioButton_UnitC_tp")->isChecked());
    }

    void reactorButtonsSwitchOnlyTheSubPage()
    {
        auto *reactors = widget<QStackedWidget>(window.get(), "stackedWidget_2");
        pages()->setCurrentIndex(7);
        click(window.get(), "pushButton_toR2");
        QCOMPARE(reactors->currentWidget()->objectName(), QStringLiteral("page_R2"));
        QCOMPARE(currentPage(), QStringLiteral("page_Results_2s"));
        click(window.get(), "pushButton_toR1");
        QCOMPARE(reactors->currentWidget()->objectName(), QStringLiteral("page_R1"));
        QCOMPARE(currentPage(), QStringLiteral("page_Results_2s"));
    }

    void newSimulationRestoresPagesZeroToThree_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<int>("resultsPage");
        QTest::newRow("menu") << "actionNew_Simulation" << 7;
        QTest::newRow("one-reactor results") << "pushButton_N" << 6;
        QTest::newRow("two-reactor results") << "pushButton_N_2" << 7;
    }

    void newSimulationRestoresPagesZeroToThree()
    {
        QFETCH(QString, trigger);
        QFETCH(int, resultsPage);
        setText(window.get(), "lineEdit_final_Q_in", "9.9");
        setText(window.get(), "lineEdit_manual_ph", "4.5");
        radio("radioButton_free")->setChecked(true);
        radio("radioButton_TSAD")->setChecked(true);
        setText(window.get(), "lineEdit_V_t1", "12");
        radio("radioButton_UnitC")->setChecked(true);
        setText(window.get(), "lineEdit_P_atm1_ts", "3");
        setText(window.get(), "lineEdit_t_sr", "4");
        setText(window.get(), "lineEdit_mix_i_pm", "25");
        radio("radioButton_UnitC_pm")->setChecked(true);
        results::plot_t_R1 = {0.0, 0.1};
        results::plot_flow_R2 = {1.0, 2.0};
        pages()->setCurrentIndex(resultsPage);

        if (trigger.startsWith("action"))
            action(qPrintable(trigger))->trigger();
        else
            click(window.get(), qPrintable(trigger));

        QCOMPARE(currentPage(), QStringLiteral("page"));
        QVERIFY(results::plot_t_R1.isEmpty());
        QVERIFY(results::plot_flow_R2.isEmpty());
        QCOMPARE(text(window.get(), "lineEdit_final_Q_in"), QStringLiteral("5.31"));
        QCOMPARE(text(window.get(), "lineEdit_manual_ph"), QStringLiteral("7.0"));
        QVERIFY(radio("radioButton_manual")->isChecked());
        QVERIFY(widget<QLineEdit>(window.get(), "lineEdit_manual_ph")->isEnabled());
        QVERIFY(radio("radioButton_SSAD")->isChecked());
        QCOMPARE(text(window.get(), "lineEdit_V_t1"), QStringLiteral("33"));
        QVERIFY(radio("radioButton_unitK")->isChecked());
        QCOMPARE(text(window.get(), "lineEdit_P_atm1_ts"), QStringLiteral("1.013"));
        QCOMPARE(text(window.get(), "lineEdit_t_sr"), QStringLiteral("0"));
        // The pump-mixed page keeps its values.
        QCOMPARE(text(window.get(), "lineEdit_mix_i_pm"), QStringLiteral("25"));
        QVERIFY(radio("radioButton_UnitC_pm")->isChecked());
        QCOMPARE(widget<QLabel>(window.get(), "label_remtime")->text(), QStringLiteral("Estimating remaining time..."));
    }

    void everyWayOfClosingStopsAllWorkers_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("menu") << "actionExit";
        QTest::newRow("one-reactor results") << "pushButton_E";
        QTest::newRow("two-reactor results") << "pushButton_E_2";
        QTest::newRow("title bar") << "";
    }

    void everyWayOfClosingStopsAllWorkers()
    {
        QFETCH(QString, trigger);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const Workers &workers = window->simulationWorkers();
        if (trigger.isEmpty())
            QVERIFY(window->close());
        else if (trigger.startsWith("action"))
            action(qPrintable(trigger))->trigger();
        else
            click(window.get(), qPrintable(trigger));
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(workers.ssad->w_closed.load(), 1);
        QCOMPARE(workers.tsad->w_closed.load(), 1);
        QCOMPARE(workers.tpad->w_closed.load(), 1);
        QCOMPARE(workers.pomp->w_closed.load(), 1);
    }

    void workersProgressMovesTheBar()
    {
        const Workers &workers = window->simulationWorkers();
        auto *bar = widget<QProgressBar>(window.get(), "progressBar");
        emit workers.tsad->inprogress(37);
        QCOMPARE(bar->value(), 37);
        emit workers.pomp->inprogress(0);
        QCOMPARE(bar->value(), 0);
        QVERIFY(workers.ssad->parent() == nullptr);
    }

    // Ctrl+N leaves a results page for page 0; while a run shows its progress the menu bar, and
    // with it every menu shortcut, is off. Ctrl+Q closes the window.
    void menuShortcuts()
    {
        showActive();
        pages()->setCurrentIndex(6);
        QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(currentPage(), QStringLiteral("page"));
        pages()->setCurrentIndex(5);
        window->menuBar()->setEnabled(false);
        QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(currentPage(), QStringLiteral("page_Loading"));
        window->menuBar()->setEnabled(true);
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!window->isVisible());
    }

    // Escape is the progress page's "Cancel simulation" and does nothing on any other page.
    void escapeCancelsOnlyOnTheProgressPage()
    {
        showActive();
        const Workers &workers = window->simulationWorkers();
        for (int page : {0, 1, 4, 6, 7}) {
            pages()->setCurrentIndex(page);
            QTest::keyClick(window.get(), Qt::Key_Escape);
            QTest::qWait(150);  // a button's shortcut clicks it after a short press
            QCOMPARE(pages()->currentIndex(), page);
            QCOMPARE(workers.ssad->w_closed.load(), 0);
        }
        radio("radioButton_TPAD")->setChecked(true);
        pages()->setCurrentIndex(5);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_COMPARE(currentPage(), QStringLiteral("page_TPAD"));
        QCOMPARE(workers.ssad->w_closed.load(), 1);
    }

    void infoMenuOpensModalDialogsOverTheWindow_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("dialogClass");
        QTest::newRow("help") << "actionHelp" << "help";
        QTest::newRow("help, F1") << "F1" << "help";
        QTest::newRow("about") << "actionCredits" << "credits";
    }

    void infoMenuOpensModalDialogsOverTheWindow()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, dialogClass);
        showActive();
        window->move(120, 80);
        QString shown;
        bool modal = false;
        QWidget *parent = nullptr;
        QPoint centre;
        QTimer::singleShot(0, this, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            shown = QString::fromLatin1(dialog->metaObject()->className());
            modal = dialog->isModal();
            parent = dialog->parentWidget();
            centre = dialog->frameGeometry().center();
            dialog->close();
        });
        if (trigger == "F1")
            QTest::keyClick(window.get(), Qt::Key_F1);
        else
            action(qPrintable(trigger))->trigger();
        QCOMPARE(shown, dialogClass);
        QVERIFY(modal);
        QCOMPARE(parent, window.get());
        const QPoint offset = centre - window->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 4, qPrintable(QStringLiteral("%1, %2").arg(offset.x()).arg(offset.y())));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
