#include "mainwindow.h"

#include "inputrows.h"
#include "mainform.h"
#include "parametersdialog.h"
#include "plantdialog.h"
#include "runform.h"

#include <credits.h>
#include <datafiles.h>
#include <help.h>
#include <reactorplots.h>
#include <results.h>
#include <simulationrun.h>

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QUrl>

#include <qcustomplot.h>

namespace {

// Return or Enter in a field of an input page clicks the page's "Continue >>", so the click's
// checks run. A shortcut of the fields rather than their returnPressed, which the validators hold
// back while a text is not complete ("50" is on its way to "50.0").
void continueOnReturn(QWidget *page, QPushButton *continueButton)
{
    auto *action = new QAction(page);
    action->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    action->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(action, &QAction::triggered, continueButton, &QPushButton::click);
    for (QLineEdit *field : page->findChildren<QLineEdit *>())
        field->addAction(action);
}

}  // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<MainForm>())
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->statusBar->setSizeGripEnabled(false);
    ui->statusBar->hide();
    ui->stackedWidget->setCurrentIndex(0);
    ui->stackedWidget_2->setCurrentIndex(0);

    workers = {new calc_SSAD(), new calc_TSAD(), new calc_TPAD(), new calc_POMP()};
    for (SimulationWorker *worker : {static_cast<SimulationWorker *>(workers.ssad),
                                     static_cast<SimulationWorker *>(workers.tsad),
                                     static_cast<SimulationWorker *>(workers.tpad),
                                     static_cast<SimulationWorker *>(workers.pomp)}) {
        connect(worker, &SimulationWorker::inprogress, ui->progressBar, &QProgressBar::setValue);
        connect(worker, &SimulationWorker::inprogress, this, &MainWindow::MakeTimerUpdate);
    }

    simulation = std::make_unique<SimulationRun>(workers);
    connect(simulation.get(), &SimulationRun::ended, this, &MainWindow::runEnded);

    const std::vector<ReactorPlots> one = reactorPlotSet(1), two = reactorPlotSet(2);
    addPlotTitle(ui->customPlot, one[0].flowTitle);
    addPlotTitle(ui->customPlot_2, one[0].compositionTitle);
    addPlotTitle(ui->customPlot_3, two[0].flowTitle);
    addPlotTitle(ui->customPlot_4, two[0].compositionTitle);
    addPlotTitle(ui->customPlot_5, two[1].flowTitle);
    addPlotTitle(ui->customPlot_6, two[1].compositionTitle);
    for (QCustomPlot *plot : {ui->customPlot, ui->customPlot_2, ui->customPlot_3, ui->customPlot_4,
                              ui->customPlot_5, ui->customPlot_6}) {
        plot->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(plot, &QWidget::customContextMenuRequested, this, [this, plot](const QPoint &at) { offerPlotMenu(plot, at); });
    }

    validators.attach(*ui);
    continueOnReturn(ui->page, ui->pushButton_C1);
    continueOnReturn(ui->page_SSAD, ui->pushButton_C2);
    continueOnReturn(ui->page_TSAD, ui->pushButton_C3);
    continueOnReturn(ui->page_TPAD, ui->pushButton_C4);
    continueOnReturn(ui->page_POMP, ui->pushButton_C5);
}

MainWindow::~MainWindow()
{
    stopWorkers();
    simulation.reset();  // waits until a run still going has left the interpreter
}

void MainWindow::showPage(int index) { ui->stackedWidget->setCurrentIndex(index); }

int MainWindow::configurationPage() const { return runform::checkedMode(*ui); }

void MainWindow::MakeDefault1()
{
    inputrows::restoreDefaults(*ui, inputrows::basic(), 1);
    inputrows::restoreDefaults(*ui, inputrows::fractions(), 1);
    ui->lineEdit_manual_ph->setText(QString::fromLatin1(inputInfo(Input::Ph).resetText));
    ui->radioButton_manual->setChecked(true);
    ui->radioButton_SSAD->setChecked(true);
    feedSubstrates.clear();
    feedSubstrateValues.clear();
    useBuiltInFeed();
    start = {};
    showStart();
    // The next run measures its remaining time from its own first update.
    remaining_time.markRestart();
    ui->label_remtime->setText(QStringLiteral("Estimating remaining time..."));
}

void MainWindow::restoreReactorPage(int mode, QRadioButton *kelvin)
{
    inputrows::restoreDefaults(*ui, inputrows::reactorRows(mode), mode);
    kelvin->setChecked(true);
}

void MainWindow::MakeDefault2() { restoreReactorPage(1, ui->radioButton_unitK); }
void MainWindow::MakeDefault3() { restoreReactorPage(2, ui->radioButton_UnitK_ts); }
void MainWindow::MakeDefault4() { restoreReactorPage(3, ui->radioButton_UnitK_tp); }

// A new simulation starts every model constant from its default too.
void MainWindow::newSimulation()
{
    results::clearSeries();
    showPage(0);
    MakeDefault1();
    MakeDefault2();
    MakeDefault3();
    MakeDefault4();
    parameters.clear();
    phSolver = PhSolver::Exact;
    plant = defaultRequest(1);
}

void MainWindow::on_actionNew_Simulation_triggered() { newSimulation(); }
void MainWindow::on_pushButton_N_clicked() { newSimulation(); }
void MainWindow::on_pushButton_N_2_clicked() { newSimulation(); }

void MainWindow::on_actionHelp_triggered()
{
    help dialog(this);  // opens centred over the window
    dialog.setModal(true);
    dialog.exec();
}

// The guide built with the program, in share/doc/digestra beside its bin folder, in the browser.
void MainWindow::on_actionUser_guide_triggered()
{
    const QString path = DataFiles().documentation(QStringLiteral("guide.html"));
    if (!QFileInfo(path).isFile()) {
        QMessageBox::warning(this, tr("User guide not found"), tr("The user guide %1 is not installed.").arg(path),
                             QMessageBox::Ok);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, tr("User guide not opened"), tr("No program was found to open %1.").arg(path),
                             QMessageBox::Ok);
}

void MainWindow::on_actionCredits_triggered()
{
    credits dialog(this);
    dialog.setModal(true);
    dialog.exec();
}

// OK gives the next runs the table's values; Cancel leaves them.
void MainWindow::on_actionModel_parameters_triggered()
{
    ParametersDialog dialog(parameters, phSolver, this);
    if (dialog.exec() == QDialog::Accepted) {
        parameters = dialog.values();
        phSolver = dialog.phSolver();
    }
}

void MainWindow::on_actionPlant_alarms_triggered()
{
    PlantDialog dialog(plant, this);
    if (dialog.exec() == QDialog::Accepted)
        plant = dialog.values(plant);
}

void MainWindow::on_actionExit_triggered() { close(); }
void MainWindow::on_pushButton_E_clicked() { close(); }
void MainWindow::on_pushButton_E_2_clicked() { close(); }

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A running script stops at its next step; it leaves the interpreter before the program ends.
    stopWorkers();
    simulation->cancel();
    simulation->wait();
    QMainWindow::closeEvent(event);
}

void MainWindow::on_radioButton_free_toggled(bool checked) { ui->lineEdit_manual_ph->setEnabled(!checked); }
void MainWindow::on_radioButton_manual_toggled(bool checked) { ui->lineEdit_manual_ph->setEnabled(checked); }

void MainWindow::on_pushButton_B2_clicked() { showPage(0); }
void MainWindow::on_pushButton_B3_clicked() { showPage(0); }
void MainWindow::on_pushButton_B4_clicked() { showPage(0); }
void MainWindow::on_pushButton_B5_clicked() { showPage(0); }

void MainWindow::on_pushButton_D1_clicked() { MakeDefault1(); }
void MainWindow::on_pushButton_D2_clicked() { MakeDefault2(); }
void MainWindow::on_pushButton_D3_clicked() { MakeDefault3(); }
void MainWindow::on_pushButton_D4_clicked() { MakeDefault4(); }
// The pump-mixed page is restored only by its own reset, never by a new simulation.
void MainWindow::on_pushButton_D5_clicked() { restoreReactorPage(4, ui->radioButton_unitK_pm); }

void MainWindow::on_pushButton_toR1_clicked() { ui->stackedWidget_2->setCurrentIndex(0); }
void MainWindow::on_pushButton_toR2_clicked() { ui->stackedWidget_2->setCurrentIndex(1); }

void MainWindow::on_pushButton_C1_clicked()
{
    const double f_pr_xc = ui->lineEdit_f_pr_xc->text().toDouble();
    const double f_li_xc = ui->lineEdit_f_li_xc->text().toDouble();
    const double f_ch_xc = ui->lineEdit_f_ch_xc->text().toDouble();
    if (fractionsExceedOne(f_pr_xc, f_li_xc, f_ch_xc)) {
        QMessageBox::warning(this, tr("Incorrect values"),
                             tr("Sum of factioning factors cannot be greater then 1 - please revise the values."),
                             QMessageBox::Ok);
        return;
    }
    showPage(configurationPage());
}
