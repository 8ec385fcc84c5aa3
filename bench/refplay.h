#pragma once

// What both reference players do with libVLC: a media player for URL bound to
// the X window XID (libVLC's own input off, as in the player), playing.
#include <vlc/vlc.h>

#include <cstdint>

inline libvlc_media_player_t *playInto(libvlc_instance_t *instance, const char *url,
                                       std::uint32_t xid)
{
    libvlc_media_t *media = libvlc_media_new_location(instance, url);
    libvlc_media_player_t *player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    libvlc_video_set_mouse_input(player, 0);
    libvlc_video_set_key_input(player, 0);
    libvlc_media_player_set_xwindow(player, xid);
    libvlc_media_player_play(player);
    return player;
}
