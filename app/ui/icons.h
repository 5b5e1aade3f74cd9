// The application's pictures, drawn at run time: the program icon, the toolbar buttons and
// the two frames of the busy dialog's animation.
#ifndef PAGEWEAVER_UI_ICONS_H
#define PAGEWEAVER_UI_ICONS_H

#include <QIcon>
#include <QPixmap>

namespace pwui {

QIcon AppIcon();
QIcon AddPagesIcon();
QIcon BuildIcon();
QIcon RemoveAllIcon();
QIcon AboutIcon();

// The busy dialog's animation has 25 slots; only slots 0 and 1 hold a picture.
constexpr int kAnimationSlots = 25;
QPixmap AnimationFrame(int slot);

}  // namespace pwui

#endif  // PAGEWEAVER_UI_ICONS_H
