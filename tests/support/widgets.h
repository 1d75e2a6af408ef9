#pragma once
// Driving widgets as a user would, and reading what a table shows.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

// The named child; a missing one is a broken test, not a failed check.
template <class T>
T* child(QObject* parent, const char* name)
{
    if (T* found = parent->findChild<T*>(QLatin1String(name)))
        return found;
    qFatal("no widget %s", name);
}

// A mouse click on the indicator of a check or radio box, in the middle of anything else.
inline void click(QAbstractButton* b)
{
    const bool box = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, box ? QPoint(7, b->height() / 2) : b->rect().center());
}

// Picks an item with the arrows and Return: like the user's, activated comes even for the current one.
inline void choose(QComboBox* c, int index)
{
    c->showPopup();
    for (int at = c->currentIndex(); at != index; at += at < index ? 1 : -1)
        QTest::keyClick(c->view(), at < index ? Qt::Key_Down : Qt::Key_Up);
    QTest::keyClick(c->view(), Qt::Key_Return);
}

// Replaces the whole text by typing.
inline void type(QLineEdit* e, const QString& text)
{
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, text);
}

inline QString cell(const QAbstractItemView* v, int row, int column)
{
    return v->model()->index(row, column).data().toString();
}
