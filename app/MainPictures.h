#pragma once
// The main window's image list: eight 16 x 16 pictures, used by the menu, the
// tool bar and the Reload-data button; and where the MIL lamp pictures live.

#include <QIcon>
#include <QString>

enum MainPictureIndex : int {
    PictureExit = 0,        // a door
    PicturePortClosed = 1,  // an unplugged connector; also "Reload data"
    PicturePortOpen = 2,    // a plugged connector
    PictureOpenFile = 3,    // a folder
    PictureSaveFile = 4,    // a disk
    PictureSaveFile2 = 5,   // a second disk, used by no command
    PictureFirmware = 6,    // a chip
    PictureInfo = 7,        // a small letter i
    MainPictureCount = 8,
};

// The picture at index; an empty icon for an index outside the list.
QIcon MainPicture(int index);
// Resource path of the picture at index; empty outside the list.
QString MainPicturePath(int index);

// The resource path of a picture named by its folder and base name
// ("pictures/MsgError"): a PNG drawn from its SVG drawing at build time; a
// twice-as-large "@2x" PNG beside it serves scaled screens.
QString PicturePath(const char* name);

// The engine-lamp pictures, lit (ON) and dim (OFF).
extern const QString MilOnPicture;
extern const QString MilOffPicture;
