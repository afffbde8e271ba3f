#pragma once

// What the input fields take as they are typed: the patterns of their validators, by the field
// kind each input declares (configuration.h).

#include "configuration.h"

#include <QString>

// The whole text must match.
QString fieldPattern(FieldKind kind);
