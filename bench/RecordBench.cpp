// Cost of one record appended to the recording files on a disk folder: the real append (one
// write call and fdatasync) next to a plain write of the same bytes to the same kind of file,
// so that the price of the sync shows as a ratio.
//   orvex_record_bench [benchmark options] [folder, default: the current folder]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>

#include "recording/RecordingFile.h"
#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/FileText.h"
#include "recording/format/TextRecordFormat.h"
#include "tests/support/MakeReading.h"

namespace {

std::filesystem::path folder = ".";

// Eight busy inputs, so the records are as long as they get in practice.
std::array<InputReading, 8> Readings() {
    std::array<InputReading, 8> r{};
    for (uint16_t i = 0; i < 8; i += 2) {
        r[i] = MakeReading(ModelTQ21, static_cast<uint16_t>(1000 + i), {523, -15});
        r[i + 1] = MakeReading(ModelTQ23, static_cast<uint16_t>(2000 + i), {10132, 453, 215});
    }
    return r;
}

RecordBytes Record(RecordingFileKind kind) {
    const RecordTime time{2024, 3, 7, 14, 5, 9};
    if (kind == RecordingFileKind::Binary)
        return {BuildBinaryRecord(Readings(), time), {}};
    std::array<bool, 8> all;
    all.fill(true);
    const TextRecord text = BuildTextRecord(Readings(), all, ';', true, time, "");
    const std::string header = FileText(text.header);
    return {text.bytes.substr(header.size()), header};
}

std::string FileName(RecordingFileKind kind, const char* what) {
    return (folder / (std::string("orvex-bench-") + what +
                      (kind == RecordingFileKind::Text ? ".csv" : ".qdx")))
        .string();
}

void Append(benchmark::State& st, RecordingFileKind kind) {
    const std::string path = FileName(kind, "append");
    const RecordBytes record = Record(kind);
    {
        CRecordingFile file(kind);
        if (file.Open(path).error != 0) {
            st.SkipWithError("cannot open the file");
            return;
        }
        for (auto _ : st) {
            if (!file.Append(record).written) {
                st.SkipWithError("append failed");
                break;
            }
        }
    }
    st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(record.bytes.size()));
    std::filesystem::remove(path);
}

void PlainWrite(benchmark::State& st, RecordingFileKind kind) {
    const std::string path = FileName(kind, "plain");
    const std::string bytes = Record(kind).bytes;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        st.SkipWithError("cannot open the file");
        return;
    }
    for (auto _ : st) {
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            st.SkipWithError("write failed");
            break;
        }
    }
    close(fd);
    st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(bytes.size()));
    std::filesystem::remove(path);
}

BENCHMARK_CAPTURE(Append, Text, RecordingFileKind::Text)->UseRealTime();
BENCHMARK_CAPTURE(PlainWrite, Text, RecordingFileKind::Text)->UseRealTime();
BENCHMARK_CAPTURE(Append, Binary, RecordingFileKind::Binary)->UseRealTime();
BENCHMARK_CAPTURE(PlainWrite, Binary, RecordingFileKind::Binary)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1)
        folder = argv[1];
    benchmark::AddCustomContext("folder", std::filesystem::absolute(folder).string());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
