#include "LogDispatcher.h"

#include "ConsoleLogger.h"
#include "Log.h"

#include <QDateTime>
#include <atomic>

namespace {

std::atomic<bool> g_sharedDispatcherGone{false};

// The process-wide dispatcher. At exit it drains the queue and stops the thread before anything
// it points to goes away; lines logged after that take Log::write's last-resort path.
struct SharedDispatcher {
    LogDispatcher dispatcher;
    ~SharedDispatcher() {
        dispatcher.shutdown();
        g_sharedDispatcherGone.store(true, std::memory_order_release);
    }
};

} // namespace

LogDispatcher::LogDispatcher(std::size_t capacity)
    : m_capacity(capacity) {}

LogDispatcher::~LogDispatcher() {
    shutdown();
}

LogDispatcher* LogDispatcher::shared() {
    if (g_sharedDispatcherGone.load(std::memory_order_acquire))
        return nullptr;
    static SharedDispatcher holder;
    return &holder.dispatcher;
}

bool LogDispatcher::onLoggingThread() const {
    return m_thread.joinable() && std::this_thread::get_id() == m_threadId;
}

void LogDispatcher::log(LogMessage message) {
    std::unique_lock lock(m_mutex);
    if (m_stopped) {
        const LoggerList loggers = m_loggers;
        lock.unlock();
        std::vector<LogMessage> one;
        one.push_back(std::move(message));
        deliverInline(one, loggers);
        return;
    }
    const bool isError = message.flag == Log::Error;
    if (m_pending.size() >= m_capacity && (!isError || !m_loggers)) {
        ++m_dropped;
        return;
    }
    m_pending.push_back(std::move(message));
    const quint64 sequence = ++m_enqueued;
    if (!m_loggers)
        return; // an early line: it waits for the loggers
    if (m_threadIdle)
        m_wake.notify_one();
    if (isError && !onLoggingThread())
        waitUntilProcessed(lock, sequence);
}

void LogDispatcher::waitUntilProcessed(std::unique_lock<std::mutex>& lock, quint64 sequence) {
    ++m_waiters;
    m_done.wait(lock, [&] { return m_processed >= sequence || m_stopped; });
    --m_waiters;
}

void LogDispatcher::addLoggers(const Loggers& loggers) {
    std::lock_guard lock(m_mutex);
    auto list = std::make_shared<Loggers>(m_loggers ? *m_loggers : Loggers{});
    list->insert(list->end(), loggers.begin(), loggers.end());
    m_loggers = std::move(list);
    if (m_stopped)
        return;
    if (!m_thread.joinable())
        startThread();
    else if (m_threadIdle)
        m_wake.notify_one();
}

void LogDispatcher::removeAllLoggers() {
    flush();
    std::lock_guard lock(m_mutex);
    if (m_loggers)
        m_loggers = std::make_shared<Loggers>();
}

bool LogDispatcher::hasLoggers() const {
    std::lock_guard lock(m_mutex);
    return m_loggers && !m_loggers->empty();
}

quint64 LogDispatcher::droppedMessageCount() const {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

std::size_t LogDispatcher::queuedMessageCount() const {
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

void LogDispatcher::flush() {
    std::unique_lock lock(m_mutex);
    if (!m_loggers || m_stopped || onLoggingThread())
        return;
    waitUntilProcessed(lock, m_enqueued);
}

void LogDispatcher::startThread() {
    // Called with m_mutex held: the new thread blocks on it until m_threadId is set.
    m_thread = std::thread([this] { run(); });
    m_threadId = m_thread.get_id();
}

void LogDispatcher::run() {
    std::vector<LogMessage> batch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (m_pending.empty() && m_dropped == m_droppedReported && !m_stopping) {
            m_threadIdle = true;
            m_wake.wait(lock);
            m_threadIdle = false;
        }
        if (m_pending.empty() && m_dropped == m_droppedReported)
            break;
        batch.swap(m_pending);
        takeDroppedReport(batch);
        const LoggerList loggers = m_loggers;
        const quint64 upTo = m_enqueued;
        lock.unlock();
        deliver(batch, *loggers);
        batch.clear();
        lock.lock();
        m_processed = upTo;
        if (m_waiters > 0)
            m_done.notify_all();
    }
    // From here on callers write on their own threads.
    m_stopped = true;
    if (m_waiters > 0)
        m_done.notify_all();
}

void LogDispatcher::takeDroppedReport(std::vector<LogMessage>& batch) {
    if (m_dropped == m_droppedReported)
        return;
    LogMessage report;
    report.timestampMsecs = QDateTime::currentMSecsSinceEpoch();
    report.threadId = Log::currentThreadId();
    report.flag = Log::Warning;
    report.file = __FILE__;
    report.function = __func__;
    report.line = __LINE__;
    report.message = QStringLiteral("%1 log lines were dropped: the log queue was full")
                         .arg(m_dropped - m_droppedReported);
    m_droppedReported = m_dropped;
    batch.push_back(std::move(report));
}

void LogDispatcher::deliver(const std::vector<LogMessage>& batch, const Loggers& loggers) {
    try {
        for (const LogMessage& message : batch) {
            // Loggers sharing a formatter share the formatted line.
            const DetailedLogFormatter* lineFormatter = nullptr;
            bool formatted = false;
            QByteArray line;
            for (const std::shared_ptr<AbstractLogger>& logger : loggers) {
                const DetailedLogFormatter* formatter = logger->logFormatter();
                if (!formatted || formatter != lineFormatter) {
                    line = (formatter ? formatter->formatLogMessage(message) : message.message)
                               .toUtf8();
                    lineFormatter = formatter;
                    formatted = true;
                }
                logger->logMessage(message, line);
            }
        }
        for (const std::shared_ptr<AbstractLogger>& logger : loggers)
            logger->flush();
    } catch (...) {
        // Out of memory while formatting: lose this batch, keep the logging thread alive.
    }
}

void LogDispatcher::deliverInline(const std::vector<LogMessage>& batch, const LoggerList& loggers) {
    std::lock_guard lock(m_inlineMutex);
    if (loggers && !loggers->empty()) {
        deliver(batch, *loggers);
        return;
    }
    // No logger was ever added: standard error is better than losing the lines.
    auto console = std::make_shared<ConsoleLogger>();
    console->setLogFormatter(std::make_shared<DetailedLogFormatter>());
    deliver(batch, Loggers{console});
}

void LogDispatcher::shutdown() {
    std::unique_lock lock(m_mutex);
    if (m_stopped && !m_thread.joinable())
        return;
    if (m_thread.joinable()) {
        m_stopping = true;
        m_wake.notify_one();
        lock.unlock();
        if (std::this_thread::get_id() == m_threadId)
            m_thread.detach(); // exit() called from a logger: the thread cannot join itself
        else
            m_thread.join();
        lock.lock();
    }
    m_stopped = true;
    std::vector<LogMessage> rest;
    rest.swap(m_pending);
    if (!rest.empty())
        takeDroppedReport(rest);
    const LoggerList loggers = m_loggers;
    lock.unlock();
    if (!rest.empty())
        deliverInline(rest, loggers);
}
