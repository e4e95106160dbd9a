#include "toolkit/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE has to be used outside any namespace.
static void InitSetwrightResource() {
  Q_INIT_RESOURCE(setwright);
}

namespace setwright {

void InitAppResources() {
  static const bool initialised = [] {
    InitSetwrightResource();
    return true;
  }();
  (void)initialised;
}

QIcon AppIcon() {
  InitAppResources();
  return QIcon(QStringLiteral(":/setwright/setwright.png"));
}

}  // namespace setwright
