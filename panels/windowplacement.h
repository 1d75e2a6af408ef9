#pragma once
// Centres a top-level window in the available area of its screen.

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

// What is put at the centred position: the window's client area, or (as
// QWidget::move() does) its frame, title bar included.
enum class Placement { ClientArea, Frame };

inline void centre_in_available_area(QWidget* w, Placement placement = Placement::ClientArea)
{
    QScreen* screen = w->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect avail = screen->availableGeometry();
    const int x = (avail.left() + avail.right()) / 2 - w->width() / 2;
    const int y = (avail.top() + avail.bottom()) / 2 - w->height() / 2;
    if (placement == Placement::Frame)
        w->move(x, y);
    else
        w->setGeometry(x, y, w->width(), w->height());
}
