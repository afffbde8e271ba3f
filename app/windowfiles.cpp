// The window's files besides the results workbook: input files (File > "Save inputs…" and
// "Open inputs…") and images of the plots (their context menu's "Save image…").

#include "mainwindow.h"

#include "mainform.h"
#include "plantdialog.h"
#include "runform.h"

#include <inputsfile.h>
#include <plotimage.h>
#include <results.h>
#include <safefile.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QMenu>
#include <QMessageBox>
#include <QSpinBox>

#include <qcustomplot.h>

#include <optional>

namespace {

const QString kInputsFilter = QStringLiteral("Digestra inputs (*.toml)");
const QString kPngFilter = QStringLiteral("PNG image (*.png)");
const QString kPdfFilter = QStringLiteral("PDF document (*.pdf)");

// Asks for an image's width and height, starting from size.
std::optional<QSize> askImageSize(QWidget *parent, const QSize &size)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("Image size"));
    auto *layout = new QFormLayout(&dialog);
    QSpinBox *sides[2];
    const int start[2] = {size.width(), size.height()};
    const char *names[2] = {"spinBox_width", "spinBox_height"};
    for (int i = 0; i < 2; ++i) {
        sides[i] = new QSpinBox(&dialog);
        sides[i]->setObjectName(QString::fromLatin1(names[i]));
        sides[i]->setRange(50, 10000);
        sides[i]->setValue(start[i]);
        sides[i]->setSuffix(QStringLiteral(" px"));
    }
    layout->addRow(QObject::tr("Width"), sides[0]);
    layout->addRow(QObject::tr("Height"), sides[1]);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return QSize(sides[0]->value(), sides[1]->value());
}

}  // namespace

QString MainWindow::saveInputsTo(const QString &path)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    InputValues values = runform::readInputValues(*ui);
    values.feed = feed ? feed->file : QString();
    values.substrates = feed ? feedSubstrates : QString();
    values.substrateValues = feed ? feedSubstrateValues : SubstrateValues();
    values.parameters = parameters;
    values.phSolver = phSolver;
    values.initialState = start.kind == StartState::Kind::Saved    ? start.file
                          : start.kind == StartState::Kind::Steady ? QLatin1String(kSteadyStart)
                                                                   : QString();
    // The plant's inputs are kept in K; the file's temperatures are in the pages' unit.
    for (const InputInfo &info : inputInfos())
        if (info.plant)
            values.texts[info.input] =
                QString::number(plant.*info.field - (info.temperature && values.celsius ? kCelsiusOffset : 0.0), 'g', 10);
    const QByteArray text = inputsFileText(values);
    if (file.file().write(text) != text.size())
        return QStringLiteral("%1: %2").arg(path, file.file().errorString());
    return file.commit().error;
}

QString MainWindow::openInputsFrom(const QString &path)
{
    const InputsFileRead read = readInputsFile(path);
    if (!read.problems.isEmpty())
        return read.describe();
    runform::showInputValues(*ui, read.values);
    // The schedule as the file's check read it, with its substrates, the start it names and the
    // plant's inputs as read, in K.
    const RunRequest opened = composeRequest(read.values.mode, {&read.given}).request;
    feed = opened.feed;
    takePlantInputs(plant, opened);
    feedSubstrates = read.values.substrates;
    feedSubstrateValues = read.values.substrateValues;
    feedTried = feed ? feed->file : QString();
    showFeed();
    parameters = read.values.parameters;
    phSolver = opened.phSolver;
    start = {opened.start.kind, opened.start.file, {}};
    showStart();
    results::clearSeries();  // the next run's plots are its own, as after a new simulation
    showPage(0);
    return {};
}

void MainWindow::on_actionSave_inputs_triggered()
{
    // The dialog's own confirmation is the only way an existing file is replaced.
    QFileDialog dialog(this, tr("Save inputs"), QString(), kInputsFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("toml"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    const QString error = saveInputsTo(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, tr("Inputs not saved"), tr("The inputs could not be saved: %1").arg(error),
                             QMessageBox::Ok);
}

void MainWindow::on_actionOpen_inputs_triggered()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open inputs"), QString(),
                                                      kInputsFilter + QStringLiteral(";;All files (*)"));
    if (path.isEmpty())
        return;
    const QString error = openInputsFrom(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, tr("Inputs not opened"),
                             tr("%1 was not opened; the inputs are unchanged.\n%2").arg(path, error), QMessageBox::Ok);
}

void MainWindow::offerPlotMenu(QCustomPlot *plot, const QPoint &at)
{
    QMenu menu(this);
    menu.addAction(tr("Save image…"), this, [this, plot] { savePlotImageOf(plot); });
    menu.exec(plot->mapToGlobal(at));
}

void MainWindow::savePlotImageOf(QCustomPlot *plot)
{
    const std::optional<QSize> size = askImageSize(this, plot->size());
    if (!size)
        return;
    QFileDialog dialog(this, tr("Save image"), QString(), kPngFilter + QStringLiteral(";;") + kPdfFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter == kPdfFilter ? QStringLiteral("pdf") : QStringLiteral("png"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    const ImageFormat format = imageFormatOf(path).value_or(
        dialog.selectedNameFilter() == kPdfFilter ? ImageFormat::Pdf : ImageFormat::Png);
    const QString error = savePlotImage(plot, path, format, size->width(), size->height());
    if (!error.isEmpty())
        QMessageBox::warning(this, tr("Image not saved"), tr("The image could not be saved: %1").arg(error),
                             QMessageBox::Ok);
}

void MainWindow::showPreviousRun()
{
    const bool show = ui->checkBox_previous->isChecked() &&
                      previous_run.reactors.size() == shown_run.reactors.size();
    const std::pair<QCustomPlot *, QCustomPlot *> oneReactor[] = {{ui->customPlot, ui->customPlot_2}};
    const std::pair<QCustomPlot *, QCustomPlot *> twoReactors[] = {{ui->customPlot_3, ui->customPlot_4},
                                                                  {ui->customPlot_5, ui->customPlot_6}};
    for (size_t i = 0; i < shown_run.reactors.size(); ++i) {
        const auto [flow, composition] = shown_run.reactors.size() == 1 ? oneReactor[i] : twoReactors[i];
        if (show)
            drawPreviousRun(flow, composition, previous_run.reactors[i]);
        else
            clearPreviousRun(flow, composition);
    }
}

// The two check boxes are one choice, shown on both results pages.
void MainWindow::on_checkBox_previous_toggled(bool checked)
{
    ui->checkBox_previous_2->setChecked(checked);
    showPreviousRun();
}

void MainWindow::on_checkBox_previous_2_toggled(bool checked) { ui->checkBox_previous->setChecked(checked); }
