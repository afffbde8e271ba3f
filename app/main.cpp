#include "mainwindow.h"

#include <datafiles.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
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
