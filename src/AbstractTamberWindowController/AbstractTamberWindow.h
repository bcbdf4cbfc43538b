#pragma once

#include <QWidget>

// A borderless top-level window that can take the keyboard focus like any other window.
class AbstractTamberWindow : public QWidget {
    Q_OBJECT
public:
    explicit AbstractTamberWindow(QWidget* parent = nullptr);
};
