#pragma once
#include <QColor>
#include <QString>
#include <string>

#include "trend/Channel.h"

// What the trend window calls a channel, in the list, the legend and the read-out.

QString Utf8(const std::string& s);
// "Wejście 3: TQ21 nr 1234", "TQ21 nr 1234", "Wejście binarne 5": the list's group.
QString GroupName(const ChannelInfo& c);
// "Temperatura [°C]", "stan": the list's entry under its group.
QString ChannelName(const ChannelInfo& c);
// "TQ21 1234 Temperatura", "Wejście binarne 5": which line, without the unit.
QString PointerName(const ChannelInfo& c);
// "TQ21 1234 Temperatura [°C]": the legend's entry.
QString LegendName(const ChannelInfo& c);
// "-2,5 °C", "włączone": a value as the screen shows it, with a decimal comma.
QString ValueText(const ChannelInfo& c, float v);
// The channel's line colour, the same in every run and export.
QColor LineColour(const ChannelInfo& c);
