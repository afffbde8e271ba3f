#include "mainwindow.h"

#include "inputrows.h"
#include "mainform.h"

#include <credits.h>
#include <help.h>
#include <results.h>
#include <workers.h>

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>

#include <qcustomplot.h>

namespace {

// A bold title in a new top row of the plot.
void addTitle(QCustomPlot *plot, const QString &title)
{
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, new QCPTextElement(plot, title, QFont("sans", 8, QFont::Bold)));
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

    addTitle(ui->customPlot, QStringLiteral("Biogas flow"));
    addTitle(ui->customPlot_2, QStringLiteral("Biogas composition"));
    addTitle(ui->customPlot_3, QStringLiteral("R1 Biogas flow"));
    addTitle(ui->customPlot_4, QStringLiteral("Biogas composition"));
    addTitle(ui->customPlot_5, QStringLiteral("R2 Biogas flow"));
    addTitle(ui->customPlot_6, QStringLiteral("Biogas composition"));

    validators.attach(*ui);
}

MainWindow::~MainWindow()
{
    stopWorkers();
    waitForRun();
}

void MainWindow::showPage(int index) { ui->stackedWidget->setCurrentIndex(index); }

int MainWindow::configurationPage() const
{
    if (ui->radioButton_SSAD->isChecked())
        return 1;
    if (ui->radioButton_TSAD->isChecked())
        return 2;
    if (ui->radioButton_TPAD->isChecked())
        return 3;
    return 4;
}

void MainWindow::MakeDefault1()
{
    inputrows::restoreDefaults(*ui, inputrows::basic());
    inputrows::restoreDefaults(*ui, inputrows::fractions());
    ui->lineEdit_manual_ph->setText(QString::fromLatin1(inputrows::defaultManualPh));
    ui->radioButton_manual->setChecked(true);
    ui->radioButton_SSAD->setChecked(true);
    // The next run measures its remaining time from its own first update.
    remaining_time.markRestart();
    ui->label_remtime->setText(QStringLiteral("Estimating remaining time..."));
}

void MainWindow::restoreReactorPage(const std::vector<InputRow> &rows, QRadioButton *kelvin)
{
    inputrows::restoreDefaults(*ui, rows);
    kelvin->setChecked(true);
}

void MainWindow::MakeDefault2() { restoreReactorPage(inputrows::singleStage(), ui->radioButton_unitK); }
void MainWindow::MakeDefault3() { restoreReactorPage(inputrows::twoStage(), ui->radioButton_UnitK_ts); }
void MainWindow::MakeDefault4() { restoreReactorPage(inputrows::temperaturePhased(), ui->radioButton_UnitK_tp); }

void MainWindow::newSimulation()
{
    results::clearSeries();
    showPage(0);
    MakeDefault1();
    MakeDefault2();
    MakeDefault3();
    MakeDefault4();
}

void MainWindow::on_actionNew_Simulation_triggered() { newSimulation(); }
void MainWindow::on_pushButton_N_clicked() { newSimulation(); }
void MainWindow::on_pushButton_N_2_clicked() { newSimulation(); }

void MainWindow::on_actionHelp_triggered()
{
    help dialog;
    dialog.setModal(true);
    dialog.exec();
}

void MainWindow::on_actionCredits_triggered()
{
    credits dialog;
    dialog.setModal(true);
    dialog.exec();
}

void MainWindow::on_actionExit_triggered() { close(); }
void MainWindow::on_pushButton_E_clicked() { close(); }
void MainWindow::on_pushButton_E_2_clicked() { close(); }

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A running script stops at its next step; it leaves the interpreter before the program ends.
    stopWorkers();
    waitForRun();
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
void MainWindow::on_pushButton_D5_clicked() { restoreReactorPage(inputrows::pumpMixed(), ui->radioButton_unitK_pm); }

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
