// The feed of the window's runs: the built-in ramp, or a feed schedule read from a file and shown
// on page 0 by its file name and a small plot of its flow.

#include "mainwindow.h"

#include "mainform.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <qcustomplot.h>

#include <algorithm>

namespace {

const QString kScheduleFilter = QStringLiteral("Feed schedules (*.csv *.toml);;All files (*)");

// The flow as the run takes it: each row's flow holds until the next row's day; the last row's
// for a tenth of the schedule's span more (a day for a one-row schedule).
void drawFlow(QCustomPlot *plot, const FeedSchedule &schedule)
{
    QVector<double> days(schedule.values[0].cbegin(), schedule.values[0].cend());
    QVector<double> flows(schedule.values[1].cbegin(), schedule.values[1].cend());
    const double end = days.back() > 0 ? days.back() * 1.1 : 1.0;
    days.append(end);
    flows.append(flows.back());
    plot->clearGraphs();
    QCPGraph *graph = plot->addGraph();
    graph->setLineStyle(QCPGraph::lsStepLeft);
    graph->setData(days, flows, true);
    QFont small = plot->font();
    small.setPointSize(7);
    for (QCPAxis *axis : {plot->xAxis, plot->yAxis}) {
        axis->setTickLabelFont(small);
        axis->setLabelFont(small);
    }
    plot->xAxis->setLabel(QStringLiteral("time [d]"));
    plot->yAxis->setLabel(QStringLiteral("Q_in [m3/d]"));
    plot->xAxis->setRange(0, end);
    const double top = *std::max_element(flows.cbegin(), flows.cend());
    plot->yAxis->setRange(0, top > 0 ? top * 1.1 : 1.0);
    plot->replot();
}

}  // namespace

QString MainWindow::chooseFeedSchedule(const QString &path)
{
    const FileReading<FeedSchedule> read = readFeedSchedule(path);
    if (!read.value) {
        showFeed();
        // Nothing changes but the words under the choice: the first problem, every one on hover.
        QString text = read.problems.first();
        if (read.problems.size() > 1)
            text += tr(" (and %n more)", nullptr, int(read.problems.size() - 1));
        ui->label_feed_file->setText(tr("Not used: %1").arg(text));
        ui->label_feed_file->setToolTip(read.problems.join(QLatin1Char('\n')));
        ui->label_feed_file->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
        return read.problems.join(QLatin1Char('\n'));
    }
    feed = std::make_shared<const FeedSchedule>(*read.value);
    feedSubstrates.clear();
    showFeed();
    return {};
}

void MainWindow::useBuiltInFeed()
{
    feed.reset();
    showFeed();
}

void MainWindow::showFeed()
{
    (feed ? ui->radioButton_feed_file : ui->radioButton_feed_ramp)->setChecked(true);
    // The schedule gives the feed's flow and composition.
    ui->lineEdit_final_Q_in->setEnabled(!feed);
    ui->lineEdit_X_c_in->setEnabled(!feed);
    ui->label_feed_file->setStyleSheet(QString());
    ui->label_feed_file->setText(feed ? QFileInfo(feed->file).fileName() : QString());
    ui->label_feed_file->setToolTip(feed ? QDir::toNativeSeparators(feed->file) : QString());
    ui->customPlot_feed->setVisible(bool(feed));
    if (feed)
        drawFlow(ui->customPlot_feed, *feed);
}

void MainWindow::on_radioButton_feed_ramp_clicked() { useBuiltInFeed(); }

// Also when the schedule is already chosen: a click picks another file.
void MainWindow::on_radioButton_feed_file_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Feed schedule"),
                                                      feed ? QFileInfo(feed->file).absolutePath() : QString(),
                                                      kScheduleFilter);
    if (path.isEmpty())
        showFeed();  // the choice stays what it was
    else
        chooseFeedSchedule(path);
}
