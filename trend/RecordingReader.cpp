#include "trend/RecordingReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

#include "text/FileErrorText.h"
#include "trend/RegularFile.h"

namespace {

constexpr std::size_t kChunk = 1 << 20;
// Enough of the file's start to tell the formats apart.
constexpr std::size_t kProbe = 64 * 1024;

const char* ModelOfType(int type) {
    switch (type) {
        case 21:
            return "TQ21";
        case 22:
            return "TQ22";
        case 19:
            return "TQ23";
        case 20:
            return "TQ24";
        case 100:
            return "TQ25";
        case 101:
            return "TQ26";
        default:
            return nullptr;
    }
}

std::string QdxTitle(const QdxEntry& e) {
    if (e.type == 107)
        return "Wejście binarne " + std::to_string(e.id);
    const char* model = ModelOfType(e.type);
    std::string title = (model != nullptr ? std::string(model) : "typ " + std::to_string(e.type)) +
                        " " + std::to_string(e.id) + " ";
    switch (e.quantity) {
        case 26:
            return title + "Wilgotność [%]";
        case 25:
            return title +
                   (e.type == 22 ? "Temperatura" + std::to_string(e.channel + 1)
                                 : std::string("Temperatura")) +
                   " [°C]";
        case 27:
            return title + (e.type == 20 ? "Ciśnienie [hPa/Pa]" : "Ciśnienie [hPa]");
        case 29:
            return title + "Prędkość [m/s]";
        case 28:
            return title + "Kierunek [°]";
        case 45:
            return title + " [W/m2]";
        case 46:
            return title + " [kLx]";
        default:
            return title + "wielkość " + std::to_string(e.quantity) + " []";
    }
}

// Feeds decoded records into the store; channels are looked up by their codes.
class QdxStoreSink {
public:
    explicit QdxStoreSink(CSampleStore& store) : store(store) {}

    void operator()(const QdxRecord& r) {
        auto d = [&](int at, int n) {
            int v = 0;
            for (int i = at; i < at + n; ++i)
                v = v * 10 + (r.stamp[i] - '0');
            return v;
        };
        const int64_t t = clock.ToEpochMs(d(0, 4), d(4, 2), d(6, 2), d(8, 2), d(10, 2), d(12, 2));
        if (t < 0) {
            ++unusable;
            return;
        }
        if (!store.BeginCycle(t))
            return;  // time going back: the store counts it, apart from damage
        if (lastCodes.size() < r.entries.size())
            lastCodes.resize(r.entries.size(), Known{~uint64_t{0}, -1});
        for (std::size_t i = 0; i < r.entries.size(); ++i) {
            const QdxEntry& e = r.entries[i];
            const uint64_t code =
                (static_cast<uint64_t>(e.type) << 40) | (static_cast<uint64_t>(e.id) << 20) |
                (static_cast<uint64_t>(e.quantity) << 8) | static_cast<uint64_t>(e.channel);
            // Records nearly always list the same entries in the same order as the one before.
            Known& known = lastCodes[i];
            if (known.code != code) {
                auto it = channels.find(code);
                if (it == channels.end())
                    it = channels.emplace(code, store.AddChannel(QdxChannelInfo(e))).first;
                known = Known{code, it->second};
            }
            store.Put(known.channel, e.status == 1 ? static_cast<float>(e.tenths) / 10.0f
                                                   : std::numeric_limits<float>::quiet_NaN());
        }
        store.EndCycle();
    }

    std::size_t unusable = 0;

private:
    CSampleStore& store;
    CLocalTimeCache clock;
    std::unordered_map<uint64_t, int> channels;
    struct Known {
        uint64_t code;
        int channel;
    };
    std::vector<Known> lastCodes;  // by the entry's place in the record
};

// Judged by its lines, not by stray bytes: a torn write leaves NUL runs in a text file, which
// end a line here as they do for the parser.
bool LooksLikeText(std::string_view probe) {
    std::size_t pos = 0;
    while (pos < probe.size()) {
        auto end = probe.find_first_of(std::string_view("\n\0", 2), pos);
        if (end == std::string_view::npos)
            end = probe.size();
        std::string_view line = probe.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (CTextRecordingParser::IsRecordingLine(line))
            return true;
        pos = end + 1;
    }
    return false;
}

// A .qdx file whose first records may be damaged: a whole record within the probe.
bool LooksLikeQdx(std::string_view probe) {
    for (std::size_t p = 0; p < probe.size(); ++p) {
        if (CQdxParser::StartsWithRecord(probe.substr(p)))
            return true;
    }
    return false;
}

}  // namespace

ChannelInfo QdxChannelInfo(const QdxEntry& entry) {
    ChannelInfo c = ChannelFromTitle(QdxTitle(entry), 0);
    // Channels are told apart by codes; the position keeps the probes of one sensor apart.
    c.key = std::to_string(entry.type) + "," + std::to_string(entry.id) + "," +
            std::to_string(entry.quantity) + "," + std::to_string(entry.channel);
    return c;
}

RecordingRead ReadRecordingFile(const std::string& path, const ReadControl& control) {
    RecordingRead out;
    CRegularFile file;
    if (!file.Open(path, out.error))
        return out;
    const uint64_t size = file.Size();
    if (size == 0) {
        out.error = "Plik jest pusty.";
        return out;
    }

    std::vector<char> buffer(kChunk + kProbe);
    std::size_t held = 0;  // bytes carried over from the last chunk
    uint64_t done = 0;
    auto store = std::make_unique<CSampleStore>();
    CTextRecordingParser text(*store);
    QdxStoreSink qdxSink(*store);
    CQdxParser qdx([&qdxSink](const QdxRecord& r) { qdxSink(r); });
    bool first = true;
    RecordingFormat format = RecordingFormat::Text;

    for (;;) {
        if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) {
            out.cancelled = true;
            out.error = "Wczytywanie przerwane.";
            return out;
        }
        const std::size_t want = std::min<uint64_t>(kChunk, size - done);
        const int64_t got = want > 0 ? file.Read(buffer.data() + held, want) : 0;
        if (got < 0) {
            out.error = "Błąd odczytu pliku: " + DescribeReadError(file.LastError()) + ".";
            return out;
        }
        done += static_cast<uint64_t>(got);
        // A file that shrank while being read ends where the data ends.
        const bool atEnd = done >= size || static_cast<std::size_t>(got) < want;
        const std::string_view data(buffer.data(), held + static_cast<std::size_t>(got));
        if (first) {
            first = false;
            const std::string_view probe = data.substr(0, kProbe);
            if (LooksLikeQdx(probe)) {
                format = RecordingFormat::Qdx;
            } else if (!LooksLikeText(probe)) {
                out.error =
                    "Plik nie jest zapisem pomiarów programu orvex (ani plikiem tekstowym, ani "
                    "binarnym .qdx).";
                return out;
            }
        }
        const std::size_t used =
            format == RecordingFormat::Qdx ? qdx.Feed(data, atEnd) : text.Feed(data, atEnd);
        held = data.size() - used;
        if (held > kProbe) {
            // A "line" longer than any recording line: not this format from here on.
            out.error = "Plik jest uszkodzony: zbyt długi wiersz lub rekord.";
            return out;
        }
        std::memmove(buffer.data(), buffer.data() + used, held);
        if (control.progress)
            control.progress(done, size);
        if (atEnd)
            break;
    }

    RecordingSummary& s = out.summary;
    s.format = format;
    s.bytes = done;
    if (format == RecordingFormat::Qdx) {
        const QdxCounts& c = qdx.Counts();
        s.records = c.records - qdxSink.unusable - store->RefusedCycles();
        s.badRecords = c.badRecords + qdxSink.unusable;
        s.tornTail = c.tornTail;
    } else {
        const TextCounts& c = text.Counts();
        s.records = c.rows;
        s.badRecords = c.badRows + (c.tornTail ? 1 : 0);
        s.tornTail = c.tornTail;
        s.invalidValues = c.invalidCells;
        s.comments = c.otherLines;
        s.headers = c.headers;
    }
    s.gaps = store->TimeGaps();
    s.backInTime = store->RefusedCycles();
    if (store->Empty()) {
        out.error = "W pliku nie ma żadnego odczytu pomiarów.";
        return out;
    }
    s.firstMs = store->FirstTime();
    s.lastMs = store->LastTime();
    out.store = std::move(store);
    return out;
}

std::string DescribeSummary(const RecordingSummary& s) {
    std::string text = s.format == RecordingFormat::Qdx ? "Plik binarny .qdx\n" : "Plik tekstowy\n";
    text += "Rekordy: " + std::to_string(s.records) + "\n";
    text += "Od: " + LocalTextStamp(s.firstMs) + "\n";
    text += "Do: " + LocalTextStamp(s.lastMs) + "\n";
    text += "Przerwy: " + std::to_string(s.gaps) + "\n";
    text += "Uszkodzone rekordy: " + std::to_string(s.badRecords);
    if (s.tornTail)
        text += " (w tym urwany koniec pliku)";
    text += "\n";
    if (s.backInTime > 0)
        text += "Cofnięty czas (rekordy pominięte): " + std::to_string(s.backInTime) + "\n";
    if (s.format == RecordingFormat::Text) {
        text += "Wartości błędne (\?\?\?): " + std::to_string(s.invalidValues) + "\n";
        text += "Wiersze komentarza: " + std::to_string(s.comments) + "\n";
    }
    return text;
}
