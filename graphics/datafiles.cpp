#include "datafiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

// QT_LOGGING_RULES="digestra.datafiles.debug=true" shows where each file was found.
Q_LOGGING_CATEGORY(dataFilesLog, "digestra.datafiles", QtWarningMsg)

DataFiles::DataFiles() : DataFiles(QCoreApplication::applicationDirPath()) {}

DataFiles::DataFiles(const QString &programDir)
    : m_installed(QDir::cleanPath(programDir + QStringLiteral("/../share/digestra")))
{
}

QString DataFiles::path(const QString &name) const
{
    for (const QString &folder : {QDir::currentPath(), m_installed}) {
        const QFileInfo file(QDir(folder), name);
        if (file.isFile()) {
            qCDebug(dataFilesLog).noquote() << "found" << name << "at" << file.absoluteFilePath();
            return file.absoluteFilePath();
        }
    }
    qCDebug(dataFilesLog).noquote() << "not found" << name;
    return name;
}

QString DataFiles::documentation(const QString &name) const
{
    return QDir::cleanPath(m_installed + QStringLiteral("/../doc/digestra/") + name);
}

QString DataFiles::find(const QString &name) { return DataFiles().path(name); }
