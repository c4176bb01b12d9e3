#include "trend/QdxCsv.h"

#include <cstdio>
#include <cstdlib>

std::string QdxCsvLine(const QdxRecord& r, const QdxEntry& e) {
    const char* s = r.stamp;
    char input[16] = "";
    if (e.type == 107)
        std::snprintf(input, sizeof input, "%d", e.id);
    char line[160];
    std::snprintf(line, sizeof line, "%.4s-%.2s-%.2s %.2s:%.2s:%.2s,%s,%d,%d,%d,%d,%s%d.%d,%d\n", s,
                  s + 4, s + 6, s + 8, s + 10, s + 12, input, e.type, e.quantity, e.id, e.channel,
                  e.tenths < 0 ? "-" : "", std::abs(e.tenths) / 10, std::abs(e.tenths) % 10,
                  e.status == 1 ? 1 : 0);
    return line;
}
