#pragma once

// Where the files shipped beside the program lie: the pictures under graphics/, license.txt
// and changelog.txt. A relative name is looked for in the working directory first, then in
// share/digestra beside the program's folder (<prefix>/bin/../share/digestra when installed;
// the build folder mirrors that layout).

#include <QString>
#include <QStringList>

class DataFiles
{
public:
    // Looks beside the running program.
    DataFiles();
    // Looks beside a program in `programDir`.
    explicit DataFiles(const QString &programDir);

    // The absolute path of the first existing copy of `name`, or `name` unchanged when there is
    // none, so that a missing file still loads as nothing.
    QString path(const QString &name) const;

    // The same beside the running program.
    static QString find(const QString &name);

    // The absolute path `name` has in share/doc/digestra beside the program's folder (the user
    // guide), whether or not it exists.
    QString documentation(const QString &name) const;

private:
    QString m_installed;
};
