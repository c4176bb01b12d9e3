#pragma once
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "trend/SampleStore.h"

// Writes the cycles of [t0Ms, t1Ms] of the given channels as a text recording file would hold
// them: Windows-1250, CR LF, one header line "Data i Godzina" + the column titles, rows with the
// local time stamp, values with a full stop and the channel's decimals, "???" where a channel has
// no value. Opening the result gives the same values and time stamps (to the second).
// write receives pieces of the file in order and returns false to stop (a failed write).
bool ExportCsv(const CSampleStore& store, const std::vector<int>& channels, int64_t t0Ms,
               int64_t t1Ms, char separator, const std::function<bool(std::string_view)>& write);
