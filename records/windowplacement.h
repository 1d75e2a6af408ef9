#pragma once
// Centres a top-level window's client area in the available area of its screen.

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

inline void centre_in_available_area(QWidget* w)
{
    QScreen* screen = w->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect avail = screen->availableGeometry();
    const int x = (avail.left() + avail.right()) / 2 - w->width() / 2;
    const int y = (avail.top() + avail.bottom()) / 2 - w->height() / 2;
    w->setGeometry(x, y, w->width(), w->height());
}
