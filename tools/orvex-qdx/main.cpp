// orvex-qdx: the binary recording file in words or as CSV.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "os/ConsoleTool.h"
#include "text/FileErrorText.h"
#include "trend/QdxCsv.h"
#include "trend/QdxParser.h"
#include "trend/RecordingReader.h"
#include "trend/RegularFile.h"

namespace {

constexpr const char* kUsage =
    "Użycie: orvex-qdx [--csv] PLIK\n"
    "\n"
    "Odczytuje plik binarny .qdx zapisany przez program orvex.\n"
    "\n"
    "  orvex-qdx PLIK        podsumowanie: liczba rekordów, zakres czasu, przerwy,\n"
    "                        uszkodzone rekordy\n"
    "  orvex-qdx --csv PLIK  wszystkie pomiary jako CSV na standardowe wyjście:\n"
    "                        time,input,type,quantity,identifier,channel,value,valid\n"
    "                        (input tylko dla wejść binarnych; channel to kolejna wartość\n"
    "                        tego samego czujnika w rekordzie, np. sonda TQ22)\n"
    "  orvex-qdx --help      ten opis\n"
    "\n"
    "Rekord uszkodzony lub urwany jest pomijany i liczony; odczyt trwa od następnego\n"
    "poprawnego rekordu. Kod wyjścia: 0 odczytano, 1 błąd pliku, 2 złe wywołanie.\n";

int Csv(const std::string& path) {
    CRegularFile file;
    std::string error;
    if (!file.Open(path, error)) {
        std::fprintf(stderr, "orvex-qdx: %s\n", error.c_str());
        return 1;
    }
    const uint64_t size = file.Size();
    bool writeFailed = false;
    std::fputs(kQdxCsvHeader, stdout);
    CQdxCsvFormatter csv;
    auto flush = [&] {
        const std::string_view text = csv.Text();
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            writeFailed = true;
        csv.Clear();
    };
    CQdxParser parser([&](const QdxRecord& r) {
        csv.Append(r);
        if (csv.Text().size() >= (1 << 16) - 8192)
            flush();
    });
    std::vector<char> buffer(2 << 20);
    std::size_t held = 0;
    uint64_t done = 0;
    for (;;) {
        const int64_t got = file.Read(buffer.data() + held, buffer.size() / 2);
        if (got < 0) {
            std::fprintf(stderr, "orvex-qdx: błąd odczytu: %s\n",
                         DescribeReadError(file.LastError()).c_str());
            return 1;
        }
        done += static_cast<uint64_t>(got);
        const bool atEnd = got == 0 || done >= size;
        const std::size_t n = held + static_cast<std::size_t>(got);
        const std::size_t used = parser.Feed(std::string_view(buffer.data(), n), atEnd);
        held = n - used;
        std::memmove(buffer.data(), buffer.data() + used, held);
        if (atEnd || writeFailed)
            break;
    }
    flush();
    if (std::fflush(stdout) != 0 || writeFailed) {
        std::fprintf(stderr, "orvex-qdx: nie można zapisać wyniku\n");
        return 1;
    }
    const QdxCounts& c = parser.Counts();
    if (c.records == 0 && c.badRecords > 0) {
        std::fprintf(stderr, "orvex-qdx: plik nie zawiera poprawnych rekordów .qdx\n");
        return 1;
    }
    if (c.badRecords > 0) {
        std::fprintf(stderr, "orvex-qdx: pominięto uszkodzone rekordy: %zu%s\n", c.badRecords,
                     c.tornTail ? " (w tym urwany koniec pliku)" : "");
    }
    return 0;
}

int Summary(const std::string& path) {
    const RecordingRead r = ReadRecordingFile(path);
    if (!r.error.empty()) {
        std::fprintf(stderr, "orvex-qdx: %s\n", r.error.c_str());
        return 1;
    }
    if (r.summary.format != RecordingFormat::Qdx) {
        std::fprintf(stderr, "orvex-qdx: to plik tekstowy, nie plik binarny .qdx\n");
        return 1;
    }
    std::printf("%sKanały: %zu\n", DescribeSummary(r.summary).c_str(), r.store->ChannelCount());
    for (std::size_t c = 0; c < r.store->ChannelCount(); ++c)
        std::printf("  %s\n", r.store->Channel(static_cast<int>(c)).title.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    UseByteStreams();
    const std::vector<std::string> args = ToolArguments(argc, argv);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() == 1 && args[0].rfind("--", 0) != 0)
        return Summary(args[0]);
    if (args.size() == 2 && args[0] == "--csv")
        return Csv(args[1]);
    std::fputs(kUsage, stderr);
    return 2;
}
