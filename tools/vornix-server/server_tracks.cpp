// The tracks a server races on: each loaded once at start-up for its digest (what the clients
// compare with their own copy) and its lap structure (what the standings count), then freed.
#include <cstring>

#include "core/settings.h"
#include "data/model.h"
#include "data/texture.h"
#include "server.h"
#include "track/gates.h"
#include "track/track.h"
#include "track/tracklist.h"

static int load_one(const std::string& name, ServerTrack* out, std::string* why) {
    int index = tracklist_find(name.c_str());
    if (index < 0) {
        *why = "not installed";
        return 0;
    }
    if (g_track.loaded) track_free();
    g_track.name = name;
    if (!track_load()) {
        *why = "does not load";
        return 0;
    }
    bool gates = gates_present() && !g_gates.first_lap.empty() && !g_gates.normal_lap.empty();
    out->name = name;
    out->title = g_tracks.tracks[(size_t)index].title;
    memcpy(out->digest, g_track.digest, sizeof out->digest);
    out->first_lap = (int)g_gates.first_lap.size();
    out->normal_lap = (int)g_gates.normal_lap.size();
    track_free();
    // Nothing of the track is kept: a client in the same process loads its own.
    texture_new_generation();
    model_new_generation();
    texture_purge();
    model_purge();
    if (!gates) {
        *why = "has no timing gates";
        return 0;
    }
    return 1;
}

int server_load_tracks(Server* s, std::string* error) {
    g_settings.headless = 1;
    tracklist_build();
    std::vector<std::string> names = s->opt.tracks;
    if (names.empty())
        for (const TrackEntry& t : g_tracks.tracks) names.push_back(t.folder);
    s->tracks.clear();
    for (const std::string& n : names) {
        ServerTrack t;
        std::string why;
        if (load_one(n, &t, &why)) {
            s->tracks.push_back(t);
            server_say("Track %s (%s), digest %s\n", t.name.c_str(), t.title.c_str(),
                       digest_hex(t.digest).c_str());
        } else {
            server_say("Track %s left out: %s\n", n.c_str(), why.c_str());
        }
    }
    if (s->tracks.empty()) {
        *error = "no track to race on";
        return 0;
    }
    s->track = 0;
    return 1;
}
