#include "mainform.h"

#include "formparts.h"
#include "formstyle.h"

#include <datafiles.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>

#include <qcustomplot.h>

#include <tuple>

namespace formparts {

QPushButton *button(QWidget *parent, const char *name, const QString &text, const QRect &geometry,
                    const QString &styleSheet)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    // The page's 8 pt, given outright: a button under a style sheet does not always inherit it.
    button->setFont(formstyle::textFont());
    button->setStyleSheet(styleSheet);
    return button;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

QLabel *image(QWidget *parent, const char *name, const QString &file, const QRect &geometry)
{
    QLabel *picture = label(parent, name, QString(), geometry);
    picture->setPixmap(QPixmap(DataFiles::find(file)));
    picture->setScaledContents(true);
    return picture;
}

}  // namespace formparts

using formparts::button;

void MainForm::setupUi(QMainWindow *window)
{
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(850, 500);
    window->setFont(formstyle::familyFont());
    window->setPalette(formstyle::windowPalette());
    window->setWindowTitle(QStringLiteral("Digestra v." DIGESTRA_VERSION));

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    stackedWidget = new QStackedWidget(centralWidget);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    stackedWidget->setGeometry(0, 0, 850, 591);
    stackedWidget->setFont(formstyle::textFont());
    setupInputPage();
    setupSingleStagePage();
    setupTwoStagePage();
    setupTemperaturePhasedPage();
    setupPumpMixedPage();
    setupLoadingPage();
    setupResultPages();
    background = formparts::image(centralWidget, "background", QStringLiteral("graphics/background.png"),
                                  QRect(0, 350, 850, 240));
    // The background shows through the pages' empty areas.
    stackedWidget->raise();
    window->setCentralWidget(centralWidget);

    setupMenus(window);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);

    QMetaObject::connectSlotsByName(window);
}

void MainForm::setupMenus(QMainWindow *window)
{
    auto action = [window](const char *name, const QString &text) {
        auto *action = new QAction(text, window);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    actionNew_Simulation = action("actionNew_Simulation", QStringLiteral("&New Simulation"));
    actionExit = action("actionExit", QStringLiteral("E&xit"));
    actionHelp = action("actionHelp", QStringLiteral("&Help"));
    actionUser_guide = action("actionUser_guide", QStringLiteral("&User guide"));
    actionCredits = action("actionCredits", QStringLiteral("&About\\License"));
    actionNew_Simulation->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    actionExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    actionHelp->setShortcut(QKeySequence(Qt::Key_F1));
    actionOpen_inputs = action("actionOpen_inputs", QStringLiteral("&Open inputs…"));
    actionSave_inputs = action("actionSave_inputs", QStringLiteral("&Save inputs…"));
    actionModel_parameters = action("actionModel_parameters", QStringLiteral("Model &parameters…"));
    actionPlant_alarms = action("actionPlant_alarms", QStringLiteral("Plant and &alarms…"));
    actionSave_final_state = action("actionSave_final_state", QStringLiteral("Save &final state…"));
    actionSave_final_state->setEnabled(false);
    actionOpen_inputs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actionSave_inputs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(0, 0, 850, 26);
    menuSelect = new QMenu(QStringLiteral("&File"), menuBar);
    menuSelect->setObjectName(QStringLiteral("menuSelect"));
    menuAbout = new QMenu(QStringLiteral("&Info"), menuBar);
    menuAbout->setObjectName(QStringLiteral("menuAbout"));
    window->setMenuBar(menuBar);
    menuBar->addAction(menuSelect->menuAction());
    menuBar->addAction(menuAbout->menuAction());
    menuSelect->addAction(actionNew_Simulation);
    menuSelect->addAction(actionOpen_inputs);
    menuSelect->addAction(actionSave_inputs);
    menuSelect->addAction(actionModel_parameters);
    menuSelect->addAction(actionPlant_alarms);
    menuSelect->addAction(actionSave_final_state);
    menuSelect->addSeparator();
    menuSelect->addAction(actionExit);
    menuAbout->addAction(actionHelp);
    menuAbout->addAction(actionUser_guide);
    menuAbout->addAction(actionCredits);
}

QWidget *MainForm::addPage(const char *name)
{
    auto *page = new QWidget();
    page->setObjectName(QString::fromLatin1(name));
    stackedWidget->addWidget(page);
    return page;
}

void MainForm::setupLoadingPage()
{
    page_Loading = addPage("page_Loading");
    progressBar = new QProgressBar(page_Loading);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setGeometry(250, 250, 350, 30);
    progressBar->setFont(formstyle::familyFont());
    progressBar->setStyleSheet(formstyle::progressBar);
    progressBar->setRange(0, 100);
    progressBar->setValue(50);
    progressBar->setAlignment(Qt::AlignCenter);

    label_37 = formparts::label(page_Loading, "label_37", QStringLiteral("Calculating in progress... please wait..."),
                     QRect(310, 220, 231, 18));
    label_simtime = formparts::label(page_Loading, "label_simtime", QStringLiteral("Simulation day"), QRect(300, 290, 250, 20));
    label_remtime = formparts::label(page_Loading, "label_remtime", QStringLiteral("Please wait... first run may take a while"),
                          QRect(300, 320, 250, 20));
    for (QLabel *centred : {label_37, label_simtime, label_remtime})
        centred->setAlignment(Qt::AlignCenter);
    pushButton_Cancel = button(page_Loading, "pushButton_Cancel", QStringLiteral("Cancel simulation"),
                               QRect(350, 360, 150, 28), formstyle::secondaryButton);
    // Only while the progress page shows: the button is hidden on every other page.
    pushButton_Cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    label_65 = formparts::image(page_Loading, "label_65", QStringLiteral("graphics/computer.png"),
                                QRect(310, 20, 221, 185));
}

static QCustomPlot *plot(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *plot = new QCustomPlot(parent);
    plot->setObjectName(QString::fromLatin1(name));
    plot->setGeometry(geometry);
    return plot;
}

void MainForm::setupResultPages()
{
    const QString openText = QStringLiteral("Open full results");
    const QString newText = QStringLiteral("New simulation");
    const QString exitText = QStringLiteral("Exit");
    const QRect openGeometry(190, 380, 140, 32), newGeometry(350, 380, 140, 32), exitGeometry(510, 380, 140, 32);

    page_Results_1s = addPage("page_Results_1s");
    customPlot = plot(page_Results_1s, "customPlot", QRect(50, 10, 350, 320));
    customPlot_2 = plot(page_Results_1s, "customPlot_2", QRect(440, 10, 350, 320));
    pushButton = button(page_Results_1s, "pushButton", openText, openGeometry, formstyle::primaryButton);
    pushButton_N = button(page_Results_1s, "pushButton_N", newText, newGeometry, formstyle::secondaryButton);
    pushButton_E = button(page_Results_1s, "pushButton_E", exitText, exitGeometry, formstyle::primaryButton);
    // Left of the buttons, under the plots: FOS/TAC and pH in a window of their own.
    const QRect stabilityGeometry(40, 384, 140, 28);
    const QString stabilityText = QStringLiteral("Stability plot…");
    pushButton_stability = button(page_Results_1s, "pushButton_stability", stabilityText, stabilityGeometry,
                                  formstyle::secondaryButton);
    // The run summary, under the buttons.
    const QRect summaryGeometry(50, 418, 750, 40);
    label_summary = formparts::label(page_Results_1s, "label_summary", QString(), summaryGeometry);
    const QRect workbookGeometry(50, 458, 750, 16);
    label_workbook = formparts::label(page_Results_1s, "label_workbook", QString(), workbookGeometry);

    page_Results_2s = addPage("page_Results_2s");
    stackedWidget_2 = new QStackedWidget(page_Results_2s);
    stackedWidget_2->setObjectName(QStringLiteral("stackedWidget_2"));
    stackedWidget_2->setGeometry(10, 10, 831, 371);
    const QRect flowGeometry(40, 0, 350, 320), compositionGeometry(430, 0, 350, 320);
    const QRect switchGeometry(360, 330, 104, 32);

    page_R1 = new QWidget();
    page_R1->setObjectName(QStringLiteral("page_R1"));
    customPlot_3 = plot(page_R1, "customPlot_3", flowGeometry);
    customPlot_4 = plot(page_R1, "customPlot_4", compositionGeometry);
    pushButton_toR2 = button(page_R1, "pushButton_toR2", QStringLiteral("See R2"), switchGeometry,
                             formstyle::secondaryButton);
    stackedWidget_2->addWidget(page_R1);

    page_R2 = new QWidget();
    page_R2->setObjectName(QStringLiteral("page_R2"));
    customPlot_5 = plot(page_R2, "customPlot_5", flowGeometry);
    customPlot_6 = plot(page_R2, "customPlot_6", compositionGeometry);
    pushButton_toR1 = button(page_R2, "pushButton_toR1", QStringLiteral("See R1"), switchGeometry,
                             formstyle::secondaryButton);
    stackedWidget_2->addWidget(page_R2);

    pushButton_2 = button(page_Results_2s, "pushButton_2", openText, openGeometry, formstyle::primaryButton);
    pushButton_N_2 = button(page_Results_2s, "pushButton_N_2", newText, newGeometry, formstyle::secondaryButton);
    pushButton_E_2 = button(page_Results_2s, "pushButton_E_2", exitText, exitGeometry, formstyle::primaryButton);
    pushButton_stability_2 = button(page_Results_2s, "pushButton_stability_2", stabilityText, stabilityGeometry,
                                    formstyle::secondaryButton);
    label_summary_2 = formparts::label(page_Results_2s, "label_summary_2", QString(), summaryGeometry);
    label_workbook_2 = formparts::label(page_Results_2s, "label_workbook_2", QString(), workbookGeometry);

    // Right of the buttons, clear of the plots and of the reactor switch.
    const QRect previousGeometry(665, 385, 175, 22);
    for (auto [box, page, name] : {std::tuple{&checkBox_previous, page_Results_1s, "checkBox_previous"},
                                   std::tuple{&checkBox_previous_2, page_Results_2s, "checkBox_previous_2"}}) {
        *box = new QCheckBox(QStringLiteral("Show previous run"), page);
        (*box)->setObjectName(QString::fromLatin1(name));
        (*box)->setGeometry(previousGeometry);
        (*box)->setFont(formstyle::textFont());
    }
}
