#pragma once

// The declaration of every input as JSON, for programs that give digestra-cli its inputs (the
// study runner): what `digestra-cli --describe` prints. The keys are documented in the README.

#include <QJsonObject>

QJsonObject inputsDescription();
