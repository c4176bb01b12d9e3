#include "trend/RecordingReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

#include "text/FileErrorText.h"
#include "trend/BlockCheck.h"
#include "trend/RecordingPager.h"
#include "trend/RegularFile.h"

namespace {

// Each chunk read is also a block of the paged store: small enough that a zoomed view reads
// little of the file again.
constexpr std::size_t kChunk = 256 * 1024;
// Enough of the file's start to tell the formats apart.
constexpr std::size_t kProbe = 64 * 1024;
// The pyramid of a file keeps its finer levels while they fit in this; a year at 1 s with all
// eight inputs keeps buckets of a few minutes, a month every level.
constexpr std::size_t kPyramidBytes = std::size_t{256} << 20;

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

RecordingRead ReadRecordingFile(const std::string& path, const ReadControl& control) {
    RecordingRead out;
    auto file = std::make_unique<CRegularFile>();
    if (!file->Open(path, out.error))
        return out;
    const uint64_t size = file->Size();
    if (size == 0) {
        out.error = "Plik jest pusty.";
        return out;
    }

    std::vector<char> buffer(kChunk + kProbe);
    std::size_t held = 0;  // bytes carried over from the last chunk
    uint64_t done = 0;
    CSampleStore::Options options;
    options.paged = true;
    options.pyramidBytes = control.pyramidBytes > 0 ? control.pyramidBytes : kPyramidBytes;
    auto store = std::make_unique<CSampleStore>(options);
    std::vector<RecordingBlock> blocks;
    std::vector<std::string> headers;
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
        const uint64_t blockOffset = done - held;
        const int64_t got = want > 0 ? file->Read(buffer.data() + held, want) : 0;
        if (got < 0) {
            out.error = "Błąd odczytu pliku: " + DescribeReadError(file->LastError()) + ".";
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
        // Each chunk's lines or records are a block that can be read again by itself.
        RecordingBlock block;
        block.offset = blockOffset;
        if (format == RecordingFormat::Qdx) {
            block.lastTimeMs = qdxSink.LastTimeMs();
        } else {
            block.lastTimeMs = text.LastTimeMs();
            if (!text.HeaderLine().empty() &&
                (headers.empty() || headers.back() != text.HeaderLine())) {
                headers.push_back(text.HeaderLine());
            }
            block.header = static_cast<int>(headers.size()) - 1;
        }
        store->StartBlock();
        const std::size_t used =
            format == RecordingFormat::Qdx ? qdx.Feed(data, atEnd) : text.Feed(data, atEnd);
        block.check = BlockCheck(data.substr(0, used));
        blocks.push_back(block);
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
    store->SetPager(std::make_unique<CRecordingPager>(std::move(file),
                                                      format == RecordingFormat::Qdx, done,
                                                      std::move(blocks), std::move(headers)));
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
