// SPDX-License-Identifier: GPL-3.0-or-later
// The baselines of the playback benchmark: bare libVLC players with no application around them,
// either decoding without pictures (the floor) or drawing into windows of their own on the X display.
//   bare_players dummy|x11 SECONDS FILE...
// Prints, per file, the pictures the engine decoded, showed and dropped as late.

#include <vlc/vlc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4 || (std::strcmp(argv[1], "dummy") != 0 && std::strcmp(argv[1], "x11") != 0)) {
        std::fprintf(stderr, "usage: bare_players dummy|x11 SECONDS FILE...\n");
        return 64;
    }
    const bool dummy = std::strcmp(argv[1], "dummy") == 0;
    const double seconds = std::atof(argv[2]);
    const char* args[] = {"--aout=adummy", "--quiet", "--no-video-title-show",
                          dummy ? "--vout=dummy" : "--vout=xcb_x11"};
    libvlc_instance_t* vlc = libvlc_new(4, args);
    if (vlc == nullptr) {
        std::fprintf(stderr, "bare_players: the engine did not start\n");
        return 69;
    }
    std::vector<libvlc_media_player_t*> players;
    std::vector<libvlc_media_t*> media;
    for (int i = 3; i < argc; ++i) {
        libvlc_media_t* m = libvlc_media_new_path(vlc, argv[i]);
        media.push_back(m);
        players.push_back(libvlc_media_player_new_from_media(m));
    }
    for (auto* p : players) {
        libvlc_media_player_play(p);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (size_t i = 0; i < players.size(); ++i) {
        libvlc_media_stats_t stats{};
        libvlc_media_get_stats(media[i], &stats);
        std::printf("pictures %s: decoded %d, late %d, shown %d\n", argv[3 + i], stats.i_decoded_video,
                    stats.i_lost_pictures, stats.i_displayed_pictures);
        libvlc_media_player_stop(players[i]);
        libvlc_media_player_release(players[i]);
        libvlc_media_release(media[i]);
    }
    libvlc_release(vlc);
    return 0;
}
