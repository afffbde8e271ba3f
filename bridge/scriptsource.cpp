#include "scriptsource.h"

#include <QFile>

#include <stdexcept>

std::string loadScriptText(int resourceId, const QString &typeName)
{
    const QString path = QStringLiteral(":/scripts/%1/%2").arg(typeName.toUpper()).arg(resourceId);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("model script " + path.toStdString() + " is missing");
    const QByteArray text = file.readAll();
    return std::string(text.constData(), size_t(text.size()));
}

std::string programText(int modelResourceId, const QString &modelTypeName)
{
    return loadScriptText(modelResourceId, modelTypeName) + "\n\n"
           + loadScriptText(102, QStringLiteral("sh_solver"));
}
