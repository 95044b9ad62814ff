#include "ui/icons.h"

#include <QPainter>
#include <QSvgRenderer>

namespace dravmer::ui {

QPixmap IconPixmap(const char* name, int size) {
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    if (!renderer.isValid()) return pixmap;
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon Icon(const char* name) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) icon.addPixmap(IconPixmap(name, size));
    return icon;
}

}  // namespace dravmer::ui
