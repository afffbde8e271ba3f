// Starting, following and cancelling a simulation run, and showing its results.
// Not wired yet: the buttons and progress updates do nothing.

#include "mainwindow.h"

void MainWindow::on_pushButton_C2_clicked() {}
void MainWindow::on_pushButton_C3_clicked() {}
void MainWindow::on_pushButton_C4_clicked() {}
void MainWindow::on_pushButton_C5_clicked() {}
void MainWindow::on_pushButton_Cancel_clicked() {}
void MainWindow::MakeTimerUpdate(int) {}
void MainWindow::MakePlots() {}
void MainWindow::on_pushButton_clicked() {}
void MainWindow::on_pushButton_2_clicked() {}
