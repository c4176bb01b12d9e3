#pragma once
#include <cstdint>

#include "trend/Channel.h"

// A channel's line colour as 0xRRGGBB, the same in every run, window and export: the hue comes
// from the input (from the sensor's model and serial number where the file does not name the
// input), the shade from the quantity or probe, so the lines of one sensor look related. Every
// colour is dark enough to read on white.
uint32_t ChannelColour(const ChannelInfo& channel);

// Relative brightness 0 .. 1 of 0xRRGGBB (sRGB weights, without the gamma curve).
double Luminance(uint32_t rgb);
