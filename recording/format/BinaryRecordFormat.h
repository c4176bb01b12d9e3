#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/InputReading.h"
#include "recording/format/RecordTime.h"

// Codes of one input for the graphing program's file. inputNumber is 1 .. 8, channel from 0.

// Sensor type code, or none for a reading that adds no entries (no sensor, TQ28, unknown).
std::optional<int> BinaryTypeCode(const InputReading& reading);
// serialNumber; the input number for a binary input.
int BinaryChannelId(const InputReading& reading, int inputNumber);
// Quantity code of a channel, -1 for a channel that does not exist.
int BinaryQuantityCode(const InputReading& reading, int channel);
// Value of a channel in its unit, 0.0 for a channel that does not exist.
double BinaryChannelValue(const InputReading& reading, int channel);
// True when the channel exists, its flag is 0 and the reading's last read completed.
bool BinaryChannelValid(const InputReading& reading, int channel);

// "type,id,quantity,value,1$" with one decimal and a full stop whatever the locale.
std::string BinaryEntry(const InputReading& reading, int inputNumber, int channel);

// The plain record text before the trailer: 14-digit time stamp, "$", then the entries of every
// input up to its first invalid channel. Channels are told apart by position, so a gap must end
// the input's entries.
std::string BinaryRecordText(const std::array<InputReading, 8>& readings, const RecordTime& time);

// 0x40, then (S mod 253) + 1 and (S mod 251) + 1, S being the byte sum of the text.
std::array<uint8_t, 3> BinaryTrailer(std::string_view text);

// Appends the trailer and negates every byte: the bytes written to the file in one call.
std::string EncodeBinaryRecord(std::string_view text);

// The encoded record for the readings at the given time.
std::string BuildBinaryRecord(const std::array<InputReading, 8>& readings, const RecordTime& time);
