#pragma once

#include <QPoint>
#include <QtGlobal>

// Counts the clicks of one multi-click run, as the platform reports only double clicks: a press
// continues the run when it follows the previous one within the double-click interval and close
// to it; otherwise a new run starts at 1.
class ClickSequence {
public:
    ClickSequence(int intervalMs, int maxDistance)
        : m_intervalMs(intervalMs)
        , m_maxDistance(maxDistance) {}

    // The number of this press within its run (1 for a fresh run).
    int press(quint64 timestampMs, const QPoint& globalPos) {
        const bool continues = m_count > 0 && timestampMs >= m_lastTime &&
                               timestampMs - m_lastTime <= quint64(m_intervalMs) &&
                               (globalPos - m_lastPos).manhattanLength() <= m_maxDistance;
        m_count = continues ? m_count + 1 : 1;
        m_lastTime = timestampMs;
        m_lastPos = globalPos;
        return m_count;
    }

private:
    int m_intervalMs;
    int m_maxDistance;
    int m_count = 0;
    quint64 m_lastTime = 0;
    QPoint m_lastPos;
};
