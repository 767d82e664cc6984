// The three images of the tray icon: 0 while the control thread is stopped, 1 and 2 in turn
// with each control cycle while it runs, so a living thread is seen to blink.
#pragma once

#include <QIcon>
#include <QImage>

namespace liron {

constexpr int kTrayImageCount = 3;

// The image of the given index (0, 1 or 2; anything else gives image 0), drawn at size px.
QImage TrayImageAt(int index, int size = 32);
QIcon TrayIconAt(int index);

}  // namespace liron
