#include "preferences/ColorWell.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QPushButton::clicked, this, &ColorWell::openPanel);
}

void ColorWell::setColor(const QColor& color) {
    color_ = color;
    // A swatch over a checkerboard, so that translucency shows.
    QPixmap swatch(40, 14);
    QPainter painter(&swatch);
    for (int x = 0; x < swatch.width(); x += 7)
        for (int y = 0; y < swatch.height(); y += 7)
            painter.fillRect(x, y, 7, 7, ((x + y) / 7) % 2 ? Qt::lightGray : Qt::white);
    painter.fillRect(swatch.rect(), color);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    setIcon(swatch);
    setIconSize(swatch.size());
    setToolTip(color.name(QColor::HexArgb));
}

namespace {
QColorDialog* panel = nullptr;
}

QColorDialog* ColorWell::sharedColorPanel() {
    if (!panel) {
        panel = new QColorDialog;
        panel->setOption(QColorDialog::ShowAlphaChannel, true);
        panel->setOption(QColorDialog::NoButtons, true);
        panel->setWindowTitle(QObject::tr("Colors"));
    }
    return panel;
}

void ColorWell::hideSharedColorPanel() {
    if (panel)
        panel->hide();
}

void ColorWell::openPanel() {
    QColorDialog* panel = sharedColorPanel();
    // The panel edits the colour of the well that opened it last.
    static QMetaObject::Connection editing;
    QObject::disconnect(editing);
    panel->setCurrentColor(color_);
    editing = connect(panel, &QColorDialog::currentColorChanged, this, [this](const QColor& color) {
        setColor(color);
        emit colorEdited(color);
    });
    panel->show();
    panel->raise();
    panel->activateWindow();
}
