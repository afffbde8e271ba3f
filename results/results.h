#pragma once

// Refinement of a finished run: plot series, peak flows and the results workbook.
// Everything a refinement produces is class-wide, so the window reads it without holding the
// object that wrote it. The series are those of the last refinement alone: each one replaces
// what the one before left, so no run's curves or memory outlive the next run.

#include "operation.h"
#include "runsummary.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <memory>

// What the front ends should tell the user about the last refinement.
struct RefinementReport {
    int tableRows = 0;       // rows the worker kept
    int computedRows = 0;    // rows before what an integrator failure left (zero rows, its failed step)
    double stoppedAtDay = -1;  // time of the last computed row when the integration stopped early, else -1
    RunSummary summary;      // with the first unsound value of the computed rows
    std::shared_ptr<const OperationTables> operation;  // what the computed rows give an operator
    QString workbookPath;    // absolute path of the workbook written, empty if none
    QString workbookError;   // why saving failed, empty on success
};

class results : public QObject {
    Q_OBJECT
public:
    explicit results(QObject *parent = nullptr) : QObject(parent) {}

    static QVector<double> plot_t_R1, plot_flow_R1, plot_ch4_R1, plot_co2_R1, plot_h2_R1, plot_h2o_R1;
    static QVector<double> plot_t_R2, plot_flow_R2, plot_ch4_R2, plot_co2_R2, plot_h2_R2, plot_h2o_R2;
    static double peak_flow_R1, peak_flow_R2;
    static QString last_workbook;
    static RefinementReport last_report;

    // Empties the twelve series and lets go of their memory.
    static void clearSeries();

    // The class-wide results at one moment, so that a run that is dropped can be undone. The
    // series are shared with the storage, not copied, until one side changes.
    struct StorageMark {
        std::array<QVector<double>, 12> series;
        double peakR1 = 0, peakR2 = 0;
        QString workbook;
        RefinementReport report;
    };
    static StorageMark mark();
    // Back to the mark: the series, the peaks, the workbook name and the report are the mark's.
    static void rollBack(const StorageMark &mark);

    // Where the next workbook goes; empty (the default) means "results_" + yyyyMMdd_hhmmss +
    // ".xlsx" in the working directory, with a suffix when that name is taken. A path set here
    // is written exactly, replacing a regular file of that name once the new one is complete.
    void setWorkbookPath(const QString &path) { workbook_path = path; }
    // The folder of a fresh "results_" name when no path is set; empty (the default) means the
    // working directory.
    void setWorkbookFolder(const QString &dir) { workbook_folder = dir; }
    // Whether the refinement writes a workbook at all (it does unless told otherwise).
    void setWorkbookWanted(bool wanted) { workbook_wanted = wanted; }
    // A flag that, once set during the workbook's write, stops it and leaves no file (a worker's
    // stop flag: a cancel that comes while the workbook is written).
    void setStopFlag(const std::atomic<int> *flag) { stop_flag = flag; }
    void writeWorkbook(int mode);

signals:
    void resultsFinished(const QString &r);

public slots:
    void refined_SSAD();
    void refined_TSAD();
    void refined_TPAD();
    void refined_POMP();

private:
    void refine(int mode);  // series, peaks, workbook, then resultsFinished

    QString workbook_path;
    QString workbook_folder;
    bool workbook_wanted = true;
    const std::atomic<int> *stop_flag = nullptr;
};
