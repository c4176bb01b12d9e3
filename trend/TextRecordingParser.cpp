#include "trend/TextRecordingParser.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "text/Cp1250.h"
#include "trend/CellValue.h"

namespace {

constexpr std::string_view kHeaderStart = "Data i Godzina";
constexpr std::size_t kStampLength = 19;  // "2024.03.07 14:05:09"

bool IsSeparator(char c) {
    return c == '\t' || c == ',' || c == ';';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsStamp(std::string_view s) {
    if (s.size() < kStampLength + 1 || !IsSeparator(s[kStampLength]))
        return false;
    static constexpr char kShape[] = "dddd.dd.dd dd:dd:dd";
    for (std::size_t i = 0; i < kStampLength; ++i) {
        if (kShape[i] == 'd' ? !IsDigit(s[i]) : s[i] != kShape[i])
            return false;
    }
    return true;
}

int Digits(std::string_view s, std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

// The common cell, "-12.34" up to its separator, read in the same pass that finds its end and
// to the same value as ParseRecordingCell gives; false (nothing taken) for anything else.
bool PlainNumber(std::string_view line, char separator, std::size_t& at, float& value,
                 int& decimals) {
    std::size_t i = at;
    const bool negative = i < line.size() && line[i] == '-';
    if (negative)
        ++i;
    int64_t mantissa = 0;
    std::size_t whole = 0;
    for (; i < line.size() && IsDigit(line[i]) && whole < 12; ++i, ++whole)
        mantissa = mantissa * 10 + (line[i] - '0');
    if (whole == 0)
        return false;
    int places = 0;
    if (i < line.size() && line[i] == '.') {
        ++i;
        for (; i < line.size() && IsDigit(line[i]) && places < 6; ++i, ++places)
            mantissa = mantissa * 10 + (line[i] - '0');
        if (places == 0)
            return false;
    }
    if (i < line.size() && line[i] != separator)
        return false;
    value = ScaledCell(mantissa, places, negative);
    decimals = places;
    at = i;
    return true;
}

}  // namespace

bool CTextRecordingParser::IsRecordingLine(std::string_view line) {
    return IsStamp(line) || (line.size() > kHeaderStart.size() &&
                             line.substr(0, kHeaderStart.size()) == kHeaderStart &&
                             IsSeparator(line[kHeaderStart.size()]));
}

std::size_t CTextRecordingParser::Feed(std::string_view data, bool atEnd) {
    // One look for NUL bytes over the whole data spares a look at every line.
    const bool anyNul = std::memchr(data.data(), 0, data.size()) != nullptr;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const void* nl = std::memchr(data.data() + pos, '\n', data.size() - pos);
        if (nl == nullptr)
            break;
        const std::size_t end = static_cast<const char*>(nl) - data.data();
        std::string_view line = data.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // A torn write on a removable medium leaves a run of NUL bytes: what stood before it is
        // lost, what follows the run may be a whole line again.
        const auto nul = anyNul ? line.rfind('\0') : std::string_view::npos;
        if (nul != std::string_view::npos) {
            Damaged();
            line.remove_prefix(nul + 1);
            if (IsRecordingLine(line))
                Line(line);
        } else {
            inNulRun = false;
            Line(line);
        }
        pos = end + 1;
    }
    if (pos < data.size() && anyNul) {
        const auto nul = data.rfind('\0');
        if (nul != std::string_view::npos && nul >= pos && !atEnd) {
            // A NUL run longer than the data at hand: given up here so it never piles up.
            Damaged();
            pos = nul + 1;
            inNulRun = true;
            return pos;
        }
    }
    if (atEnd && pos < data.size()) {
        counts.tornTail = true;
        pos = data.size();
    }
    return pos;
}

void CTextRecordingParser::Damaged() {
    // One damaged stretch, however many chunks its NUL run spans.
    if (!inNulRun)
        ++counts.badRows;
    inNulRun = false;
}

void CTextRecordingParser::Line(std::string_view line) {
    if (IsStamp(line)) {
        Row(line);
    } else if (line.size() > kHeaderStart.size() &&
               line.substr(0, kHeaderStart.size()) == kHeaderStart &&
               IsSeparator(line[kHeaderStart.size()])) {
        headerLine.assign(line);
        Header(line.substr(kHeaderStart.size() + 1), line[kHeaderStart.size()]);
    } else {
        ++counts.otherLines;
    }
}

void CTextRecordingParser::Header(std::string_view titles, char separator) {
    ++counts.headers;
    haveHeader = true;
    columns.clear();
    while (!titles.empty()) {
        const auto end = titles.find(separator);
        const std::string_view title = titles.substr(0, end);
        Column c;
        c.channel = store.AddChannel(ChannelFromTitle(cp1250::ToUtf8(title), 0));
        columns.push_back(c);
        if (end == std::string_view::npos)
            break;
        titles.remove_prefix(end + 1);
    }
}

void CTextRecordingParser::Row(std::string_view line) {
    const char separator = line[kStampLength];
    if (!haveHeader) {
        ++counts.badRows;
        return;
    }
    // All cells first, so a row that belongs to no header leaves no cycle.
    cells.clear();
    std::size_t pos = kStampLength + 1;
    while (pos < line.size()) {
        Cell cell;
        std::size_t end = pos;
        if (!PlainNumber(line, separator, end, cell.value, cell.decimals)) {
            // Cells are a few bytes long: a plain scan beats a call to memchr per cell.
            end = pos;
            while (end < line.size() && line[end] != separator)
                ++end;
            if (!ParseRecordingCell(line.substr(pos, end - pos), cell.value, cell.decimals))
                cell.decimals = -2;
        }
        cells.push_back(cell);
        pos = end + 1;
    }
    if (cells.size() != columns.size()) {
        ++counts.badRows;
        return;
    }
    const int64_t t =
        clock.ToEpochMs(Digits(line, 0, 4), Digits(line, 5, 2), Digits(line, 8, 2),
                        Digits(line, 11, 2), Digits(line, 14, 2), Digits(line, 17, 2));
    if (t < 0) {
        ++counts.badRows;
        return;
    }
    // A row whose time goes back is not damage: the store counts it apart.
    if (!store.BeginCycle(t))
        return;
    ++counts.rows;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const Cell& cell = cells[i];
        Column& column = columns[i];
        if (cell.decimals < 0) {
            ++counts.invalidCells;  // "???" or unreadable: a break in that line
            continue;
        }
        if (!column.decimalsKnown) {
            store.SetDecimals(column.channel, cell.decimals);
            column.decimalsKnown = true;
        }
        store.Put(column.channel, cell.value);
    }
    store.EndCycle();
}
