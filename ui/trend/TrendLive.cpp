#include "ui/trend/TrendLive.h"

#include <QMetaObject>
#include <QPointer>

#include "device/OrvexDriver.h"
#include "trend/LiveFeed.h"

CTrendLive::CTrendLive(QObject* parent) : QObject(parent), store(LiveStoreOptions()) {}

CTrendLive::~CTrendLive() {
    Detach();
}

void CTrendLive::Attach(COrvexDriver& d) {
    if (driver != nullptr)
        return;
    driver = &d;
    listenerId = driver->AddCycleListener([this](const PollingCycle& cycle) {
        // Polling thread: copy the cycle and let the window's thread store it. A call queued
        // to this object is dropped if the object is gone by then.
        QMetaObject::invokeMethod(
            this, [this, cycle] { Append(cycle); }, Qt::QueuedConnection);
    });
}

void CTrendLive::Detach() {
    if (driver != nullptr) {
        // After this returns the listener is never called again.
        driver->RemoveCycleListener(listenerId);
        driver = nullptr;
    }
}

void CTrendLive::Append(const PollingCycle& cycle) {
    AppendPollingCycle(store, cycle);
    emit cycleAdded();
}
