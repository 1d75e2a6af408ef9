#pragma once
// Compiled-in images and catalogue; see CMakeLists.txt for the resource paths.

#include <QIcon>

namespace kelm {

// The application icon with every size it is drawn in (16 to 256 px).
QIcon applicationIcon();

} // namespace kelm
