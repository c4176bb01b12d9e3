#include "trend/CsvExport.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "recording/format/FileText.h"
#include "trend/LocalTime.h"

namespace {

std::string Cell(const ChannelInfo& c, float v) {
    if (std::isnan(v))
        return "???";
    if (c.binary)
        return FileText(v != 0 ? "1 - włączone" : "0 - wyłączone");
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", c.decimals, static_cast<double>(v));
    return text;
}

}  // namespace

bool ExportCsv(const CSampleStore& store, const std::vector<int>& channels, int64_t t0Ms,
               int64_t t1Ms, char separator, const std::function<bool(std::string_view)>& write) {
    std::string out = "Data i Godzina";
    out += separator;
    for (int c : channels) {
        out += FileText(store.Channel(c).title);
        out += separator;
    }
    out += "\r\n";
    std::string lastStamp;
    for (std::size_t i = store.CycleAtOrAfter(t0Ms);
         i < store.CycleCount() && store.CycleTime(i) <= t1Ms; ++i) {
        std::string stamp = LocalTextStamp(store.CycleTime(i));
        // The break the store puts after a silence shares its second with the cycle before.
        if (stamp == lastStamp)
            continue;
        out += stamp;
        out += separator;
        for (int c : channels) {
            out += Cell(store.Channel(c), store.Value(c, i));
            out += separator;
        }
        out += "\r\n";
        lastStamp = std::move(stamp);
        if (out.size() > 60000) {
            if (!write(out))
                return false;
            out.clear();
        }
    }
    return write(out);
}
