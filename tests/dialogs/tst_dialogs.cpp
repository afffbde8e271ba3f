#include "credits.h"
#include "help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTranslator>
#include <QUrl>
#include <QtTest>

// Stands in for the desktop: records every address the dialogs ask it to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

// Translates one text of one context, to see that the dialogs pass their texts through tr().
class MarkingTranslator : public QTranslator
{
public:
    MarkingTranslator(const char *context, const char *source) : m_context(context), m_source(source) {}
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (m_context == context && m_source == sourceText)
            return QStringLiteral("translated");
        return {};
    }

private:
    QByteArray m_context;
    QByteArray m_source;
};

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void bothDialogsAreFixedAt400By300WithOnlyACloseButton();
    void aboutShowsProductCreditsAndCitation();
    void aboutLinkOpensInTheBrowser();
    void aboutButtonsOpenTheShippedFilesFromTheWorkingDirectory();
    void aboutButtonsTellWhenNoProgramOpensTheFile();
    void helpShowsModelAndResultTexts();
    void textsFollowTheInstalledTranslation();

private:
    UrlRecorder m_desktop;
};

namespace {
template <typename Dialog>
void checkFixedDialog(const QString &title)
{
    Dialog dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), title);
    QCOMPARE(dlg.size(), QSize(400, 300));
    QCOMPARE(dlg.minimumSize(), QSize(400, 300));
    QCOMPARE(dlg.maximumSize(), QSize(400, 300));
    dlg.resize(600, 500);
    QCOMPARE(dlg.size(), QSize(400, 300));

    const Qt::WindowFlags flags = dlg.windowFlags();
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!dlg.parentWidget());
}

// The groupbox look both dialogs share: Open Sans 10 pt bold italic, accent-coloured titles.
void checkBox(const QGroupBox *box, const QString &title)
{
    QVERIFY(box);
    QCOMPARE(box->title(), title);
    QCOMPARE(box->font().family(), QStringLiteral("Open Sans"));
    QCOMPARE(box->font().pointSize(), 10);
    QVERIFY(box->font().bold());
    QVERIFY(box->font().italic());
    QVERIFY(box->styleSheet().contains(QStringLiteral("color: rgb(0, 147, 221);")));
}

// The text browser must sit directly in its group box, which clips it.
const QTextBrowser *browserIn(const QGroupBox *box, const char *name)
{
    return box ? box->findChild<QTextBrowser *>(name, Qt::FindDirectChildrenOnly) : nullptr;
}

// Paragraph texts of a browser, in order.
QStringList paragraphs(const QTextBrowser *browser)
{
    QStringList lines;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

QStringList anchorsOf(const QTextBrowser *browser)
{
    QStringList hrefs;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                hrefs << it.fragment().charFormat().anchorHref();
    return hrefs;
}
} // namespace

void TestDialogs::init()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_desktop, "open");
    m_desktop.opened.clear();
}

void TestDialogs::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestDialogs::bothDialogsAreFixedAt400By300WithOnlyACloseButton()
{
    checkFixedDialog<credits>(QStringLiteral("About"));
    if (QTest::currentTestFailed())
        return;
    checkFixedDialog<help>(QStringLiteral("Help"));
}

void TestDialogs::aboutShowsProductCreditsAndCitation()
{
    credits dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("credits"));
    QCOMPARE(dlg.focusPolicy(), Qt::StrongFocus);

    auto *box = dlg.findChild<QGroupBox *>(QStringLiteral("groupBox"));
    checkBox(box, QStringLiteral("DIGESTRA v." DIGESTRA_VERSION));
    if (QTest::currentTestFailed())
        return;
    const QTextBrowser *browser = browserIn(box, "textBrowser");
    QVERIFY(browser);

    const QStringList lines = paragraphs(browser);
    QCOMPARE(lines.size(), 8);
    QVERIFY(!lines[0].isEmpty());
    QVERIFY(lines[1].isEmpty());
    QCOMPARE(lines[2], QStringLiteral("Acknowledgments:"));
    QVERIFY(lines[3].startsWith(QStringLiteral("- ")));
    QVERIFY(lines[3].endsWith(QStringLiteral(" - scientific consultation.")));
    QVERIFY(lines[3].size() > int(qstrlen("-  - scientific consultation.")));
    QCOMPARE(lines[4], QStringLiteral("- IWA - selected model part are based on ADM1."));
    QVERIFY(lines[5].isEmpty() && lines[6].isEmpty());
    QCOMPARE(lines[7], QStringLiteral("Citation: If you use the Digestra in scientific article, please add "
                                      "full refference to this software."));

    const auto checkButton = [&dlg](const char *name, const QString &text) {
        auto *button = dlg.findChild<QPushButton *>(name);
        QVERIFY(button);
        QCOMPARE(button->text(), text);
        QVERIFY(button->styleSheet().contains(QStringLiteral("background-color: rgb(0, 147, 221);")));
    };
    checkButton("pushButton", QStringLiteral("Changelog"));
    checkButton("pushButton_License", QStringLiteral("License Notes"));
}

void TestDialogs::aboutLinkOpensInTheBrowser()
{
    credits dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *browser = dlg.findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
    QVERIFY(browser);
    QVERIFY(browser->openExternalLinks());

    const QStringList hrefs = anchorsOf(browser);
    QCOMPARE(hrefs.size(), 1);
    const QUrl link(hrefs.first());
    QVERIFY(link.isValid());
    QVERIFY(link.scheme() == QLatin1String("https") || link.scheme() == QLatin1String("http"));

    // A click in the middle of the link's first line hands its address to the desktop.
    QTextCursor cursor(browser->document()->begin());
    cursor.setPosition(2);
    const QPoint onLink = browser->cursorRect(cursor).center();
    QTest::mouseMove(browser->viewport(), onLink);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, onLink);
    QCOMPARE(m_desktop.opened, QList<QUrl>{link});
    // The dialog keeps showing its own text: the link is not followed inside the browser.
    QCOMPARE(paragraphs(browser).value(2), QStringLiteral("Acknowledgments:"));
}

void TestDialogs::aboutButtonsOpenTheShippedFilesFromTheWorkingDirectory()
{
    const auto clickBoth = [this] {
        m_desktop.opened.clear();
        credits dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("pushButton_License")), Qt::LeftButton);
        QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("pushButton")), Qt::LeftButton);
    };
    const QDir projectDir = QDir::current();

    // This test runs in the project folder, where the program is started from and the files lie.
    clickBoth();
    QCOMPARE(m_desktop.opened, (QList<QUrl>{QUrl::fromLocalFile(projectDir.absoluteFilePath("license.txt")),
                                            QUrl::fromLocalFile(projectDir.absoluteFilePath("changelog.txt"))}));
    for (const QUrl &url : std::as_const(m_desktop.opened)) {
        const QFileInfo file(url.toLocalFile());
        QVERIFY2(file.exists() && file.size() > 0, qPrintable(url.toString()));
    }

    // Elsewhere the names follow the working directory, and the dialog stays quiet about it.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    clickBoth();
    QVERIFY(QDir::setCurrent(projectDir.path()));
    QCOMPARE(m_desktop.opened, (QList<QUrl>{QUrl::fromLocalFile(elsewhere.filePath("license.txt")),
                                            QUrl::fromLocalFile(elsewhere.filePath("changelog.txt"))}));
}

// The desktop cannot open the file: a warning over the dialog names it.
void TestDialogs::aboutButtonsTellWhenNoProgramOpensTheFile()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "missingSlot");
    credits dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (const auto &[button, file] : {std::pair{"pushButton_License", "license.txt"}, std::pair{"pushButton", "changelog.txt"}}) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No such method")));
        QString title, text;
        QWidget *parent = nullptr;
        QTimer::singleShot(0, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                parent = box->parentWidget();
                box->close();
            }
        });
        QTest::mouseClick(dlg.findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("File not opened"));
        QCOMPARE(text, QStringLiteral("No program was found to open %1.").arg(QDir::current().absoluteFilePath(file)));
        QCOMPARE(parent, &dlg);
    }
}

void TestDialogs::helpShowsModelAndResultTexts()
{
    help dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("help"));

    auto *model = dlg.findChild<QGroupBox *>(QStringLiteral("groupBox"));
    auto *results = dlg.findChild<QGroupBox *>(QStringLiteral("groupBox_2"));
    checkBox(model, QStringLiteral("MODEL DESCRIPTION"));
    checkBox(results, QStringLiteral("RESULTS GENERATION"));
    if (QTest::currentTestFailed())
        return;
    const QTextBrowser *modelText = browserIn(model, "textBrowser");
    const QTextBrowser *resultText = browserIn(results, "textBrowser_2");
    QVERIFY(modelText && resultText);

    QCOMPARE(modelText->toPlainText(),
             QStringLiteral("Digestra require data about reactor (or reactors) geometry and input biomass. The "
                            "second one can be obtained by extended Wende's analysis / Van Soest method. The model "
                            "assump a description when biomass is one complexed compound, which decomposites in "
                            "selected fraction and then to individual molecules."));
    QCOMPARE(resultText->toPlainText(),
             QStringLiteral("The results are presented in the form of plots. Detailed output from model is saved "
                            "to a results_[timestamp].xlsx file in the working directory, or in the Documents "
                            "folder when the working directory cannot take files; the results page names it."));

    // Plain information: nothing in the help texts leads anywhere.
    QVERIFY(anchorsOf(modelText).isEmpty() && anchorsOf(resultText).isEmpty());
    QVERIFY(!modelText->openExternalLinks() && !resultText->openExternalLinks());
}

void TestDialogs::textsFollowTheInstalledTranslation()
{
    MarkingTranslator aboutTitle("credits", "About");
    MarkingTranslator helpBox("help", "RESULTS GENERATION");
    QVERIFY(QCoreApplication::installTranslator(&aboutTitle));
    QVERIFY(QCoreApplication::installTranslator(&helpBox));
    {
        credits about;
        help helpDialog;
        QCOMPARE(about.windowTitle(), QStringLiteral("translated"));
        QCOMPARE(helpDialog.findChild<QGroupBox *>(QStringLiteral("groupBox_2"))->title(),
                 QStringLiteral("translated"));
        QCOMPARE(helpDialog.windowTitle(), QStringLiteral("Help"));
    }
    QCoreApplication::removeTranslator(&helpBox);
    QCoreApplication::removeTranslator(&aboutTitle);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
