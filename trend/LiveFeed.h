#pragma once
#include "device/PollingCycle.h"
#include "trend/SampleStore.h"

// Appends one polling cycle to the store. Channels are the recording file's columns of each
// input (so a live view and a recorded file name them alike), keyed by input number as well; a
// cycle without an answer breaks every line, an input whose read failed breaks its own.
void AppendPollingCycle(CSampleStore& store, const PollingCycle& cycle);

// The live store's limits: 131072 cycles, 36 h at one cycle a second; a silence over 15 s is a
// gap even when no cycle reports it (the port was closed or hung up).
CSampleStore::Options LiveStoreOptions();
