// The 16 x 16 pictures of the program's buttons, drawn by the program. Qt
// derives the disabled state (greyed) from each picture.
#pragma once

#include <QIcon>

namespace pictures {

// A blue arrow pointing up: one level up in the folder tree.
QIcon ArrowUp();
// A blue arrow pointing up to a bar: to the top of the folder tree.
QIcon ArrowUpToBar();
// A stack of folders: collapse the folder tree.
QIcon FolderStack();
// A pair of binoculars: search directories.
QIcon Binoculars();
// A magnifying glass: check a list.
QIcon Magnifier();
// A red cross with a light rim: close the window. It stays visible on
// light and on dark buttons.
QIcon CloseCross();

}  // namespace pictures
