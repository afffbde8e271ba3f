// Starting, following and cancelling a simulation run, and showing its results.
//
// Runs go through the run core: each on its own thread with its own results object, which
// refines the table and writes the workbook on that thread; the window draws the plots once
// the run has ended.

#include "mainwindow.h"
#include "plantdialog.h"
#include "stabilitydialog.h"

#include "mainform.h"
#include "progresstexts.h"
#include "runform.h"

#include <reactorplots.h>
#include <results.h>
#include <safefile.h>
#include <simulationrun.h>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QUrl>

#include <qcustomplot.h>

namespace {

constexpr int loadingPage = 5;
constexpr int oneReactorResultsPage = 6;
constexpr int twoReactorResultsPage = 7;

// Where the window's workbooks go: the working directory, or, when that cannot take a new file
// (a program started from the desktop menu may sit in "/"), the user's Documents folder, created
// when missing. Empty for the working directory.
QString workbookFolder()
{
    if (SafeFile::checkFolder(QDir::currentPath()).isEmpty())
        return {};
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(documents);
    return documents;
}

// The workbook under the results: its name (and folder when not the working directory), the
// full path as the tooltip.
void showWorkbook(QLabel *label, const QString &path)
{
    const QFileInfo file(path);
    if (path.isEmpty())
        label->setText(MainWindow::tr("No results workbook was saved."));
    else if (file.absolutePath() == QDir::currentPath())
        label->setText(MainWindow::tr("Results saved to %1").arg(file.fileName()));
    else
        label->setText(MainWindow::tr("Results saved to %1 in %2, as the working directory cannot take files")
                           .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath())));
    label->setToolTip(QDir::toNativeSeparators(path));
}

}  // namespace

void MainWindow::on_pushButton_C2_clicked() { startRun(1); }
void MainWindow::on_pushButton_C3_clicked() { startRun(2); }
void MainWindow::on_pushButton_C4_clicked() { startRun(3); }
void MainWindow::on_pushButton_C5_clicked() { startRun(4); }

void MainWindow::startRun(int mode)
{
    RunRequest request = runform::readRunRequest(*ui, mode);
    request.parameters = parameters;
    request.phSolver = phSolver;
    takePlantInputs(request, plant);
    if (feed) {
        // The schedule gives the feed: its disabled fields hold the built-in feed's defaults for
        // the record, as digestra-cli's do, whatever was left typed in them.
        request.feed = feed;
        for (const Input replaced : {Input::FeedFlow, Input::BiomassConcentration})
            request.*inputInfo(replaced).field = QString::fromLatin1(inputInfo(replaced).resetText).toDouble();
    }
    if (const QList<InputProblem> problems = checkRunRequest(request); !problems.isEmpty()) {
        // One field at a time: the first the pages show.
        const InputProblem &problem = problems.first();
        QMessageBox::warning(this, tr("Incorrect values"),
                             tr("%1 %2 - please revise the value.").arg(runform::fieldLabel(problem, mode), problem.reason),
                             QMessageBox::Ok);
        return;
    }
    if (const QString problem = applyStart(request); !problem.isEmpty()) {
        QMessageBox::warning(this, tr("Saved state refused"), problem, QMessageBox::Ok);
        return;
    }
    // The constants come checked from their dialog; a schedule may still not suit the configuration,
    // nor the timespan a saved start.
    if (const QList<InputProblem> problems = checkModelInputs(request); !problems.isEmpty()) {
        QMessageBox::warning(this, tr("Incorrect values"), problems.first().reason, QMessageBox::Ok);
        return;
    }
    showPage(loadingPage);
    ui->menuBar->setEnabled(false);
    remaining_time.markRestart();
    simulation->setWorkbookFolder(workbookFolder());
    simulation->start(request);
}

void MainWindow::runEnded(const RunOutcome &outcome)
{
    if (outcome.end != RunOutcome::End::Cancelled)
        keepFinalState(outcome);
    switch (outcome.end) {
    case RunOutcome::End::Cancelled:
        return;  // the window went back to the reactor page when it was cancelled
    case RunOutcome::End::Failed:
        runFailed(outcome.failure);
        return;
    case RunOutcome::End::Finished:
    case RunOutcome::End::StoppedEarly:
        shown_mode = outcome.request.mode;
        MakePlots();
        return;
    }
}

void MainWindow::stopWorkers()
{
    for (SimulationWorker *worker : {static_cast<SimulationWorker *>(workers.ssad),
                                     static_cast<SimulationWorker *>(workers.tsad),
                                     static_cast<SimulationWorker *>(workers.tpad),
                                     static_cast<SimulationWorker *>(workers.pomp)})
        worker->w_closed = 1;
}

void MainWindow::on_pushButton_Cancel_clicked()
{
    stopWorkers();
    simulation->cancel();
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

void MainWindow::on_pushButton_stability_clicked()
{
    StabilityDialog dialog(shown_mode, ui->lineEdit_t_end->text().toDouble(), this);
    dialog.exec();
}
void MainWindow::on_pushButton_stability_2_clicked() { on_pushButton_stability_clicked(); }

void MainWindow::MakePlots()
{
    ui->menuBar->setEnabled(true);
    const double t_end = ui->lineEdit_t_end->text().toDouble();
    for (QCustomPlot *plot : {ui->customPlot, ui->customPlot_2, ui->customPlot_3, ui->customPlot_4,
                              ui->customPlot_5, ui->customPlot_6})
        plot->clearGraphs();

    const RefinementReport &report = results::last_report;
    const std::vector<ReactorPlots> plots = reactorPlotSet(configuration(shown_mode).reactors);
    QStringList summary = summaryLines(report.summary);
    if (summary.size() == 2)
        summary = QStringList{QStringLiteral("R1: ") + summary[0], QStringLiteral("R2: ") + summary[1]};
    summary << operationLine(report.summary);
    (plots.size() == 1 ? ui->label_summary : ui->label_summary_2)->setText(summary.join(QLatin1Char('\n')));
    showWorkbook(plots.size() == 1 ? ui->label_workbook : ui->label_workbook_2, report.workbookPath);
    if (plots.size() == 1) {
        showPage(oneReactorResultsPage);
        drawReactorPlots(plots[0], ui->customPlot, ui->customPlot_2, t_end);
    } else {
        showPage(twoReactorResultsPage);
        // A new run's results open on reactor 1.
        ui->stackedWidget_2->setCurrentIndex(0);
        drawReactorPlots(plots[0], ui->customPlot_3, ui->customPlot_4, t_end);
        drawReactorPlots(plots[1], ui->customPlot_5, ui->customPlot_6, t_end);
    }
    previous_run = std::move(shown_run);
    shown_run = lastRunCurves(int(plots.size()));
    showPreviousRun();

    if (const std::optional<UnsoundValue> &unsound = report.summary.unsound)
        QMessageBox::warning(this, unsound->isNumber() ? tr("Results are physically impossible") : tr("Results are not numbers"),
                             tr("The model gave %1; the plots and the workbook cannot be trusted from there on.")
                                 .arg(unsound->describe()),
                             QMessageBox::Ok);
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
                             tr("No program was found to open %1. The workbook is in the folder %2.")
                                 .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(QFileInfo(path).absolutePath())),
                             QMessageBox::Ok);
}

void MainWindow::on_pushButton_clicked() { openFullResults(); }
void MainWindow::on_pushButton_2_clicked() { openFullResults(); }
