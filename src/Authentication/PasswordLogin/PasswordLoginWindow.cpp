#include "PasswordLoginWindow.h"

#include <QCloseEvent>
#include <QImageReader>
#include <QPainter>

// Resources of a static library must be registered by hand (repeating it is harmless).
static QString backgroundResource() {
    Q_INIT_RESOURCE(gui);
    return QStringLiteral(":/images/dialogBkgd.svg");
}

PasswordLoginWindow::PasswordLoginWindow(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PasswordLoginWindow::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_background.size() != pixels) {
        // Through the image plugin: the SVG module loads only once an SVG image is shown.
        QImageReader reader(backgroundResource());
        reader.setScaledSize(pixels);
        m_background = QPixmap::fromImage(reader.read());
        m_background.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), Qt::white);
    else
        painter.drawPixmap(0, 0, m_background);
}

void PasswordLoginWindow::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) {
        Q_EMIT closedByUser();
    }
    QWidget::closeEvent(event);
}
