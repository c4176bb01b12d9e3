#include "link/PortDiscovery.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <new>

namespace portdiscovery {

bool ListPorts(int& count, std::string& text, const DiscoveryRoots& roots) {
    count = 0;
    text.clear();
    try {
        auto table = std::make_unique<PortTable>();
        const bool searched = FindPorts(*table, roots);
        ProbePorts(*table, !searched, roots);
        text = PortListText(*table, count);
    } catch (const std::bad_alloc&) {
        count = 0;
        text.clear();
        return false;
    }
    return true;
}

std::string PortListText(const PortTable& table, int& count) {
    count = 0;
    std::string text;
    for (size_t i = 0; i < table.size(); ++i) {
        const PortSlot& slot = table[i];
        if (!slot.present)
            continue;
        ++count;
        text += "COM" + std::to_string(i + 1);
        if (!slot.description.empty())
            text += ":" + CutComTail(slot.description);
        text += '\n';
    }
    return text;
}

int PortNumberFromName(std::string_view name, int size) {
    if (name.size() <= 3 || !name.starts_with("COM"))
        return 0;
    std::string_view digits = name.substr(3);
    if (digits.front() < '0' || digits.front() > '9')
        return 0;
    int n = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return 0;
    return n > 0 && n < size ? n : 0;
}

std::string CutComTail(std::string_view description) {
    const size_t at = description.rfind(" (COM");
    if (at == std::string_view::npos)
        return std::string(description);
    std::string_view tail = description.substr(at + 5);
    if (tail.size() < 2 || tail.back() != ')')
        return std::string(description);
    tail.remove_suffix(1);
    const bool digits =
        std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits ? std::string(description.substr(0, at)) : std::string(description);
}

std::string EntryForLine(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::string(line);
    std::string entry(line.substr(0, colon));
    entry += " (";
    entry += line.substr(colon + 1);
    entry += ')';
    return entry;
}

std::vector<std::string> EntriesFromText(std::string_view text) {
    std::vector<std::string> entries;
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
        if (end > 0)
            entries.push_back(EntryForLine(text.substr(0, end)));
        text.remove_prefix(end + 1);
    }
    return entries;
}

}  // namespace portdiscovery
