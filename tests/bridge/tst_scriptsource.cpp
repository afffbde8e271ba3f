// The model scripts are taken from the executable itself, unchanged.
#include "scriptsource.h"

#include <QFile>
#include <QtTest>

#include <stdexcept>

class ScriptSourceTest : public QObject {
    Q_OBJECT

private slots:
    void scriptsEqualTheirFiles_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::newRow("single-stage") << 101 << "module_ssad" << "module_ssad.py";
        QTest::newRow("solver, upper case") << 102 << "SH_SOLVER" << "sh_solver.py";
        QTest::newRow("two-stage") << 103 << "module_tsad" << "module_tsad.py";
        QTest::newRow("temperature-phased, mixed case") << 104 << "Module_Tpad" << "module_tpad.py";
        QTest::newRow("pump-mixed") << 105 << "module_pomp" << "module_pomp.py";
    }

    void scriptsEqualTheirFiles()
    {
        QFETCH(int, id);
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFile source(QStringLiteral(MODELS_DIR "/") + file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray expected = source.readAll();
        const std::string text = loadScriptText(id, type);
        QCOMPARE(QByteArray(text.data(), qsizetype(text.size())), expected);
    }

    void programIsModelThenSolver()
    {
        const std::string model = loadScriptText(103, "module_tsad");
        const std::string solver = loadScriptText(102, "sh_solver");
        QCOMPARE(programText(103, "module_tsad"), model + "\n\n" + solver);
    }

    void missingScriptIsNamed()
    {
        for (const auto &[id, type] : {std::pair{106, "module_ssad"}, std::pair{101, "sh_solver"}}) {
            try {
                loadScriptText(id, type);
                QFAIL("a missing script was loaded");
            } catch (const std::runtime_error &e) {
                QVERIFY2(QString(e.what()).contains(QString::number(id)), e.what());
            }
        }
    }
};

QTEST_GUILESS_MAIN(ScriptSourceTest)
#include "tst_scriptsource.moc"
