// The robot list: 80 robot riders numbered 20 to 99 with their personalities, bikes and
// looks, and its shuffle at every session start.
#include "platform/random.h"
#include "race/session.h"

// Robots with their own bike and wheel graphics; a texture that is not installed falls back
// to the bike's own.
#define FENWY(number, bike, stem)                                                                  \
    {                                                                                              \
        number, "fenwy", bike, "@rider_body-fenwy.png", "@rider_head-fenwy.png",                   \
            "@" stem "-fenwy.png", "@wheels-fenwy.png"                                             \
    }
#define PLAIN(number, personality, bike)                                                           \
    { number, personality, bike, "", "", "", "" }

static const RobotEntry ROBOTS[ROBOT_COUNT] = {
    // 20 to 39: "quellin" on the 125s.
    PLAIN("20", "quellin", "kx125"),
    PLAIN("21", "quellin", "kx125"),
    PLAIN("22", "quellin", "kx125"),
    PLAIN("23", "quellin", "kx125"),
    PLAIN("24", "quellin", "kx125"),
    PLAIN("25", "quellin", "yz125"),
    PLAIN("26", "quellin", "yz125"),
    PLAIN("27", "quellin", "yz125"),
    PLAIN("28", "quellin", "yz125"),
    PLAIN("29", "quellin", "yz125"),
    PLAIN("30", "quellin", "cr125"),
    PLAIN("31", "quellin", "cr125"),
    PLAIN("32", "quellin", "cr125"),
    PLAIN("33", "quellin", "cr125"),
    PLAIN("34", "quellin", "cr125"),
    PLAIN("35", "quellin", "rm125"),
    PLAIN("36", "quellin", "rm125"),
    PLAIN("37", "quellin", "rm125"),
    PLAIN("38", "quellin", "rm125"),
    PLAIN("39", "quellin", "rm125"),
    // 40 to 59: "zabo" on the 250 four-strokes.
    PLAIN("40", "zabo", "crf250"),
    PLAIN("41", "zabo", "crf250"),
    PLAIN("42", "zabo", "crf250"),
    PLAIN("43", "zabo", "crf250"),
    PLAIN("44", "zabo", "crf250"),
    PLAIN("45", "zabo", "kx250f"),
    PLAIN("46", "zabo", "kx250f"),
    PLAIN("47", "zabo", "kx250f"),
    PLAIN("48", "zabo", "kx250f"),
    PLAIN("49", "zabo", "kx250f"),
    PLAIN("50", "zabo", "rmz250"),
    PLAIN("51", "zabo", "rmz250"),
    PLAIN("52", "zabo", "rmz250"),
    PLAIN("53", "zabo", "rmz250"),
    PLAIN("54", "zabo", "rmz250"),
    PLAIN("55", "zabo", "yz250f"),
    PLAIN("56", "zabo", "yz250f"),
    PLAIN("57", "zabo", "yz250f"),
    PLAIN("58", "zabo", "yz250f"),
    PLAIN("59", "zabo", "yz250f_se(2006)"),
    // 60 to 79: "quellin" on the same 250s.
    PLAIN("60", "quellin", "crf250"),
    PLAIN("61", "quellin", "crf250"),
    PLAIN("62", "quellin", "crf250"),
    PLAIN("63", "quellin", "crf250"),
    PLAIN("64", "quellin", "crf250"),
    PLAIN("65", "quellin", "kx250f"),
    PLAIN("66", "quellin", "kx250f"),
    PLAIN("67", "quellin", "kx250f"),
    PLAIN("68", "quellin", "kx250f"),
    PLAIN("69", "quellin", "kx250f"),
    PLAIN("70", "quellin", "rmz250"),
    PLAIN("71", "quellin", "rmz250"),
    PLAIN("72", "quellin", "rmz250"),
    PLAIN("73", "quellin", "rmz250"),
    PLAIN("74", "quellin", "rmz250"),
    PLAIN("75", "quellin", "yz250f"),
    PLAIN("76", "quellin", "yz250f"),
    PLAIN("77", "quellin", "yz250f"),
    PLAIN("78", "quellin", "yz250f"),
    PLAIN("79", "quellin", "yz250f_se(2006)"),
    // 80 to 99: "fenwy", always in their own graphics.
    FENWY("80", "crf250", "crf250"),
    FENWY("81", "crf250", "crf250"),
    FENWY("82", "crf250", "crf250"),
    FENWY("83", "crf250", "crf250"),
    FENWY("84", "crf250", "crf250"),
    FENWY("85", "kx250f", "kx250f"),
    FENWY("86", "kx250f", "kx250f"),
    FENWY("87", "kx250f", "kx250f"),
    FENWY("88", "kx250f", "kx250f"),
    FENWY("89", "kx250f", "kx250f"),
    FENWY("90", "yz250f", "yz250f"),
    FENWY("91", "yz250f", "yz250f"),
    FENWY("92", "yz250f", "yz250f"),
    FENWY("93", "yz250f", "yz250f"),
    FENWY("94", "yz250f", "yz250f"),
    FENWY("95", "rmz250", "rmz250"),
    FENWY("96", "rmz250", "rmz250"),
    FENWY("97", "rmz250", "rmz250"),
    FENWY("98", "rmz250", "rmz250"),
    FENWY("99", "rmz250", "rmz250"),
};

const RobotEntry* robot_entry(int index) {
    if (index < 0 || index >= ROBOT_COUNT) return nullptr;
    return &ROBOTS[index];
}

void robot_order_shuffle(unsigned seed) {
    Session& s = g_session;
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
