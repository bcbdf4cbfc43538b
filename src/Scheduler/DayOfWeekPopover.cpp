#include "DayOfWeekPopover.h"

#include "AbstractTamberWindowController/AbstractPopover.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>

DayOfWeekPopover::DayOfWeekPopover(QWidget* parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("dayOfWeekPopover"));
    setStyleSheet(QStringLiteral("DayOfWeekPopover { background: #ffffff; border: 1px solid "
                                 "#c5cad3; border-radius: 6px; }"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 10, 12, 10);
    grid->setHorizontalSpacing(14);
    auto* caption = new QLabel(tr("Repeat on"), this);
    caption->setStyleSheet(QStringLiteral("color: #5f6670; font-size: 12px;"));
    grid->addWidget(caption, 0, 0, 1, 4);
    const char* const names[7] = {"sunday",   "monday", "tuesday", "wednesday",
                                  "thursday", "friday", "saturday"};
    const QStringList titles{tr("Sun"), tr("Mon"), tr("Tue"), tr("Wed"),
                             tr("Thu"), tr("Fri"), tr("Sat")};
    for (int i = 0; i < 7; ++i) {
        m_days[i] = new QCheckBox(titles[i], this);
        m_days[i]->setObjectName(QLatin1String(names[i]));
        connect(m_days[i], &QCheckBox::toggled, this, &DayOfWeekPopover::maskChanged);
        // Monday first on screen, as most calendars show the week.
        const int column = (i + 6) % 7;
        grid->addWidget(m_days[i], 1 + column / 4, column % 4);
    }
}

int DayOfWeekPopover::mask() const {
    int mask = 0;
    for (int i = 0; i < 7; ++i) {
        if (m_days[i]->isChecked()) {
            mask |= 1 << i;
        }
    }
    return mask;
}

void DayOfWeekPopover::setMask(int mask) {
    for (int i = 0; i < 7; ++i) {
        m_days[i]->setChecked((mask & (1 << i)) != 0);
    }
}

void DayOfWeekPopover::showBelow(QWidget* anchor) {
    adjustSize();
    // Under the button's bounds moved 7 pixels down, kept on the screen.
    const QRect bounds(anchor->mapToGlobal(QPoint(0, 7)), anchor->size());
    setGeometry(AbstractPopover::placementOnScreen(size(), bounds));
    show();
}

void DayOfWeekPopover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    Q_EMIT popoverDidClose();
}
