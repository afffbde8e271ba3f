#include "mainwindow.h"

#include <datafiles.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <string_view>

namespace {

// --help and --version answer on the terminal before the application needs a display, so they
// work over ssh and in scripts. Returns whether one of them was given.
bool answeredWithoutWindow(int argc, char *argv[])
{
    const char *text = nullptr;
    for (int i = 1; i < argc && !text; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help")
            text = "Usage: digestra [options]\n"
                   "Opens the Digestra window: simulations of anaerobic digestion in one or two reactors, with\n"
                   "plots and a results workbook. digestra-cli runs them without a window.\n\n"
                   "Options:\n"
                   "  -h, --help     Show this help.\n"
                   "  -v, --version  Show the version.\n"
                   "Qt's own options (-style, -platform ...) are taken as well.\n";
        else if (argument == "-v" || argument == "--version")
            text = "digestra " DIGESTRA_VERSION "\n";
    }
    if (text)
        std::fputs(text, stdout);
    return text;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (answeredWithoutWindow(argc, argv))
        return 0;
    QApplication application(argc, argv);
    // The application object takes LC_NUMERIC from the environment; numbers in files must not.
    // What the window shows follows the user's locale through QLocale.
    std::setlocale(LC_NUMERIC, "C");
    MainWindow window;
    QPixmap splashImage(DataFiles::find(QStringLiteral("graphics/splash.png")));
    QSplashScreen splash(splashImage, Qt::WindowStaysOnTopHint);
    splash.show();
    // The splash closes first, then the window appears.
    QTimer::singleShot(5000, &splash, &QSplashScreen::close);
    QTimer::singleShot(5000, &window, &MainWindow::show);
    QApplication::setWindowIcon(QIcon(DataFiles::find(QStringLiteral("graphics/favicon.png"))));
    return application.exec();
}
