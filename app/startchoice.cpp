// Where the window's runs start (page 0's "START": the built-in start-up, the steady state or a
// saved state), and File > "Save final state…" of the last finished run.

#include "mainwindow.h"

#include "mainform.h"

#include <safefile.h>
#include <simulationrun.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

const QString kStateFilter = QStringLiteral("State files (*.json);;All files (*)");
enum StartItem { StartUpItem, SteadyItem, SavedItem };

}  // namespace

QString MainWindow::chooseStart(StartState::Kind kind, const QString &path)
{
    if (kind == StartState::Kind::Saved) {
        const FileReading<SavedState> read = readStateFile(path, configurationPage());
        if (!read.value)
            return read.problems.join(QLatin1Char('\n'));
        start.file = QFileInfo(path).absoluteFilePath();
    }
    start.kind = kind;
    showStart();
    return {};
}

void MainWindow::showStart()
{
    const bool saved = start.kind == StartState::Kind::Saved;
    ui->comboBox_start->setItemText(SavedItem, saved ? tr("Saved state: %1").arg(QFileInfo(start.file).fileName())
                                                     : tr("Saved state…"));
    ui->comboBox_start->setToolTip(saved ? QDir::toNativeSeparators(start.file) : QString());
    ui->comboBox_start->setCurrentIndex(saved ? SavedItem : start.kind == StartState::Kind::Steady ? SteadyItem
                                                                                                   : StartUpItem);
}

void MainWindow::on_comboBox_start_activated(int index)
{
    if (index != SavedItem) {
        chooseStart(index == SteadyItem ? StartState::Kind::Steady : StartState::Kind::StartUp);
        return;
    }
    const QString path = QFileDialog::getOpenFileName(this, tr("Start from a saved state"), start.file, kStateFilter);
    const QString problem = path.isEmpty() ? QString() : chooseStart(StartState::Kind::Saved, path);
    if (!problem.isEmpty())
        QMessageBox::warning(this, tr("Saved state refused"), problem, QMessageBox::Ok);
    showStart();  // a cancelled or refused choice leaves the start as it was
}

QString MainWindow::applyStart(RunRequest &request) const
{
    request.start.kind = start.kind;
    if (start.kind != StartState::Kind::Saved)
        return {};
    const FileReading<SavedState> read = readStateFile(start.file, request.mode);
    if (!read.value)
        return read.problems.join(QLatin1Char('\n'));
    request.start.file = start.file;
    request.start.saved = read.value->state;
    request.start.day = read.value->day;
    return {};
}

void MainWindow::keepFinalState(const RunOutcome &outcome)
{
    finalState = finalStateText(outcome, QStringLiteral(DIGESTRA_VERSION));
    ui->actionSave_final_state->setEnabled(!finalState.isEmpty());
}

QString MainWindow::saveFinalStateTo(const QString &path)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    if (file.file().write(finalState) != finalState.size())
        return QStringLiteral("%1: %2").arg(path, file.file().errorString());
    return file.commit().error;
}

void MainWindow::on_actionSave_final_state_triggered()
{
    QFileDialog dialog(this, tr("Save final state"), QString(), kStateFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    if (const QString problem = saveFinalStateTo(dialog.selectedFiles().first()); !problem.isEmpty())
        QMessageBox::warning(this, tr("Final state not saved"), problem, QMessageBox::Ok);
}
