#pragma once

#include <QObject>

// Placeholder: the simulator lands with its own change.
class VeloraSimulator : public QObject {
    Q_OBJECT
};
