#include "ui/ValueDisplay.h"

#include "device/InputReading.h"
#include "text/ReadingText.h"
#include "ui/ColorStatic.h"

void ShowNoReading(CColorStatic& control) {
    control.SetBlinking(true);
    control.SetValueText(QStringLiteral("???"));
    control.SetCaption(QStringLiteral("Brak wejścia"));
}

void ShowReading(CColorStatic& control, const InputReading& reading) {
    if (reading.isBinary && reading.status == 0) {
        control.SetBlinking(false);
        control.SetCaption(QStringLiteral("Wejście binarne"));
        control.SetValueText(reading.binaryState ? QStringLiteral("1 - włączone")
                                                 : QStringLiteral("0 - wyłączone"));
    } else if (reading.status != 0 || reading.model == ModelNone) {
        ShowNoReading(control);
    } else {
        control.SetBlinking(false);
        const ReadingText text = FormatReading(reading);
        control.SetValueText(QString::fromStdString(text.value));
        control.SetCaption(QString::fromStdString(ReadingCaption(text)));
    }
}
