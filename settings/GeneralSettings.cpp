#include "settings/GeneralSettings.h"

#include "link/ComPortMap.h"
#include "store/IniEx.h"

namespace {

constexpr const char* kGeneral = "GENERAL";

}  // namespace

GeneralSettings ReadGeneralSettings(const CIniEx& ini, SettingsNotes* notes) {
    const GeneralSettings d;
    GeneralSettings g;
    const int port = ini.GetInt(kGeneral, "PORT_NR", d.portNumber);
    if (port >= 1 && port <= comport::kMaxPort) {
        g.portNumber = port;
    } else if (port != 0 && notes != nullptr) {
        notes->push_back("PORT_NR=" + ini.GetText(kGeneral, "PORT_NR", "") +
                         " in [GENERAL] is not a COM port number (1-" +
                         std::to_string(comport::kMaxPort) + "): no port is chosen");
    }
    g.baudRate = ini.GetInt(kGeneral, "PORT_SPEED", d.baudRate);
    g.parity = static_cast<char>(ini.GetInt(kGeneral, "PORT_PARITY", d.parity) & 0xFF);
    g.windowRect.top = ini.GetInt(kGeneral, "WINDOW_TOP", d.windowRect.top);
    g.windowRect.bottom = ini.GetInt(kGeneral, "WINDOW_BOTTOM", d.windowRect.bottom);
    g.windowRect.left = ini.GetInt(kGeneral, "WINDOW_LEFT", d.windowRect.left);
    g.windowRect.right = ini.GetInt(kGeneral, "WINDOW_RIGHT", d.windowRect.right);
    g.alwaysOnTop = ini.GetInt(kGeneral, "TOPMOST", d.alwaysOnTop ? 1 : 0) != 0;
    g.showInfoAtStart = ini.GetInt(kGeneral, "SHOW_ADV", d.showInfoAtStart ? 1 : 0) != 0;
    return g;
}

void WriteGeneralSettings(CIniEx& ini, const GeneralSettings& g) {
    ini.SetInt(kGeneral, "PORT_NR", g.portNumber);
    ini.SetInt(kGeneral, "PORT_SPEED", g.baudRate);
    ini.SetInt(kGeneral, "PORT_PARITY", static_cast<signed char>(g.parity));
    ini.SetInt(kGeneral, "WINDOW_TOP", g.windowRect.top);
    ini.SetInt(kGeneral, "WINDOW_BOTTOM", g.windowRect.bottom);
    ini.SetInt(kGeneral, "WINDOW_LEFT", g.windowRect.left);
    ini.SetInt(kGeneral, "WINDOW_RIGHT", g.windowRect.right);
    ini.SetInt(kGeneral, "TOPMOST", g.alwaysOnTop ? 1 : 0);
    ini.SetInt(kGeneral, "SHOW_ADV", g.showInfoAtStart ? 1 : 0);
}
