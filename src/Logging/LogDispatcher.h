#pragma once

#include "AbstractLogger.h"
#include "LogMessage.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Hands log messages to the loggers on one logging thread.
//
// A caller only appends to a bounded queue; when the queue is full a non-error line is dropped
// and counted (a warning reports the count later) rather than blocking the caller. An error line
// is always queued, and the caller waits until every logger has taken it.
//
// Lines logged before the first loggers are added wait in the same queue (up to its bound) and
// are written once loggers exist. shutdown() (also run when the process exits) drains the queue
// and stops the thread; later lines are written on the caller's thread.
class LogDispatcher {
public:
    using Loggers = std::vector<std::shared_ptr<AbstractLogger>>;
    static constexpr std::size_t kDefaultCapacity = 32768;

    explicit LogDispatcher(std::size_t capacity = kDefaultCapacity);
    ~LogDispatcher();
    LogDispatcher(const LogDispatcher&) = delete;
    LogDispatcher& operator=(const LogDispatcher&) = delete;

    // The process-wide dispatcher behind Log::write. Null once it has been destroyed at exit.
    static LogDispatcher* shared();

    void log(LogMessage message);

    // Adds loggers after the existing ones (messages reach them in this order) and starts
    // delivering, the waiting early lines first.
    void addLoggers(const Loggers& loggers);
    void addLogger(std::shared_ptr<AbstractLogger> logger) { addLoggers({std::move(logger)}); }
    // Delivers what is queued, then forgets every logger.
    void removeAllLoggers();
    bool hasLoggers() const;

    // Returns once every line logged before the call has reached the loggers.
    void flush();
    void shutdown();

    quint64 droppedMessageCount() const;
    // Lines waiting for the logging thread.
    std::size_t queuedMessageCount() const;

private:
    using LoggerList = std::shared_ptr<const Loggers>;

    void startThread();
    void run();
    void waitUntilProcessed(std::unique_lock<std::mutex>& lock, quint64 sequence);
    void takeDroppedReport(std::vector<LogMessage>& batch);
    static void deliver(const std::vector<LogMessage>& batch, const Loggers& loggers);
    void deliverInline(const std::vector<LogMessage>& batch, const LoggerList& loggers);
    bool onLoggingThread() const;

    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // the logging thread waits here for work
    std::condition_variable m_done; // callers wait here for their line
    std::vector<LogMessage> m_pending;
    LoggerList m_loggers; // null until loggers are added
    quint64 m_enqueued = 0;
    quint64 m_processed = 0;
    quint64 m_dropped = 0;
    quint64 m_droppedReported = 0;
    int m_waiters = 0;
    bool m_threadIdle = false;
    bool m_stopping = false;
    bool m_stopped = false;
    std::thread m_thread;
    std::thread::id m_threadId;
    std::mutex m_inlineMutex; // serialises writing on callers' threads after shutdown
};
