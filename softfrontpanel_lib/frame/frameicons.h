#pragma once

#include <QPixmap>

// Built-in pictures of the front-panel frame, kept as XPM so that every
// pixel is fixed in the source.
namespace frameicons {
QPixmap windowIcon();     // 16 x 16, shared by the frame and its dialogs
QPixmap playIcon();       // 12 x 12 right-pointing triangle
QPixmap doublePlayIcon(); // 12 x 12 two triangles side by side
QPixmap stopIcon();       // 12 x 12 square, top and bottom rows empty
QPixmap whatsThisIcon();  // 20 x 17 arrow with a question mark
} // namespace frameicons
