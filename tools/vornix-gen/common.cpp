// The data every track and screen shares: ground textures, particles, lens flares, sprites,
// flaggers, the default sky, the object models, the HUD art, the title screen and the font.
#include "gen.h"

// The default daylight sky; its sun matches the default track's lighting.
static SkyStyle day_sky() {
    SkyStyle s = {{0.62f, 0.34f, -0.68f},
                  rgb(0.18f, 0.38f, 0.75f),
                  rgb(0.62f, 0.75f, 0.90f),
                  rgb(0.78f, 0.84f, 0.90f),
                  rgb(1.0f, 0.95f, 0.85f),
                  rgb(0.30f, 0.35f, 0.22f),
                  0.5f,
                  99};
    return s;
}

static int write_sprites(const std::string& out) {
    const std::string dir = out + "sprites/";
    return write_canvas_png(dir + "pine.png", paint_tree(0, 128, 256, 11), 4) &&
           write_canvas_png(dir + "broadleaf.png", paint_tree(1, 128, 256, 12), 4) &&
           write_canvas_png(dir + "palm.png", paint_tree(2, 128, 256, 13), 4) &&
           write_canvas_png(dir + "bush.png", paint_bush(128, 64, 14), 4) &&
           write_canvas_png(dir + "banner_vornix.png",
                            paint_banner("VORNIX", rgb(0.95f, 0.5f, 0.08f), rgb(1, 1, 1), 256, 64),
                            4) &&
           write_canvas_png(
               dir + "banner_race.png",
               paint_banner("MOTOCROSS", rgb(0.1f, 0.25f, 0.6f), rgb(1, 0.9f, 0.2f), 256, 64), 4) &&
           write_canvas_png(dir + "arrow_left.png", paint_arrow_board(0, 128, 128), 4) &&
           write_canvas_png(dir + "arrow_right.png", paint_arrow_board(1, 128, 128), 4) &&
           write_canvas_png(dir + "crowd.png", paint_crowd(256, 64, 15), 4) &&
           write_canvas_png(dir + "ruts.png", paint_ruts(256, 64, 16), 4);
}

static int write_flaggers(const std::string& out) {
    const std::string dir = out + "flaggers/";
    Colour starter = rgb(0.95f, 0.45f, 0.1f), official = rgb(0.9f, 0.9f, 0.92f);
    Colour marshal = rgb(0.95f, 0.85f, 0.15f);
    for (int k = 1; k <= 5; k++)
        if (!write_canvas_png(dir + strf("start%d.png", k), paint_flagger(k, starter, 64, 128), 4))
            return 0;
    for (int k = 1; k <= 4; k++)
        if (!write_canvas_png(dir + strf("lap%d.png", k), paint_flagger(5 + k, official, 64, 128),
                              4))
            return 0;
    return write_canvas_png(dir + "gate.png", paint_flagger(10, marshal, 64, 128), 4) &&
           write_canvas_png(dir + "gate_warn.png", paint_flagger(11, marshal, 64, 128), 4);
}

static int write_sky(const std::string& out) {
    SkyStyle s = day_sky();
    const char* faces[5] = {"n", "e", "s", "w", "u"};
    for (int f = 0; f < 5; f++)
        if (!write_canvas_ppm(out + "sky-" + faces[f] + ".ppm", paint_sky_face(s, f, 256)))
            return 0;
    return write_canvas_ppm(out + "sky-env.ppm", paint_sky_env(s, 256));
}

int common_write(const std::string& out, const std::string& font_folder) {
    if (!font_open(font_folder)) return 0;
    int ok = 1;
    for (int k = 0; ok && k < ART_COUNT; k++)
        ok = write_canvas_png(out + "textures/" + surface_art_name((SurfaceArt)k) + ".png",
                              paint_surface((SurfaceArt)k, 256), 3);
    ok = ok && write_canvas_png(out + "roost.png", paint_roost(0, 64), 4) &&
         write_canvas_png(out + "splash.png", paint_roost(1, 64), 4) &&
         write_canvas_png(out + "flare_glow.png", paint_flare(0, 128), 4) &&
         write_canvas_png(out + "flare_ring.png", paint_flare(1, 128), 4) &&
         write_canvas_png(out + "flare_disc.png", paint_flare(2, 64), 4);
    ok = ok && write_sprites(out) && write_flaggers(out) && write_sky(out) && models_write(out);
    ok = ok && write_canvas_png(out + "tach.png", paint_tach(256), 4) &&
         write_canvas_png(out + "shifter.png", paint_shifter(128), 4) &&
         write_canvas_png(out + "pitboard.png", paint_pitboard(256, 128), 4) &&
         write_canvas_ppm(out + "title.ppm", paint_title(1024, 512));
    ok = ok && font_write_atlas(out, "font", 32, 0) && font_write_atlas(out, "font_bold", 32, 1);
    return ok;
}
