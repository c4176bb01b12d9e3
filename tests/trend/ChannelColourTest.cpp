#include <gtest/gtest.h>

#include <set>

#include "trend/ChannelColour.h"

namespace {

TEST(ChannelColour, StableRelatedAndReadable) {
    const ChannelInfo t1 = ChannelFromTitle("TQ21 101 Temperatura [°C]", 1);
    const ChannelInfo h1 = ChannelFromTitle("TQ21 101 Wilgotność [%]", 1);
    const ChannelInfo t2 = ChannelFromTitle("TQ21 202 Temperatura [°C]", 2);
    // Derived from the channel alone: the same in any order or run.
    EXPECT_EQ(ChannelColour(t1), ChannelColour(ChannelFromTitle("TQ21 101 Temperatura [°C]", 1)));
    EXPECT_NE(ChannelColour(t1), ChannelColour(h1));
    EXPECT_NE(ChannelColour(t1), ChannelColour(t2));
    // A file that does not name inputs still gives each sensor its own colour, every time.
    const ChannelInfo fileT = ChannelFromTitle("TQ21 101 Temperatura [°C]", 0);
    EXPECT_EQ(ChannelColour(fileT),
              ChannelColour(ChannelFromTitle("TQ21 101 Temperatura [°C]", 0)));

    std::set<uint32_t> colours;
    for (int input = 1; input <= 8; ++input) {
        for (const char* title :
             {"TQ21 5 Temperatura [°C]", "TQ21 5 Wilgotność [%]", "TQ23 5 Ciśnienie [hPa]",
              "TQ25 5 Prędkość [m/s]", "TQ25 5 Kierunek [°]", "Wejście binarne 3"}) {
            const uint32_t c = ChannelColour(ChannelFromTitle(title, input));
            EXPECT_LE(Luminance(c), 0.5) << title << " " << input;
            if (std::string(title).rfind("Wej", 0) != 0)
                colours.insert(c);
        }
    }
    EXPECT_EQ(colours.size(), 8u * 5u);  // no two lines of the eight inputs alike

    std::set<uint32_t> probes;
    for (int p = 1; p <= 8; ++p) {
        const uint32_t c =
            ChannelColour(ChannelFromTitle("TQ22 77 Temperatura" + std::to_string(p) + " [°C]", 6));
        EXPECT_LE(Luminance(c), 0.5);
        probes.insert(c);
    }
    EXPECT_EQ(probes.size(), 8u);
}

}  // namespace
