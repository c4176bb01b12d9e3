#pragma once
#include <functional>

class QWidget;
class COrvexDriver;

// "Ustawienia alarmów": reads the device's alarms under a wait cursor, shows them over window,
// and writes the choice on OK. closedWhileBusy runs after each blocking device call: true when
// the window's run ended meanwhile, and the command then stops.
void RunAlarmsCommand(QWidget& window, COrvexDriver& driver,
                      const std::function<bool()>& closedWhileBusy);
