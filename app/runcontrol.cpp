// Starting, following and cancelling a simulation run, and showing its results.
//
// Each run has its own thread and results object. On that thread the configuration's worker
// runs the model script; when it finishes, the run's results object refines the table and
// writes the workbook, still on that thread, and the window draws the plots once told so.
// The thread ends as soon as the worker has returned, however the run went, and the thread
// and results object are then released.

#include "mainwindow.h"

#include "mainform.h"
#include "progresstexts.h"
#include "runform.h"

#include <resultplots.h>
#include <results.h>
#include <workers.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QStackedWidget>
#include <QThread>
#include <QUrl>

#include <qcustomplot.h>

namespace {

constexpr int loadingPage = 5;
constexpr int oneReactorResultsPage = 6;
constexpr int twoReactorResultsPage = 7;

using Refinement = void (results::*)();

Refinement refinementOf(int mode)
{
    switch (mode) {
    case 2: return &results::refined_TSAD;
    case 3: return &results::refined_TPAD;
    case 4: return &results::refined_POMP;
    default: return &results::refined_SSAD;
    }
}

}  // namespace

void MainWindow::on_pushButton_C2_clicked() { startRun(1); }
void MainWindow::on_pushButton_C3_clicked() { startRun(2); }
void MainWindow::on_pushButton_C4_clicked() { startRun(3); }
void MainWindow::on_pushButton_C5_clicked() { startRun(4); }

void MainWindow::startRun(int mode)
{
    const RunRequest request = runform::readRunRequest(*ui, mode);
    if (const auto problem = checkRunRequest(request)) {
        QMessageBox::warning(this, tr("Incorrect values"),
                             tr("%1 %2 - please revise the value.")
                                 .arg(runform::fieldLabel(problem->field, mode), problem->reason),
                             QMessageBox::Ok);
        return;
    }

    // A cancelled run may still be on its way out of the interpreter: clearing the stop flag
    // before it has seen it would let it run on.
    waitForRun();
    SimulationWorker *worker = workers.forMode(mode);
    worker->w_closed = 0;

    showPage(loadingPage);
    ui->menuBar->setEnabled(false);

    auto *thread = new QThread;
    auto *refinement = new results;
    const quint64 serial = ++run_serial;

    // On the run thread: the script, then at once the refinement (for this run only), then the end
    // of the thread.
    connect(thread, &QThread::started, thread, [this, request, worker, refinement, serial] {
        QString failure;
        bool failed = false;
        const QMetaObject::Connection refine =
            connect(worker, &SimulationWorker::workFinished, refinement, refinementOf(request.mode),
                    Qt::DirectConnection);
        const QMetaObject::Connection fail = connect(
            worker, &SimulationWorker::workFailed, worker,
            [&](const QString &message) {
                failed = true;
                failure = message;
            },
            Qt::DirectConnection);
        runOnWorker(workers, request);
        disconnect(refine);
        disconnect(fail);
        if (failed)
            QMetaObject::invokeMethod(
                this,
                [this, failure, serial] {
                    if (serial == run_serial)
                        runFailed(failure);
                },
                Qt::QueuedConnection);
        QThread::currentThread()->quit();
    }, Qt::DirectConnection);
    connect(refinement, &results::resultsFinished, this, [this, serial] {
        if (serial == run_serial)
            MakePlots();
    });
    connect(thread, &QThread::finished, refinement, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);

    remaining_time.markRestart();
    run_thread = thread;
    thread->start(QThread::InheritPriority);
}

void MainWindow::stopWorkers()
{
    workers.ssad->w_closed = 1;
    workers.tsad->w_closed = 1;
    workers.tpad->w_closed = 1;
    workers.pomp->w_closed = 1;
}

void MainWindow::waitForRun()
{
    if (run_thread)
        run_thread->wait();
}

void MainWindow::on_pushButton_Cancel_clicked()
{
    stopWorkers();
    ++run_serial;  // whatever the cancelled run still reports is dropped
    ui->menuBar->setEnabled(true);
    showPage(configurationPage());
}

void MainWindow::runFailed(const QString &message)
{
    ui->menuBar->setEnabled(true);
    showPage(configurationPage());
    QMessageBox::warning(this, tr("Simulation failed"),
                         tr("The simulation stopped with an error and wrote no results:\n%1").arg(message),
                         QMessageBox::Ok);
}

void MainWindow::MakeTimerUpdate(int i_time)
{
    const double t_end = ui->lineEdit_t_end->text().toDouble();
    const ProgressTexts texts = progressTexts(i_time, t_end, remaining_time.elapsedMs(RemainingTime::now()));
    if (!texts.remaining.isEmpty())
        ui->label_remtime->setText(texts.remaining);
    ui->label_simtime->setText(texts.day);
}

void MainWindow::MakePlots()
{
    ui->menuBar->setEnabled(true);
    const double t_end = ui->lineEdit_t_end->text().toDouble();
    showPage(oneReactorResultsPage);
    for (QCustomPlot *plot : {ui->customPlot, ui->customPlot_2, ui->customPlot_3, ui->customPlot_4,
                              ui->customPlot_5, ui->customPlot_6})
        plot->clearGraphs();

    if (ui->radioButton_SSAD->isChecked() || ui->radioButton_POMP->isChecked()) {
        drawFlowPlot(ui->customPlot, results::plot_t_R1, results::plot_flow_R1, results::peak_flow_R1, t_end);
        drawCompositionPlot(ui->customPlot_2, results::plot_t_R1, results::plot_ch4_R1, results::plot_co2_R1,
                            results::plot_h2_R1, results::plot_h2o_R1, t_end);
    } else {
        showPage(twoReactorResultsPage);
        drawFlowPlot(ui->customPlot_3, results::plot_t_R1, results::plot_flow_R1, results::peak_flow_R1, t_end);
        drawCompositionPlot(ui->customPlot_4, results::plot_t_R1, results::plot_ch4_R1, results::plot_co2_R1,
                            results::plot_h2_R1, results::plot_h2o_R1, t_end);
        drawFlowPlot(ui->customPlot_5, results::plot_t_R2, results::plot_flow_R2, results::peak_flow_R2, t_end);
        drawCompositionPlot(ui->customPlot_6, results::plot_t_R2, results::plot_ch4_R2, results::plot_co2_R2,
                            results::plot_h2_R2, results::plot_h2o_R2, t_end);
    }

    const RefinementReport &report = results::last_report;
    if (report.stoppedAtDay >= 0)
        QMessageBox::warning(this, tr("Simulation stopped early"),
                             tr("The integration stopped at day %1 of %2; the plots and the workbook end there.")
                                 .arg(QString::number(report.stoppedAtDay, 'g', 6), QString::number(t_end, 'g', 6)),
                             QMessageBox::Ok);
    if (!report.workbookError.isEmpty())
        QMessageBox::warning(this, tr("Results not saved"),
                             tr("The results workbook could not be saved: %1").arg(report.workbookError),
                             QMessageBox::Ok);
}

void MainWindow::openFullResults()
{
    const QString path = results::last_workbook;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        QMessageBox::warning(this, tr("Results not found"),
                             path.isEmpty() ? tr("No results workbook was saved for the last run.")
                                            : tr("The results workbook %1 no longer exists.").arg(path),
                             QMessageBox::Ok);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, tr("Results not opened"),
                             tr("No program was found to open %1.").arg(path), QMessageBox::Ok);
}

void MainWindow::on_pushButton_clicked() { openFullResults(); }
void MainWindow::on_pushButton_2_clicked() { openFullResults(); }
