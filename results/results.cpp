// Placeholder until the refinement lands.
#include "results.h"

QVector<double> results::plot_t_R1, results::plot_flow_R1, results::plot_ch4_R1, results::plot_co2_R1,
    results::plot_h2_R1, results::plot_h2o_R1;
QVector<double> results::plot_t_R2, results::plot_flow_R2, results::plot_ch4_R2, results::plot_co2_R2,
    results::plot_h2_R2, results::plot_h2o_R2;
double results::peak_flow_R1 = 0, results::peak_flow_R2 = 0;
QString results::last_workbook;
RefinementReport results::last_report;

void results::clearSeries() {}
void results::writeWorkbook(int) {}
void results::refined_SSAD() { emit resultsFinished(QString()); }
void results::refined_TSAD() { emit resultsFinished(QString()); }
void results::refined_TPAD() { emit resultsFinished(QString()); }
void results::refined_POMP() { emit resultsFinished(QString()); }
