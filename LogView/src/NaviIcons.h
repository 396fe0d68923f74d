// The navigation tree's nine images, drawn with QPainter instead of loaded from files: a file, a
// method, a thread, a namespace, and the folders that list them, each folder marked with a small
// copy of what it lists. Functions only; call them on the user-interface thread (QPixmap).
#pragma once

#include <QIcon>
#include <QPixmap>

// The tree's images, in the order of its image list.
enum class NaviImage : int {
    File = 0,
    MethodFolder = 1,
    ThreadFolder = 2,
    Method = 3,
    Thread = 4,
    NameSpaceFolder = 5,
    NameSpace = 6,
    SearchFolder = 7,
    EndlessFolder = 8,
};

inline constexpr int NaviImageCount = 9;
// The images are designed on a 16 by 16 pixel grid.
inline constexpr int NaviImageSize = 16;

// The image drawn into a transparent square pixmap of size by size pixels; the drawing is made
// for 16 pixels and scales.
QPixmap DrawNaviImage(NaviImage image, int size = NaviImageSize);

// The image as an icon, at 16 pixels and at 32 for screens of double density.
QIcon MakeNaviIcon(NaviImage image);
