#pragma once

#include <QColor>

// The few colours the views share.
namespace Theme {

// The product's blue: header band, links, primary buttons.
inline QColor buttonBlue() {
    return QColor::fromRgbF(0.047f, 0.380f, 0.996f, 1.0f);
}
// The error border of a text field.
inline QColor errorRed() {
    return QColor::fromRgbF(0.788f, 0.0f, 0.0f, 1.0f);
}
inline QColor errorText() {
    return QColor(0xc9, 0x1c, 0x1c);
}
inline QColor secondaryText() {
    return QColor(0x5f, 0x66, 0x70);
}

} // namespace Theme
