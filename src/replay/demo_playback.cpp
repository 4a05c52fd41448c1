// Reading a demo back: opening it, its riders, one frame at a time, and seeking.
#include <algorithm>
#include <cstring>

#include "data/datafile.h"
#include "platform/log.h"
#include "replay/demo.h"
#include "replay/demo_internal.h"

int demo_playing() {
    return g_demo_data.in != nullptr;
}

int demo_rider_count() {
    return g_demo_data.in ? (int)g_demo_data.header.riders.size() : 0;
}

const DemoRider* demo_rider_info(int index) {
    const DemoState& d = g_demo_data;
    if (!d.in || index < 0 || index >= (int)d.header.riders.size()) return nullptr;
    return &d.header.riders[index];
}

void demo_set_rider_slot(int index, int slot) {
    if (index >= 0 && index < 40) g_demo_data.rider_slot[index] = slot;
}

std::string demo_track() {
    return g_demo_data.in ? g_demo_data.header.track : std::string();
}

void demo_choose(const std::string& name) {
    g_demo_data.chosen = name;
}

void demo_close_playback() {
    DemoState& d = g_demo_data;
    if (d.in) data_close(d.in);
    d.in = nullptr;
    d.in_name.clear();
    d.header = DemoHeader{};
    d.frames_read = 0;
}

int demo_open(const std::string& name) {
    demo_close_playback();
    DemoState& d = g_demo_data;
    d.in_error.clear();
    // A recording still open under this name lives in its temporary file: it is put in place
    // first, so the race just recorded is the one played.
    if (demo_recording() && (d.out_name == name || d.out_name == "@" + name)) demo_record_stop();
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) {
        d.in_error = "no such file, or not a readable file";
        return 0;
    }
    DemoHeader h;
    if (!demo_read_header(f, &h)) {
        log_printf("Bad demo file %s\n", name.c_str());
        d.in_error = "not a demo file";
        data_close(f);
        return 0;
    }
    d.in = f;
    d.in_name = name;
    d.header = std::move(h);
    d.record_size = d.header.version == 4 ? DEMO_RECORD_V4 : DEMO_RECORD_V5;
    d.frames_start = f->position;
    d.frames_read = 0;
    for (int& s : d.rider_slot) s = -1;
    return 1;
}

int demo_open_chosen() {
    std::string name = g_demo_data.chosen.empty() ? DEMO_DEFAULT : g_demo_data.chosen;
    if (demo_open(name)) return 1;
    if (name[0] == '@') return 0;
    // The file found is what the message is about, under whichever name it was found.
    std::string first = g_demo_data.in_error;
    if (demo_open("@" + name)) return 1;
    if (first != g_demo_data.in_error && g_demo_data.in_error != "not a demo file")
        g_demo_data.in_error = first;
    return 0;
}

int demo_read_frame(uint8_t* frame) {
    DemoState& d = g_demo_data;
    if (!d.in) return 0;
    int riders = (int)d.header.riders.size();
    size_t want = (size_t)riders * d.record_size;
    size_t got = want ? data_read(d.in, frame, want) : 0;
    d.frames_read++;
    return (int)(got / d.record_size);
}

int demo_seek_frame(long long k) {
    DemoState& d = g_demo_data;
    if (!d.in) return 0;
    long long size = (long long)d.header.riders.size() * d.record_size;
    if (data_seek(d.in, d.frames_start + k * size)) {
        d.frames_read = k;
        return 1;
    }
    // Compressed demos cannot seek: start again and read up to the frame.
    std::string name = d.in_name;
    int slots[40];
    std::copy(d.rider_slot, d.rider_slot + 40, slots);
    if (!demo_open(name)) return 0;
    std::copy(slots, slots + 40, d.rider_slot);
    uint8_t frame[40 * DEMO_RECORD_V5];
    for (long long i = 0; i < k; i++) demo_read_frame(frame);
    return 1;
}

void demo_record_ground(const uint8_t* rec, float extent, float* x, float* z) {
    unsigned ux = rec[0] | rec[1] << 8 | rec[2] << 16;
    unsigned uz = rec[6] | rec[7] << 8 | rec[8] << 16;
    *x = (float)(extent * (ux / 16777215.0));
    *z = (float)(extent * (uz / 16777215.0));
}
