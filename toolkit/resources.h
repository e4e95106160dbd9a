// Resources compiled into the forms' toolkit library: the icon and the embedded font face.
#pragma once

#include <QIcon>

namespace setwright {

// Makes the resources of the toolkit library available; safe to call many times.
// A static library's resources are not registered until this has run.
void InitAppResources();

// The application icon, used by every window of the program.
QIcon AppIcon();

}  // namespace setwright
