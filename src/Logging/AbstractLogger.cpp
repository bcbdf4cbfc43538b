#include "AbstractLogger.h"

AbstractLogger::AbstractLogger() = default;

AbstractLogger::~AbstractLogger() {
    if (m_formatter)
        m_formatter->willRemoveFromLogger();
}

void AbstractLogger::setLogFormatter(std::shared_ptr<DetailedLogFormatter> formatter) {
    if (m_formatter)
        m_formatter->willRemoveFromLogger();
    m_formatter = std::move(formatter);
    if (m_formatter)
        m_formatter->didAddToLogger();
}
