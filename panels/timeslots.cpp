#include "panels/timeslots.h"

#include <QCheckBox>
#include <QWidget>

namespace {

bool is_check_box(const QObject* o)
{
    return QString::fromLatin1(o->metaObject()->className()).contains(QLatin1String("QCheckBox"));
}

} // namespace

void connect_timeslot_boxes(QWidget* frame, QObject* receiver)
{
    for (QObject* child : frame->children())
        if (is_check_box(child))
            QObject::connect(child, SIGNAL(clicked(bool)), receiver, SLOT(cbXXClicked(bool)));
}

void show_timeslot_mask(QWidget* frame, quint32 mask)
{
    for (QObject* child : frame->children()) {
        if (!is_check_box(child))
            continue;
        auto* box = qobject_cast<QCheckBox*>(child);
        const int n = timeslot_of(child);
        if (box && n >= 0)
            box->setChecked((mask >> n) & 1u);
    }
}

int timeslot_of(const QObject* box)
{
    if (!box)
        return -1;
    QString name = box->objectName();
    name.remove(QLatin1String("cb"));
    bool ok = false;
    const int n = name.toInt(&ok);
    // Only 0..31 address a bit of the mask; anything else would shift out of range.
    return ok && n >= 0 && n < 32 ? n : -1;
}
