// The default points series: an outdoor championship of three rounds of two motos on the
// default tracks, scored like a real national series (25, 22, 20, 18, 16, then one point less
// per place down to 1 for 20th), the round decided on the sum of both motos.
#include <string>

#include "gen.h"

namespace {

const int POINTS[20] = {25, 22, 20, 18, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};

// 40 values: the table, then zeros.
std::string table(bool award) {
    std::string out;
    for (int i = 0; i < 40; i++) out += strf("%d ", award && i < 20 ? POINTS[i] : 0);
    return out + "\n";
}

// A moto: name, track, minutes and laps, moto points, and championship points when the moto
// ends its round.
std::string moto(const char* name, const char* track, int minutes, int laps, bool ends_round) {
    return strf("\"%s\"\n%s\n%d %d\n", name, track, minutes, laps) + table(true) +
           table(ends_round);
}

} // namespace

int series_write(const std::string& out) {
    std::string text = "\"Vornix Outdoor Nationals\"\n";
    // The series field: robots of the 250 four-stroke classes (the player makes 20 riders).
    static const int RIDERS[19] = {40, 41, 43, 45, 47, 50, 52, 55, 58, 60,
                                   62, 65, 67, 70, 73, 75, 80, 85, 90};
    text += "19 Amateur\n";
    for (int r : RIDERS) text += strf("%d ", r);
    text += "\n6\n";
    text += moto("Rabbit Hill National - Moto 1", "rabbithill", 0, 4, false);
    text += moto("Rabbit Hill National - Moto 2", "rabbithill", 0, 4, true);
    text += moto("Dune Bay National - Moto 1", "dunebay", 0, 6, false);
    text += moto("Dune Bay National - Moto 2", "dunebay", 0, 6, true);
    text += moto("Rabbit Hill Finale - Moto 1", "rabbithill", 8, 1, false);
    text += moto("Rabbit Hill Finale - Moto 2", "rabbithill", 8, 1, true);
    return write_text(out + "nationals.series", text);
}
