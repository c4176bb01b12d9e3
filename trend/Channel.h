#pragma once
#include <string>
#include <string_view>

// One drawn line: a measured quantity of one sensor. Its key is the recording file's column title
// (model, serial, quantity, unit), prefixed with the input number when the source knows it, so a
// changed sensor or serial is a new channel and the old one simply stops.
struct ChannelInfo {
    std::string key;       // unique within one store
    std::string title;     // column title as the text file writes it (UTF-8)
    int input = 0;         // 1 .. 8, 0 when the source does not say (sensors in recorded files)
    std::string model;     // "TQ21" .. "TQ28"; empty for a binary input
    std::string serial;    // serial number in decimal; empty for a binary input
    std::string quantity;  // "Wilgotność", "Temperatura3", ... (may be empty: TQ26)
    std::string unit;      // "%", "°C", "hPa" ... without brackets (may be empty)
    int decimals = 1;      // digits after the full stop when written back
    bool binary = false;   // on/off input, drawn as steps
};

// Splits a column title "<model> <serial> <quantity> [<unit>]" or "Wejście binarne N".
// input is kept as given for sensors; a binary title carries its own input number.
ChannelInfo ChannelFromTitle(std::string_view title, int input);

// The unit's axis label: "°C", and "" for none.
std::string AxisUnit(const ChannelInfo& channel);
