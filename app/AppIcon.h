// AppIcon: the program's icon, drawn in code so that the window needs no image
// plugin; app/veypatcher.svg is the same picture for the desktop's menus.
#pragma once

#include <QIcon>

namespace vey::app {

QIcon AppIcon();

}  // namespace vey::app
