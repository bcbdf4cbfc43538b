#pragma once

#include "Platform/NotificationCenter.h"

#include <QObject>
#include <QStringList>
#include <QVariantList>

// Records, while it lives and in order, every posting of the given notification names: the
// name in `names`, the notification's object (invalid when none) at the same index of
// `objects`.
class PostedNotifications : public QObject {
public:
    explicit PostedNotifications(const QStringList& watched) {
        for (const QString& name : watched) {
            NotificationCenter::defaultCenter().addObserver(this, name,
                                                            [this, name](const QVariant& object) {
                                                                names << name;
                                                                objects << object;
                                                            });
        }
    }
    ~PostedNotifications() override { NotificationCenter::defaultCenter().removeObserver(this); }

    QStringList names;
    QVariantList objects;
};
