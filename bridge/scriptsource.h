#pragma once

// The model scripts live in the executable as Qt resources ":/scripts/<TYPE>/<ID>", so the
// installed program needs no scripts folder beside it.

#include <QString>

#include <string>

// The exact text of the script stored under typeName (any case, e.g. "module_ssad") and
// resourceId (e.g. 101). Throws std::runtime_error naming the script when it is not there.
std::string loadScriptText(int resourceId, const QString &typeName);

// What one run executes: the configuration's model script, an empty line, then the pH solver.
std::string programText(int modelResourceId, const QString &modelTypeName);
