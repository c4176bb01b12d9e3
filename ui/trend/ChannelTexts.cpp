#include "ui/trend/ChannelTexts.h"

#include <algorithm>

#include "text/ReadingText.h"
#include "trend/ChannelColour.h"

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString GroupName(const ChannelInfo& c) {
    if (c.binary)
        return QStringLiteral("Wejście binarne %1").arg(c.input);
    const QString sensor = QStringLiteral("%1 nr %2").arg(Utf8(c.model), Utf8(c.serial));
    return c.input > 0 ? QStringLiteral("Wejście %1: %2").arg(c.input).arg(sensor) : sensor;
}

QString ChannelName(const ChannelInfo& c) {
    if (c.binary)
        return QStringLiteral("stan");
    QString name = Utf8(c.quantity);
    if (name.isEmpty())
        name = QStringLiteral("Natężenie");
    return c.unit.empty() ? name : QStringLiteral("%1 [%2]").arg(name, Utf8(c.unit));
}

QString PointerName(const ChannelInfo& c) {
    if (c.binary)
        return QStringLiteral("Wejście binarne %1").arg(c.input);
    return QStringLiteral("%1 %2 %3")
        .arg(Utf8(c.model), Utf8(c.serial), Utf8(c.quantity))
        .trimmed();
}

QString LegendName(const ChannelInfo& c) {
    if (c.binary || c.unit.empty())
        return PointerName(c);
    return QStringLiteral("%1 [%2]").arg(PointerName(c), Utf8(c.unit));
}

QString ValueText(const ChannelInfo& c, float v) {
    if (c.binary)
        return v != 0 ? QStringLiteral("włączone") : QStringLiteral("wyłączone");
    const QString text = Utf8(DecimalCommaText(static_cast<double>(v), std::max(c.decimals, 0)));
    return c.unit.empty() ? text : text + QLatin1Char(' ') + Utf8(c.unit);
}

QColor LineColour(const ChannelInfo& c) {
    const uint32_t rgb = ChannelColour(c);
    return QColor(static_cast<int>(rgb >> 16 & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}
