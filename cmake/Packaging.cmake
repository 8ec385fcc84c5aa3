# The Debian package: `cpack` in the build directory makes
# mirel-player_<version>_<arch>.deb with the player, the channel service, the
# desktop files and the demo channels under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirel-player)
set(CPACK_PACKAGE_VENDOR "Mirel Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop player for live TV and network video streams")
set(CPACK_PACKAGE_DESCRIPTION
    "Mirel Player keeps your channels, each a name and a stream address, in
categories shown as tabs; double-click one and it plays in a window that shows
nothing but the video. The control panel floats in from the bottom edge and the
channel list from the top edge when the mouse comes near. libVLC does all
decoding and rendering.

The package also holds mirel-channel-service, a small HTTP service that
supplies the channel list of the player's first tab and serves a few demo
channels.")
set(MIREL_PACKAGE_MAINTAINER
    "Mirel Player maintainers <maintainers@users.noreply.c-seed-7e33466b.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${MIREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MIREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

# The libraries the programs link come from dpkg-shlibdeps. libVLC loads its
# demuxers, decoders and outputs as plug-ins at run time, so those packages are
# named here: without them it opens nothing and shows nothing.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "vlc-plugin-base, vlc-plugin-video-output")
# Channel names and the user interface in Chinese and Japanese need CJK fonts;
# Qt's own dialogs are translated by qttranslations5-l10n; libvlc-bin keeps
# libVLC's plug-in cache, without which every start loads all its plug-ins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libvlc-bin, fonts-noto-cjk, qttranslations5-l10n")

include(CPack)
