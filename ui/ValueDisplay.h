#pragma once

class CColorStatic;
struct InputReading;

// What one value control shows for an input's reading of the last cycle: a binary input's
// state, a measurement with its caption, or, for a reading whose last read did not complete
// (it holds old values) or an input without a sensor, "???" blinking.
void ShowReading(CColorStatic& control, const InputReading& reading);
// A device that does not answer: nothing measured to show.
void ShowNoReading(CColorStatic& control);
