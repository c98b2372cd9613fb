#include "frameicons.h"

namespace {

const char *const windowXpm[] = {
    "16 16 5 1",        "c c #ffffff",      "b c #0000ff",      "# c #808080",      "a c #ff0000",
    ". c None",         "########....aaa.", "#########..aaaaa", "##########.aaaaa", "#########..aaaaa",
    "########....aaa.", "................", ".bbb....########", "bbbbb..#########", "bbbbb.##########",
    "bbbbb..#########", ".bbb....########", "................", "c..cc.cc.c.cc.cc", "cc.cc.c..c.cc.c.",
    "cc.cc..c.c.c..c.", "cc.cc.cc.c.cc.cc",
};

const char *const playXpm[] = {
    "12 12 2 1",    "# c #008000",  ". c None",     "............", "..#.........",
    "..##........", "..###.......", "..####......", "..#####.....", "..####......",
    "..###.......", "..##........", "..#.........", "............", "............",
};

const char *const doublePlayXpm[] = {
    "12 12 2 1",    "# c #008000",  ". c None",     "............", ".#....#.....",
    ".##...##....", ".###..###...", ".####.####..", ".##########.", ".####.####..",
    ".###..###...", ".##...##....", ".#....#.....", "............", "............",
};

const char *const stopXpm[] = {
    "12 12 2 1",    "# c #800000",  ". c None",     "............", ".##########.",
    ".##########.", ".##########.", ".##########.", ".##########.", ".##########.",
    ".##########.", ".##########.", ".##########.", ".##########.", "............",
};

const char *const whatsThisXpm[] = {
    "20 17 3 1",
    "# c #000000",
    "w c #ffffff",
    ". c None",
    "#...................",
    "##..................",
    "#w#.................",
    "#ww#.........####...",
    "#www#.......##..##..",
    "#wwww#......##..##..",
    "#wwwww#.........##..",
    "#wwwwww#.......##...",
    "#wwwwwww#.....##....",
    "#wwwww#####...##....",
    "#ww#ww#.............",
    "#w#.#ww#......##....",
    "##..#ww#......##....",
    "#....#ww#...........",
    ".....#ww#...........",
    "......##............",
    "....................",
};

} // namespace

namespace frameicons {
QPixmap windowIcon() { return QPixmap(windowXpm); }
QPixmap playIcon() { return QPixmap(playXpm); }
QPixmap doublePlayIcon() { return QPixmap(doublePlayXpm); }
QPixmap stopIcon() { return QPixmap(stopXpm); }
QPixmap whatsThisIcon() { return QPixmap(whatsThisXpm); }
} // namespace frameicons
