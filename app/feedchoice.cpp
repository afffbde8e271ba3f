// The feed of the window's runs: the built-in ramp, or a feed schedule read from a file and shown
// on page 0 by its file name and a small plot of its flow.

#include "mainwindow.h"

#include "formstyle.h"
#include "mainform.h"

#include <datafiles.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include <qcustomplot.h>

#include <algorithm>

namespace {

const QString kScheduleFilter = QStringLiteral("Feed schedules (*.csv *.toml);;All files (*)");
const QString kSubstratesFilter = QStringLiteral("Substrates (*.toml);;All files (*)");

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

// Text that may wrap inside file names and places too ("/work/feeds/plant.csv:3:5:"), which
// have no spaces: a zero-width space after each separator.
QString breakable(QString text)
{
    for (const QChar separator : {QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':'), QLatin1Char('_')})
        text.replace(separator, QString(separator) + QChar(0x200B));
    return text;
}

// The label's text in its font, made smaller (down to 6 points) until the wrapped text fits the
// label whole.
void showWhole(QLabel *label, const QString &text)
{
    QFont font = formstyle::textFont();
    label->setFont(font);
    label->setText(text);
    while (label->heightForWidth(label->width()) > label->height() && font.pointSizeF() > 6) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        label->setFont(font);
    }
}

}  // namespace

QString MainWindow::chooseFeedSchedule(const QString &path)
{
    feedTried = path;
    Substrates substrates;
    if (!feedSubstrates.isEmpty()) {
        const FileReading<Substrates> read = readSubstrates(feedSubstrates, feedSubstrateValues);
        if (!read.value)
            return showFeedRefusal(read.problems);
        substrates = *read.value;
    }
    const FileReading<FeedSchedule> read = readFeedSchedule(path, substrates);
    if (!read.value)
        return showFeedRefusal(read.problems);
    feed = std::make_shared<const FeedSchedule>(*read.value);
    showFeed();
    return {};
}

QString MainWindow::chooseSubstrates(const QString &path)
{
    const FileReading<Substrates> read = readSubstrates(path);
    if (!read.value)
        return showFeedRefusal(read.problems);
    feedSubstrates = QFileInfo(path).absoluteFilePath();
    feedSubstrateValues.clear();  // they were set over the file chosen before
    if (feedTried.isEmpty()) {
        showFeed();
        return {};
    }
    return chooseFeedSchedule(feedTried);
}

QString MainWindow::showFeedRefusal(const QStringList &problems)
{
    showFeed();
    // Nothing changes but the words under the choice: the first problem, every one on hover (and in
    // a message when the user picked the file).
    QString text = problems.first();
    if (problems.size() > 1)
        text += tr(" (and %n more)", nullptr, int(problems.size() - 1));
    showWhole(ui->label_feed_file, breakable(tr("Not used: %1").arg(text)));
    ui->label_feed_file->setToolTip(problems.join(QLatin1Char('\n')));
    ui->label_feed_file->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    return problems.join(QLatin1Char('\n'));
}

void MainWindow::useBuiltInFeed()
{
    feed.reset();
    feedTried.clear();
    showFeed();
}

void MainWindow::showFeed()
{
    (feed ? ui->radioButton_feed_file : ui->radioButton_feed_ramp)->setChecked(true);
    // The schedule gives the feed's flow and composition.
    ui->lineEdit_final_Q_in->setEnabled(!feed);
    ui->lineEdit_X_c_in->setEnabled(!feed);
    ui->label_feed_file->setStyleSheet(QString());
    QString name, where;
    if (feed) {
        name = QFileInfo(feed->file).fileName();
        where = QDir::toNativeSeparators(feed->file);
    }
    if (!feedSubstrates.isEmpty()) {  // shown also before a schedule, as the choice made
        const QString substrates = tr("substrates from %1").arg(QFileInfo(feedSubstrates).fileName());
        name = name.isEmpty() ? substrates : tr("%1, %2").arg(name, substrates);
        where += (where.isEmpty() ? QString() : QStringLiteral("\n")) + QDir::toNativeSeparators(feedSubstrates);
    }
    showWhole(ui->label_feed_file, name);
    ui->label_feed_file->setToolTip(where);
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
        tellRefusal(tr("Feed schedule not used"), chooseFeedSchedule(path));
}

void MainWindow::tellRefusal(const QString &title, const QString &problems)
{
    if (!problems.isEmpty())
        QMessageBox::warning(this, title, problems, QMessageBox::Ok);
}

void MainWindow::on_pushButton_feed_substrates_clicked()
{
    // Nothing chosen yet: the shipped library of substrates.
    const QString start = !feedSubstrates.isEmpty() ? feedSubstrates
                          : !feedTried.isEmpty()    ? feedTried
                                                    : DataFiles::find(QStringLiteral("feeds/substrates.toml"));
    const QString path = QFileDialog::getOpenFileName(this, tr("Substrates"), QFileInfo(start).absolutePath(), kSubstratesFilter);
    if (!path.isEmpty())
        tellRefusal(tr("Substrates not used"), chooseSubstrates(path));
}
