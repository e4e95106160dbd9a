// The fonts of the page forms: the embedded fixed-pitch face at a size in pixels.
#pragma once

#include <QFont>

namespace setwright {

// Regular or bold, at `pixels` em size. Falls back to the system's fixed-pitch font when
// the embedded face cannot be loaded.
QFont PageFont(int pixels, bool bold);

}  // namespace setwright
