#include "trend/Channel.h"

#include <cstdlib>

namespace {

constexpr std::string_view kBinaryTitle = "Wejście binarne ";

std::string_view NextWord(std::string_view& rest) {
    const auto blank = rest.find(' ');
    const std::string_view word = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    return word;
}

}  // namespace

ChannelInfo ChannelFromTitle(std::string_view title, int input) {
    ChannelInfo c;
    c.title = std::string(title);
    c.input = input;
    if (title.substr(0, kBinaryTitle.size()) == kBinaryTitle) {
        c.binary = true;
        c.decimals = 0;
        c.input = std::atoi(std::string(title.substr(kBinaryTitle.size())).c_str());
        c.quantity = "Wejście binarne";
    } else {
        std::string_view rest = title;
        c.model = std::string(NextWord(rest));
        c.serial = std::string(NextWord(rest));
        const auto open = rest.rfind('[');
        if (open != std::string_view::npos && rest.back() == ']') {
            c.unit = std::string(rest.substr(open + 1, rest.size() - open - 2));
            rest = rest.substr(0, open);
        }
        while (!rest.empty() && rest.back() == ' ')
            rest.remove_suffix(1);
        c.quantity = std::string(rest);
    }
    c.key = (c.input > 0 && !c.binary ? std::to_string(c.input) + "|" : std::string()) + c.title;
    return c;
}

std::string AxisUnit(const ChannelInfo& channel) {
    return channel.binary ? std::string("0/1") : channel.unit;
}
