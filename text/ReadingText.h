#pragma once
#include <string>

#include "device/InputReading.h"

// What the main window shows for one input, in UTF-8.
struct ReadingText {
    std::string modelName;  // "TQ21" .. "TQ28", "???" for a model without presentation
    std::string serial;     // serialNumber in decimal, "???" for a model without presentation
    std::string value;      // the value line, decimal comma whatever the locale
    std::string errors;     // error phrases, each ending in a blank; empty when none
};

// Texts of a reading that is neither a binary input nor missing (the caller handles those).
ReadingText FormatReading(const InputReading& reading);

// The value control's caption: "<model> nr <serial> <errors>".
std::string ReadingCaption(const ReadingText& text);

// A number with the given digits after a decimal comma, whatever the locale: "-2,5".
std::string DecimalCommaText(double value, int decimals);
