// A "script_libs" folder in the working directory that holds a Python which cannot serve the
// models: every run fails with a message that names the folder and the way out. Python starts
// once per process, so ctest runs each case in a process of its own.
#include <simulationrun.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

class ScriptLibsTest : public QObject {
    Q_OBJECT

    QTemporaryDir workingDir;
    int casesRun = 0;

    // Two runs from the working directory; both must fail with the message about script_libs.
    void expectBothRunsRefused(const QString &reason)
    {
        QVERIFY(QDir::setCurrent(workingDir.path()));
        calc_SSAD ssad;
        ssad.program_text = "import numpy as np\ndef MyFunc(*args):\n    return np.zeros((2, 50))\n";
        const Workers workers{&ssad, nullptr, nullptr, nullptr};
        RunRequest request;
        request.mode = 1;
        request.t_end = 0.1;
        QStringList failures;
        QObject::connect(&ssad, &SimulationWorker::workFailed, &ssad,
                         [&](const QString &message) { failures << message; }, Qt::DirectConnection);
        for (int run = 0; run < 2; ++run)
            std::thread([&] { runOnWorker(workers, request); }).join();
        QCOMPARE(failures.size(), 2);
        for (const QString &failure : failures) {
            QVERIFY2(failure.startsWith("script_libs/ holds a Python that could not start: " + reason),
                     qPrintable(failure));
            QVERIFY(failure.endsWith("; remove it or fix it, then restart Digestra"));
        }
    }

    QString standardLibrary() const
    {
        return workingDir.filePath(QStringLiteral("script_libs/lib/" STDLIB_NAME));
    }

private slots:
    void initTestCase() { QVERIFY(workingDir.isValid()); }

    void init()
    {
        if (casesRun++ > 0)
            QSKIP("Python starts once per process: one case per run of this test, as ctest runs them");
    }

    // Looks like a home, but holds no standard library behind its marker file.
    void homeWithoutStandardLibrary()
    {
        QVERIFY(QDir().mkpath(standardLibrary()));
        QFile marker(standardLibrary() + "/os.py");
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        expectBothRunsRefused(QString());
    }

    // The system's standard library alone: Python starts, but the model's packages are missing.
    void homeWithoutTheModelsPackages()
    {
        QVERIFY(QDir().mkpath(workingDir.filePath("script_libs/lib")));
        QVERIFY(QFile::link(QStringLiteral(SYSTEM_STDLIB), standardLibrary()));
        expectBothRunsRefused(QStringLiteral("ModuleNotFoundError: No module named"));
    }
};

QTEST_GUILESS_MAIN(ScriptLibsTest)
#include "tst_scriptlibs.moc"
