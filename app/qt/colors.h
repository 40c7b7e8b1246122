#pragma once

#include <QColor>

#include "app/controls.h"

namespace tonemark {

// A plain RGB value as is; a system-colour reference in the current palette's colour.
QColor ToQColor(Color color);

}  // namespace tonemark
