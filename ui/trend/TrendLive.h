#pragma once
#include <QObject>

#include "trend/SampleStore.h"

class COrvexDriver;
struct PollingCycle;

// The live samples from the program's start: the driver's cycle listener hands every polling
// cycle to the window's thread with a queued call, where it goes into a bounded store (see
// LiveStoreOptions), so the store is only ever touched by that one thread.
class CTrendLive : public QObject {
    Q_OBJECT
public:
    explicit CTrendLive(QObject* parent = nullptr);
    ~CTrendLive() override;

    // Starts listening to the driver (once); the listener is removed in the destructor.
    void Attach(COrvexDriver& driver);
    void Detach();

    const CSampleStore& Store() const { return store; }
    // For the window's own thread only: adds a cycle as the listener would.
    void Append(const PollingCycle& cycle);

signals:
    void cycleAdded();

private:
    CSampleStore store;
    COrvexDriver* driver = nullptr;
    int listenerId = -1;
};
