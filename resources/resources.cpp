#include "resources/resources.h"

namespace kelm {

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kelm-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace kelm
