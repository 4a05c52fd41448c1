// The bike and rider step: the catalogue's rest geometry, the model stems with their colours,
// every texture with its variants ("<prefix><variant>.png", which the settings' variant lists
// find), and the order in which the files are written.
#include <cstdio>
#include <memory>

#include <png.h>

#include "bikegen.h"

const Vec3 BIKE_FRAME_POS = v3(0, 1.98f, 3.6f);
const Vec3 BIKE_STEERING_POS = v3(0, 2.9f, 2.16f);
const Vec3 BIKE_FORK_LOWER_POS = v3(0, 1.77f, 1.59f);
const Vec3 BIKE_SWINGARM_POS = v3(0, 1.34f, 4.99f);
const Vec3 BIKE_SWINGARM_PIVOT = v3(0, 1.58f, 4.17f);
const Vec3 BIKE_FRONT_AXLE = v3(0, 1.09f, 1.11f);
const Vec3 BIKE_REAR_AXLE = v3(0, 1.04f, 6.0f);
const Vec3 BIKE_RIDER_POS = v3(0, 4.5f, 4.12f);
const Vec3 RIDER_NECK = v3(0, 0.808383f, -0.943369f);
const Vec3 RIDER_SHOULDER[2] = {v3(-0.556f, 0.580375f, -0.654514f),
                                v3(0.556f, 0.580375f, -0.654514f)};
const Vec3 RIDER_HIP[2] = {v3(-0.269f, -0.570887f, 0.670607f), v3(0.269f, -0.570887f, 0.670607f)};
const Vec3 RIDER_GRIP[2] = {v3(-1.097f, 1.145f, 0.753f), v3(1.097f, 1.145f, 0.753f)};
const Vec3 RIDER_PEG[2] = {v3(-0.6f, -0.557f, 0.584f), v3(0.6f, -0.557f, 0.584f)};

namespace {

const BikeStyle STYLES[] = {{"crf250", 0, 0}, {"kx250f", 0, 1}, {"rmz250", 0, 2},
                            {"yz250f", 0, 3}, {"cr125", 1, 0},  {"kx125", 1, 1},
                            {"rm125", 1, 2},  {"yz125", 1, 3},  {"125sx", 1, 4}};

// Named colours of the paint schemes and the variants.
struct Named {
    const char* name;
    Colour colour;
};
const Colour RED = {0.8f, 0.06f, 0.06f, 1}, GREEN = {0.38f, 0.76f, 0.1f, 1};
const Colour YELLOW = {0.97f, 0.8f, 0.05f, 1}, BLUE = {0.06f, 0.22f, 0.72f, 1};
const Colour ORANGE = {0.97f, 0.45f, 0.03f, 1}, BLACK = {0.09f, 0.09f, 0.1f, 1};
const Colour WHITE = {0.93f, 0.93f, 0.95f, 1};
const Named PAINT[] = {{"red", RED},       {"green", GREEN}, {"yellow", YELLOW}, {"blue", BLUE},
                       {"orange", ORANGE}, {"black", BLACK}, {"white", WHITE}};
Colour paint(const char* name) {
    for (const Named& n : PAINT)
        if (std::string(n.name) == name) return n.colour;
    return rgb(0.5f, 0.5f, 0.5f);
}

const Colour SILVER = {0.74f, 0.75f, 0.77f, 1};
const Colour GOLD = {0.82f, 0.64f, 0.28f, 1};
const Colour DARK = {0.16f, 0.16f, 0.18f, 1};

// The factory look of each bike texture.
struct BikeScheme {
    const char* texture; // file name without ".png"
    const char* plastic;
    const char* stripe;
    const char* accent;
    const char* fender;
    Colour frame, fork, chrome, spring;
    const char* variants[3];
};
const BikeScheme SCHEMES[] = {
    {"crf250", "red", "white", "black", "red", SILVER, DARK, GOLD, RED, {"blue", "black", "white"}},
    {"kx250f",
     "green",
     "black",
     "white",
     "green",
     SILVER,
     GOLD,
     GOLD,
     GREEN,
     {"blue", "black", "white"}},
    {"rmz250",
     "yellow",
     "blue",
     "black",
     "yellow",
     SILVER,
     BLUE,
     GOLD,
     YELLOW,
     {"blue", "black", "white"}},
    {"yz250f",
     "blue",
     "white",
     "black",
     "white",
     SILVER,
     BLUE,
     SILVER,
     BLUE,
     {"white", "black", "yellow"}},
    {"yz250f_se",
     "white",
     "blue",
     "black",
     "blue",
     BLUE,
     BLUE,
     GOLD,
     WHITE,
     {"blue", "black", nullptr}},
    {"cr125",
     "red",
     "white",
     "black",
     "red",
     SILVER,
     DARK,
     SILVER,
     RED,
     {"blue", "black", "white"}},
    {"kx125",
     "green",
     "black",
     "white",
     "green",
     SILVER,
     GOLD,
     GOLD,
     GREEN,
     {"blue", "black", "white"}},
    {"rm125",
     "yellow",
     "blue",
     "black",
     "yellow",
     SILVER,
     BLUE,
     SILVER,
     YELLOW,
     {"blue", "black", "white"}},
    {"yz125",
     "blue",
     "white",
     "black",
     "white",
     SILVER,
     BLUE,
     SILVER,
     BLUE,
     {"white", "black", "yellow"}},
    {"125sx",
     "orange",
     "black",
     "white",
     "orange",
     ORANGE,
     DARK,
     GOLD,
     ORANGE,
     {"blue", "black", "white"}},
};

BikeLook scheme_look(const BikeScheme& s, uint32_t seed) {
    BikeLook look;
    look.plastic = paint(s.plastic);
    look.stripe = paint(s.stripe);
    look.accent = paint(s.accent);
    look.fender = paint(s.fender);
    look.frame = s.frame;
    look.fork = s.fork;
    look.chrome = s.chrome;
    look.spring = s.spring;
    look.seat = rgb(0.12f, 0.12f, 0.13f);
    look.seed = seed;
    return look;
}

// A variant repaints the plastic and the fenders; the stripes take the factory colour unless
// that would vanish against the new plastic.
BikeLook variant_look(const BikeScheme& s, const char* variant, uint32_t seed) {
    BikeLook look = scheme_look(s, seed);
    std::string v = variant;
    look.plastic = paint(variant);
    look.fender = v == "black" ? paint("black") : paint("white");
    look.stripe = paint(s.plastic);
    if (v == "white" || v == "black")
        look.accent = paint(v == "white" ? "black" : "white");
    else
        look.stripe = paint("white");
    return look;
}

// RGB PNG written with light compression and the "sub" filter: the step writes some fifty
// textures on every build, and zlib's default effort costs several times the painting.
int write_png_canvas(const std::string& path, const Canvas& c) {
    std::vector<uint8_t> px = canvas_bytes(c, 3);
    struct Closer {
        void operator()(FILE* f) const { fclose(f); }
    };
    std::unique_ptr<FILE, Closer> f(fopen(path.c_str(), "wb"));
    if (!f) {
        fprintf(stderr, "vornix-gen: can't write %s\n", path.c_str());
        return 0;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_init_io(png, f.get());
    png_set_compression_level(png, 2);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_IHDR(png, info, (png_uint_32)c.width, (png_uint_32)c.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < c.height; y++)
        png_write_row(png, (png_const_bytep)(px.data() + (size_t)y * c.width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f.release()) == 0;
}

} // namespace

int bike_textures_write(const std::string& out) {
    uint32_t seed = 1;
    for (const BikeScheme& s : SCHEMES) {
        if (!write_png_canvas(out + s.texture + ".png", paint_bike_texture(scheme_look(s, seed))))
            return 0;
        for (const char* v : s.variants) {
            if (!v) continue;
            if (!write_png_canvas(out + s.texture + "-" + v + ".png",
                                  paint_bike_texture(variant_look(s, v, seed))))
                return 0;
        }
        seed++;
    }
    // Wheels: silver rims by default, then coloured rims and hubs.
    if (!write_png_canvas(out + "wheels.png", paint_wheel_texture(SILVER, SILVER))) return 0;
    const Named wheels[] = {
        {"black", paint("black")}, {"gold", GOLD}, {"blue", paint("blue")}, {"red", paint("red")}};
    for (const Named& w : wheels)
        if (!write_png_canvas(
                out + "wheels-" + w.name + ".png",
                paint_wheel_texture(w.colour, w.name == std::string("black") ? DARK : SILVER)))
            return 0;
    // Riding gear and helmets: the default blue and white, then one per colour.
    RiderLook gear = {paint("blue"), paint("white"), rgb(0.85f, 0.86f, 0.88f),
                      paint("blue"), paint("white"), 1};
    HeadLook helmet = {paint("white"), paint("blue"), paint("blue"), 1};
    if (!write_png_canvas(out + "rider_body.png", paint_rider_texture(gear)) ||
        !write_png_canvas(out + "rider_head.png", paint_head_texture(helmet)))
        return 0;
    const char* colours[] = {"red", "green", "yellow", "orange", "black", "white", "blue"};
    for (const char* name : colours) {
        std::string n = name;
        Colour main = paint(name);
        Colour trim = n == "white" ? paint("black") : paint("white");
        RiderLook g = {main,
                       trim,
                       n == "black" ? paint("black")
                                    : colour_mix(main, rgb(0.1f, 0.1f, 0.1f), 0.35f),
                       trim,
                       n == "white" ? paint("white") : paint("black"),
                       2};
        HeadLook h = {main, trim, n == "white" ? paint("black") : main, 2};
        if (!write_png_canvas(out + "rider_body-" + n + ".png", paint_rider_texture(g)) ||
            !write_png_canvas(out + "rider_head-" + n + ".png", paint_head_texture(h)))
            return 0;
    }
    return 1;
}

int bikes_write(const std::string& out) {
    for (const BikeStyle& s : STYLES)
        if (!bike_models_write(out, s)) return 0;
    return bike_shapes_write(out) && wheels_write(out) && rider_write(out) &&
           bike_textures_write(out) && pipeinfo_write(out);
}
