// The robot list: 80 robot riders numbered 20 to 99 with their personalities, bikes and
// looks, and its shuffle at every session start.
#include "platform/random.h"
#include "race/session.h"
#include "race/session_internal.h"

// Riding gear and helmets in the generated colours; the fenwy team also rides black bikes
// on gold wheels. A texture that is not installed falls back to the bike's own.
static const RobotEntry ROBOTS[ROBOT_COUNT] = {
    // 20 to 39: "quellin" on the 125s.
    {"20", "quellin", "kx125", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"21", "quellin", "kx125", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"22", "quellin", "kx125", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"23", "quellin", "kx125", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"24", "quellin", "kx125", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"25", "quellin", "yz125", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"26", "quellin", "yz125", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"27", "quellin", "yz125", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"28", "quellin", "yz125", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"29", "quellin", "yz125", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"30", "quellin", "cr125", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"31", "quellin", "cr125", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"32", "quellin", "cr125", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"33", "quellin", "cr125", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"34", "quellin", "cr125", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"35", "quellin", "rm125", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"36", "quellin", "rm125", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"37", "quellin", "rm125", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"38", "quellin", "rm125", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"39", "quellin", "rm125", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    // 40 to 59: "zabo" on the 250 four-strokes.
    {"40", "zabo", "crf250", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"41", "zabo", "crf250", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"42", "zabo", "crf250", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"43", "zabo", "crf250", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"44", "zabo", "crf250", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"45", "zabo", "kx250f", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"46", "zabo", "kx250f", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"47", "zabo", "kx250f", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"48", "zabo", "kx250f", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"49", "zabo", "kx250f", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"50", "zabo", "rmz250", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"51", "zabo", "rmz250", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"52", "zabo", "rmz250", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"53", "zabo", "rmz250", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"54", "zabo", "rmz250", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"55", "zabo", "yz250f", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"56", "zabo", "yz250f", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"57", "zabo", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"58", "zabo", "yz250f", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"59", "zabo", "yz250f_se(2006)", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    // 60 to 79: "quellin" on the same 250s.
    {"60", "quellin", "crf250", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"61", "quellin", "crf250", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"62", "quellin", "crf250", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"63", "quellin", "crf250", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"64", "quellin", "crf250", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"65", "quellin", "kx250f", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"66", "quellin", "kx250f", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"67", "quellin", "kx250f", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"68", "quellin", "kx250f", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"69", "quellin", "kx250f", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"70", "quellin", "rmz250", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"71", "quellin", "rmz250", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"72", "quellin", "rmz250", "@rider_body-orange.png", "@rider_head-orange.png", "", ""},
    {"73", "quellin", "rmz250", "@rider_body-white.png", "@rider_head-white.png", "", ""},
    {"74", "quellin", "rmz250", "@rider_body-blue.png", "@rider_head-blue.png", "", ""},
    {"75", "quellin", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "", ""},
    {"76", "quellin", "yz250f", "@rider_body-red.png", "@rider_head-red.png", "", ""},
    {"77", "quellin", "yz250f", "@rider_body-green.png", "@rider_head-green.png", "", ""},
    {"78", "quellin", "yz250f", "@rider_body-yellow.png", "@rider_head-yellow.png", "", ""},
    {"79", "quellin", "yz250f_se(2006)", "@rider_body-orange.png", "@rider_head-orange.png", "",
     ""},
    // 80 to 99: "fenwy", always in their own graphics.
    {"80", "fenwy", "crf250", "@rider_body-black.png", "@rider_head-black.png", "@crf250-black.png",
     "@wheels-gold.png"},
    {"81", "fenwy", "crf250", "@rider_body-black.png", "@rider_head-black.png", "@crf250-black.png",
     "@wheels-gold.png"},
    {"82", "fenwy", "crf250", "@rider_body-black.png", "@rider_head-black.png", "@crf250-black.png",
     "@wheels-gold.png"},
    {"83", "fenwy", "crf250", "@rider_body-black.png", "@rider_head-black.png", "@crf250-black.png",
     "@wheels-gold.png"},
    {"84", "fenwy", "crf250", "@rider_body-black.png", "@rider_head-black.png", "@crf250-black.png",
     "@wheels-gold.png"},
    {"85", "fenwy", "kx250f", "@rider_body-black.png", "@rider_head-black.png", "@kx250f-black.png",
     "@wheels-gold.png"},
    {"86", "fenwy", "kx250f", "@rider_body-black.png", "@rider_head-black.png", "@kx250f-black.png",
     "@wheels-gold.png"},
    {"87", "fenwy", "kx250f", "@rider_body-black.png", "@rider_head-black.png", "@kx250f-black.png",
     "@wheels-gold.png"},
    {"88", "fenwy", "kx250f", "@rider_body-black.png", "@rider_head-black.png", "@kx250f-black.png",
     "@wheels-gold.png"},
    {"89", "fenwy", "kx250f", "@rider_body-black.png", "@rider_head-black.png", "@kx250f-black.png",
     "@wheels-gold.png"},
    {"90", "fenwy", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "@yz250f-black.png",
     "@wheels-gold.png"},
    {"91", "fenwy", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "@yz250f-black.png",
     "@wheels-gold.png"},
    {"92", "fenwy", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "@yz250f-black.png",
     "@wheels-gold.png"},
    {"93", "fenwy", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "@yz250f-black.png",
     "@wheels-gold.png"},
    {"94", "fenwy", "yz250f", "@rider_body-black.png", "@rider_head-black.png", "@yz250f-black.png",
     "@wheels-gold.png"},
    {"95", "fenwy", "rmz250", "@rider_body-black.png", "@rider_head-black.png", "@rmz250-black.png",
     "@wheels-gold.png"},
    {"96", "fenwy", "rmz250", "@rider_body-black.png", "@rider_head-black.png", "@rmz250-black.png",
     "@wheels-gold.png"},
    {"97", "fenwy", "rmz250", "@rider_body-black.png", "@rider_head-black.png", "@rmz250-black.png",
     "@wheels-gold.png"},
    {"98", "fenwy", "rmz250", "@rider_body-black.png", "@rider_head-black.png", "@rmz250-black.png",
     "@wheels-gold.png"},
    {"99", "fenwy", "rmz250", "@rider_body-black.png", "@rider_head-black.png", "@rmz250-black.png",
     "@wheels-gold.png"},
};

const RobotEntry* robot_entry(int index) {
    if (index < 0 || index >= ROBOT_COUNT) return nullptr;
    return &ROBOTS[index];
}

void robot_order_shuffle(unsigned seed) {
    Session& s = g_session_data;
    if (!s.robot_order_ready) {
        for (int i = 0; i < ROBOT_COUNT; i++) s.robot_order[i] = i;
        s.robot_order_ready = 1;
    }
    random_seed(seed);
    // The partner is drawn below i, so every entry leaves its place.
    for (int i = ROBOT_COUNT - 1; i >= 1; i--) {
        int j = (int)((random_u32() >> 16) % (unsigned)i);
        int t = s.robot_order[i];
        s.robot_order[i] = s.robot_order[j];
        s.robot_order[j] = t;
    }
}
