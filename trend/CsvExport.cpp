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
    // The file holds whole seconds: of cycles within one second the last with a value is kept
    // (the break the store puts after a silence shares its second with the cycle before).
    std::string pendingStamp;
    std::string pendingRow;
    bool pendingHasValue = false;
    auto flush = [&] {
        if (!pendingStamp.empty())
            out += pendingRow;
    };
    for (const CSampleStore::Span& span : store.Spans(t0Ms, t1Ms + 1)) {
        const CSampleStore& from = *span.store;
        for (std::size_t i = span.begin; i < span.end; ++i) {
            std::string stamp = LocalTextStamp(from.CycleTime(i));
            std::string row = stamp;
            row += separator;
            bool hasValue = false;
            for (int c : channels) {
                const float v = from.Value(c, i);
                hasValue = hasValue || !std::isnan(v);
                row += Cell(store.Channel(c), v);
                row += separator;
            }
            row += "\r\n";
            if (stamp == pendingStamp) {
                if (hasValue || !pendingHasValue) {
                    pendingRow = std::move(row);
                    pendingHasValue = hasValue;
                }
                continue;
            }
            flush();
            pendingStamp = std::move(stamp);
            pendingRow = std::move(row);
            pendingHasValue = hasValue;
            if (out.size() > 60000) {
                if (!write(out))
                    return false;
                out.clear();
            }
        }
    }
    flush();
    return write(out);
}
