#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <utility>

// Runs work on the main thread after the current event, like an asynchronous dispatch to the
// main queue. With a context object, the work is dropped if the context is destroyed first.
namespace MainQueue {

template <typename F> void async(F&& work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(work),
                              Qt::QueuedConnection);
}

template <typename F> void async(const QObject* context, F&& work) {
    QMetaObject::invokeMethod(const_cast<QObject*>(context), std::forward<F>(work),
                              Qt::QueuedConnection);
}

} // namespace MainQueue
