#include "datafiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Where the window and the dialogs find graphics/, license.txt and changelog.txt: the working
// directory first, then share/digestra beside the program's bin folder. A fake installed tree
// stands in for the prefix.
class TestDataFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void workingDirectoryComesFirstThenTheInstalledTree();
    void aMissingFileKeepsItsName();
    void theGuideLiesInTheDocumentationFolder();

private:
    void put(const QString &path);

    QTemporaryDir m_root;
    QString m_startDir;
};

void TestDataFiles::put(const QString &path)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestDataFiles::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_startDir = QDir::currentPath();
    QVERIFY(QDir().mkpath(m_root.filePath("prefix/bin")));
    QVERIFY(QDir().mkpath(m_root.filePath("work")));
    put(m_root.filePath("prefix/share/digestra/graphics/flux.png"));
    put(m_root.filePath("prefix/share/digestra/license.txt"));
    put(m_root.filePath("work/license.txt"));
}

void TestDataFiles::cleanup() { QDir::setCurrent(m_startDir); }

void TestDataFiles::workingDirectoryComesFirstThenTheInstalledTree()
{
    const DataFiles files(m_root.filePath("prefix/bin"));
    QVERIFY(QDir::setCurrent(m_root.filePath("work")));
    QCOMPARE(files.path("license.txt"), m_root.filePath("work/license.txt"));
    QCOMPARE(files.path("graphics/flux.png"), m_root.filePath("prefix/share/digestra/graphics/flux.png"));

    QVERIFY(QDir::setCurrent(m_root.path()));
    QCOMPARE(files.path("license.txt"), m_root.filePath("prefix/share/digestra/license.txt"));
}

void TestDataFiles::aMissingFileKeepsItsName()
{
    QVERIFY(QDir::setCurrent(m_root.filePath("work")));
    QCOMPARE(DataFiles(m_root.filePath("prefix/bin")).path("graphics/splash.png"), QStringLiteral("graphics/splash.png"));
    // a folder of that name is no file
    QCOMPARE(DataFiles(m_root.filePath("prefix/bin")).path("graphics"), QStringLiteral("graphics"));
    // beside a program with no tree around it
    QCOMPARE(DataFiles(m_root.filePath("work")).path("graphics/flux.png"), QStringLiteral("graphics/flux.png"));
}

void TestDataFiles::theGuideLiesInTheDocumentationFolder()
{
    QCOMPARE(DataFiles(m_root.filePath("prefix/bin")).documentation("guide.html"),
             m_root.filePath("prefix/share/doc/digestra/guide.html"));
}

QTEST_GUILESS_MAIN(TestDataFiles)
#include "tst_datafiles.moc"
