#pragma once
// The program's icon: a 32 x 32 picture of a fan in the 16 standard colours.

#include <QIcon>
#include <QImage>

namespace fanbench::monitor {

QImage appIconImage();
QIcon appIcon();

}  // namespace fanbench::monitor
