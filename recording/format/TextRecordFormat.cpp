#include "recording/format/TextRecordFormat.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "recording/format/FileText.h"
#include "text/Cp1250.h"

namespace {

unsigned Magnitude(int16_t raw) {
    return static_cast<unsigned>(std::abs(static_cast<int>(raw)));
}

// Builds one input's columns: every title is "<model> <serial> <quantity> <unit>".
class ColumnWriter {
public:
    // stale: the input's last read did not complete, so no value of it is current.
    ColumnWriter(InputColumns& out, char separator, std::string prefix, bool stale)
        : out_(out), separator_(separator), prefix_(std::move(prefix)), stale_(stale) {}

    void Add(std::string_view quantity, std::string_view unit, uint8_t errorFlag,
             const std::string& value) {
        AddTitled(prefix_ + std::string(quantity) + " " + std::string(unit),
                  errorFlag != 0 ? std::string("???") : value);
    }

    void AddTitled(const std::string& title, const std::string& value) {
        out_.titles += title;
        out_.titles += separator_;
        out_.values += stale_ ? std::string("???") : value;
        out_.values += separator_;
    }

private:
    InputColumns& out_;
    char separator_;
    std::string prefix_;
    bool stale_;
};

std::string Prefix(const char* model, uint16_t serial) {
    return std::string(model) + " " + std::to_string(serial) + " ";
}

std::string PlainUnsigned(int16_t raw) {
    return std::to_string(static_cast<uint16_t>(raw));
}

}  // namespace

char TextSeparator(int separatorCode) {
    switch (separatorCode) {
        case 1:
            return ',';
        case 2:
            return ';';
        default:
            return '\t';
    }
}

std::string TextTimeStamp(const RecordTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d.%02d.%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

std::string TextU1(int16_t raw) {
    const unsigned v = static_cast<uint16_t>(raw);
    return std::to_string(v / 10) + "." + std::to_string(v % 10);
}

std::string TextS1(int16_t raw) {
    const unsigned v = Magnitude(raw);
    return (raw < 0 ? "-" : "") + std::to_string(v / 10) + "." + std::to_string(v % 10);
}

std::string TextS2(int16_t raw) {
    const unsigned v = Magnitude(raw);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%02u", v % 100);
    return (raw < 0 ? "-" : "") + std::to_string(v / 100) + "." + fraction;
}

InputColumns FormatInputColumns(const InputReading& r, int inputNumber, char separator,
                                bool deviceResponding) {
    InputColumns out;
    if (!deviceResponding) {
        return out;
    }
    const uint8_t* f = r.valueFlags;
    const bool stale = r.status != 0;
    if (r.isBinary != 0) {
        ColumnWriter(out, separator, "", stale)
            .AddTitled("Wejście binarne " + std::to_string(inputNumber),
                       r.binaryState == 1 ? "1 - włączone" : "0 - wyłączone");
        return out;
    }
    switch (r.model) {
        case ModelTQ21: {
            ColumnWriter w(out, separator, Prefix("TQ21", r.serialNumber), stale);
            w.Add("Wilgotność", "[%]", f[1], TextU1(r.values[0]));
            w.Add("Temperatura", "[°C]", f[0], TextS1(r.values[1]));
            break;
        }
        case ModelTQ22: {
            ColumnWriter w(out, separator, Prefix("TQ22", r.serialNumber), stale);
            for (int p = 1; p <= 8; ++p) {
                // An absent probe has no column at all.
                if (f[p - 1] == 0) {
                    w.Add("Temperatura" + std::to_string(p), "[°C]", 0,
                          TextS1(r.probeValues[p - 1]));
                }
            }
            w.Add("Temperatura średnia", "[°C]", r.averageFlag, TextS1(r.average));
            break;
        }
        case ModelTQ23: {
            ColumnWriter w(out, separator, Prefix("TQ23", r.serialNumber), stale);
            w.Add("Wilgotność", "[%]", f[2], TextU1(r.values[1]));
            w.Add("Temperatura", "[°C]", f[1], TextS1(r.values[2]));
            w.Add("Ciśnienie", "[hPa]", f[0], TextU1(r.values[0]));
            break;
        }
        case ModelTQ24: {
            ColumnWriter w(out, separator, Prefix("TQ24", r.serialNumber), stale);
            w.Add("Ciśnienie", f[1] != 0 ? "[hPa]" : "[Pa]", f[2],
                  r.auxFlag != 0 ? TextS1(r.values[0]) : std::to_string(r.values[0]));
            break;
        }
        case ModelTQ25: {
            ColumnWriter w(out, separator, Prefix("TQ25", r.serialNumber), stale);
            w.Add("Prędkość", "[m/s]", f[1], TextU1(r.values[1]));
            w.Add("Kierunek", "[°]", f[0], PlainUnsigned(r.values[0]));
            break;
        }
        case ModelTQ26: {
            ColumnWriter w(out, separator, Prefix("TQ26", r.serialNumber), stale);
            w.Add("", f[2] != 0 ? "[kLx]" : "[W/m2]", f[1],
                  r.auxFlag != 0 ? TextU1(r.values[0]) : PlainUnsigned(r.values[0]));
            break;
        }
        case ModelTQ28: {
            ColumnWriter w(out, separator, Prefix("TQ28", r.serialNumber), stale);
            w.Add("Wilgotność", "[%]", f[2], TextU1(r.values[2]));
            w.Add("Temperatura", "[°C]", f[1], TextS2(r.values[3]));
            w.Add("Przenikalność elektryczna", "[]", r.auxFlag, TextU1(r.values[0]));
            w.Add("Konduktywność", "[mS/m]", f[0], TextU1(r.values[1]));
            break;
        }
        default:
            break;
    }
    return out;
}

TextRecord BuildTextRecord(const std::array<InputReading, 8>& readings,
                           const std::array<bool, 8>& recordInput, char separator,
                           bool deviceResponding, const RecordTime& time,
                           std::string_view lastHeader) {
    std::string header = "Data i Godzina";
    header += separator;
    std::string row = TextTimeStamp(time);
    row += separator;
    for (int i = 0; i < 8; ++i) {
        if (recordInput[i]) {
            const InputColumns columns =
                FormatInputColumns(readings[i], i + 1, separator, deviceResponding);
            header += columns.titles;
            row += columns.values;
        }
    }
    header += "\r\n";
    row += "\r\n";

    TextRecord record;
    if (header != lastHeader) {
        record.bytes = FileText(header);
    }
    record.bytes += FileText(row);
    record.header = std::move(header);
    return record;
}

std::optional<std::string> TextCommentBlock(std::string_view commentUtf8, bool appending) {
    std::string block = appending ? "\r\n" : "";
    if (!commentUtf8.empty()) {
        std::string comment;
        for (std::size_t i = 0; i < commentUtf8.size(); ++i) {
            const char c = commentUtf8[i];
            if (c == '\r' || c == '\n') {
                comment += "\r\n";
                if (c == '\r' && i + 1 < commentUtf8.size() && commentUtf8[i + 1] == '\n') {
                    ++i;
                }
            } else {
                comment += c;
            }
        }
        auto bytes = cp1250::FromUtf8(comment);
        if (!bytes) {
            return std::nullopt;
        }
        block += *bytes + "\r\n";
    }
    return block;
}
