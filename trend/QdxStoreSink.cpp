#include "trend/QdxStoreSink.h"

#include <limits>
#include <string>

namespace {

const char* ModelOfType(int type) {
    switch (type) {
        case 21:
            return "TQ21";
        case 22:
            return "TQ22";
        case 19:
            return "TQ23";
        case 20:
            return "TQ24";
        case 100:
            return "TQ25";
        case 101:
            return "TQ26";
        default:
            return nullptr;
    }
}

std::string QdxTitle(const QdxEntry& e) {
    if (e.type == 107)
        return "Wejście binarne " + std::to_string(e.id);
    const char* model = ModelOfType(e.type);
    std::string title = (model != nullptr ? std::string(model) : "typ " + std::to_string(e.type)) +
                        " " + std::to_string(e.id) + " ";
    switch (e.quantity) {
        case 26:
            return title + "Wilgotność [%]";
        case 25:
            return title +
                   (e.type == 22 ? "Temperatura" + std::to_string(e.channel + 1)
                                 : std::string("Temperatura")) +
                   " [°C]";
        case 27:
            return title + (e.type == 20 ? "Ciśnienie [hPa/Pa]" : "Ciśnienie [hPa]");
        case 29:
            return title + "Prędkość [m/s]";
        case 28:
            return title + "Kierunek [°]";
        case 45:
            return title + " [W/m2]";
        case 46:
            return title + " [kLx]";
        default:
            return title + "wielkość " + std::to_string(e.quantity) + " []";
    }
}

}  // namespace

ChannelInfo QdxChannelInfo(const QdxEntry& entry) {
    ChannelInfo c = ChannelFromTitle(QdxTitle(entry), 0);
    // Channels are told apart by codes; the position keeps the probes of one sensor apart.
    c.key = std::to_string(entry.type) + "," + std::to_string(entry.id) + "," +
            std::to_string(entry.quantity) + "," + std::to_string(entry.channel);
    return c;
}

void QdxStoreSink::operator()(const QdxRecord& r) {
    auto d = [&](int at, int n) {
        int v = 0;
        for (int i = at; i < at + n; ++i)
            v = v * 10 + (r.stamp[i] - '0');
        return v;
    };
    const int64_t t = clock.ToEpochMs(d(0, 4), d(4, 2), d(6, 2), d(8, 2), d(10, 2), d(12, 2));
    if (t < 0) {
        ++unusable;
        return;
    }
    if (!store.BeginCycle(t))
        return;  // time going back: the store counts it, apart from damage
    if (lastCodes.size() < r.entries.size())
        lastCodes.resize(r.entries.size(), Known{~uint64_t{0}, -1});
    for (std::size_t i = 0; i < r.entries.size(); ++i) {
        const QdxEntry& e = r.entries[i];
        const uint64_t code =
            (static_cast<uint64_t>(e.type) << 40) | (static_cast<uint64_t>(e.id) << 20) |
            (static_cast<uint64_t>(e.quantity) << 8) | static_cast<uint64_t>(e.channel);
        // Records nearly always list the same entries in the same order as the one before.
        Known& known = lastCodes[i];
        if (known.code != code) {
            auto it = channels.find(code);
            if (it == channels.end())
                it = channels.emplace(code, store.AddChannel(QdxChannelInfo(e))).first;
            known = Known{code, it->second};
        }
        store.Put(known.channel, e.status == 1 ? static_cast<float>(e.tenths) / 10.0f
                                               : std::numeric_limits<float>::quiet_NaN());
    }
    store.EndCycle();
}
