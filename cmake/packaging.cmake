# SPDX-License-Identifier: MIT
# Install rules (cmake --install) and the Debian package (cpack -G DEB) of the Linux programs.
include(GNUInstallDirs)

# Two packages: velmora-jukebox (the service and the browser board, for a box with no screen)
# and velmora2000 (the board and its helpers, on top of the first).
# An install rule that names no component goes with the board.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME board)
set(VELMORA_JUKEBOX_PROGRAMS velmora-jukebox velmora-web)
set(VELMORA_BOARD_PROGRAMS velmora2000 velmora-metafile velmora-idle)

# The programs, side by side in bin: the board finds its helpers beside itself.
foreach(program ${VELMORA_JUKEBOX_PROGRAMS} ${VELMORA_BOARD_PROGRAMS})
  if(TARGET ${program})
    if(program IN_LIST VELMORA_JUKEBOX_PROGRAMS)
      set(component jukebox)
    else()
      set(component board)
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  endif()
endforeach()

set(VELMORA_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(VELMORA_DOC_JUKEBOX ${CMAKE_INSTALL_DATADIR}/doc/velmora-jukebox)
set(VELMORA_DOC_BOARD ${CMAKE_INSTALL_DATADIR}/doc/velmora2000)

# XScreenSaver's settings program looks for a mode's description in its config folder.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora2000.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config COMPONENT board)
install(FILES ${VELMORA_PACKAGING_DIR}/velmora2000.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT board)
# User units, disabled until the user enables them.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-jukebox.service
              ${VELMORA_PACKAGING_DIR}/velmora-web.service
        DESTINATION lib/systemd/user COMPONENT jukebox)
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-idle.service
        DESTINATION lib/systemd/user COMPONENT board)
# The system unit for a box with no one logged in, disabled too; its user, and its options in
# the one file an administrator edits (a conffile, kept across upgrades).
install(FILES ${VELMORA_PACKAGING_DIR}/system/velmora-jukebox.service
        DESTINATION lib/systemd/system COMPONENT jukebox)
install(FILES ${VELMORA_PACKAGING_DIR}/system/velmora-jukebox.sysusers
        DESTINATION lib/sysusers.d RENAME velmora-jukebox.conf COMPONENT jukebox)
install(FILES ${VELMORA_PACKAGING_DIR}/system/velmora-jukebox.default
        DESTINATION /etc/default RENAME velmora-jukebox COMPONENT jukebox)
# A system unit, disabled until the administrator enables it: the board on the box's own screen.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-kiosk.service
        DESTINATION lib/systemd/system COMPONENT board)
install(FILES ${VELMORA_PACKAGING_DIR}/kiosk/velmora-kiosk.sysusers
        DESTINATION lib/sysusers.d RENAME velmora-kiosk.conf COMPONENT board)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/linux.md ${CMAKE_CURRENT_SOURCE_DIR}/docs/kiosk.md
        DESTINATION ${VELMORA_DOC_BOARD} COMPONENT board)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/web.md
        DESTINATION ${VELMORA_DOC_JUKEBOX} COMPONENT jukebox)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/xscreensaver-1024x768.png
              ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/xscreensaver-preview-400x300.png
              ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/kiosk-cage-1280x720.png
        DESTINATION ${VELMORA_DOC_BOARD}/screenshots COMPONENT board)

# Manual pages and the changelog, compressed the way Debian keeps them (no name or time in the
# gzip header).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(VELMORA_PACKED ${CMAKE_CURRENT_BINARY_DIR}/packed)
configure_file(${VELMORA_PACKAGING_DIR}/changelog.Debian.in ${VELMORA_PACKED}/changelog.Debian @ONLY)
set(VELMORA_PACKED_FILES)
foreach(source docs/man/velmora2000.1 docs/man/velmora-jukebox.1 docs/man/velmora-idle.1
               docs/man/velmora-web.1 docs/man/velmora-metafile.1
               ${VELMORA_PACKED}/changelog.Debian)
  get_filename_component(name ${source} NAME)
  get_filename_component(source ${source} ABSOLUTE)
  add_custom_command(OUTPUT ${VELMORA_PACKED}/${name}.gz
                     COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${VELMORA_PACKED}/${name}.gz
                     DEPENDS ${source})
  list(APPEND VELMORA_PACKED_FILES ${VELMORA_PACKED}/${name}.gz)
endforeach()
add_custom_target(velmora_packed_docs ALL DEPENDS ${VELMORA_PACKED_FILES})
install(FILES ${VELMORA_PACKED}/velmora-jukebox.1.gz ${VELMORA_PACKED}/velmora-web.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT jukebox)
install(FILES ${VELMORA_PACKED}/velmora2000.1.gz ${VELMORA_PACKED}/velmora-idle.1.gz
              ${VELMORA_PACKED}/velmora-metafile.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT board)
# Each package its own copyright and changelog, as Debian wants them.
foreach(component jukebox board)
  string(TOUPPER ${component} upper)
  install(FILES ${VELMORA_PACKAGING_DIR}/copyright ${VELMORA_PACKED}/changelog.Debian.gz
          DESTINATION ${VELMORA_DOC_${upper}} COMPONENT ${component})
endforeach()

# The Debian packages: cpack -G DEB in the build folder (scripts/package.sh does it all).
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL jukebox board)
set(CPACK_PACKAGE_NAME velmora2000)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora2000 maintainers <maintainers@users.noreply.c-seed-5d347021.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(velmora_full_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
# The version that split the single package in two: older velmora2000 packages hold the files
# that are velmora-jukebox's now.
set(VELMORA_SPLIT_VERSION 1.1)

set(CPACK_DEBIAN_JUKEBOX_PACKAGE_NAME velmora-jukebox)
set(CPACK_DEBIAN_JUKEBOX_PACKAGE_SECTION sound)
set(CPACK_COMPONENT_JUKEBOX_DESCRIPTION "jukebox service and browser board for Velmora2000 boards
velmora-jukebox tells Velmora2000 boards, over a small text protocol on TCP,
the artist, title and album of the track a jukebox plays, its elapsed and
total time, the next track and the disc's picture. It plays built-in demo
discs or an M3U playlist, or follows an MPD server or the media players
that publish themselves through MPRIS.

velmora-web serves the board to every browser on the network. The package
needs no display: it runs on a box with no screen, as a user unit or as a
system service.")
set(CPACK_DEBIAN_JUKEBOX_PACKAGE_REPLACES "velmora2000 (<< ${VELMORA_SPLIT_VERSION})")
set(CPACK_DEBIAN_JUKEBOX_PACKAGE_BREAKS "velmora2000 (<< ${VELMORA_SPLIT_VERSION})")
# velmora-jukebox --mpris loads libcurl for covers over HTTP, from the version with every option
# it sets (CURLOPT_PROTOCOLS_STR).
set(CPACK_DEBIAN_JUKEBOX_PACKAGE_RECOMMENDS "libcurl4 (>= 7.85.0)")
set(CPACK_DEBIAN_JUKEBOX_PACKAGE_SUGGESTS "mpd, shairport-sync")
set(CPACK_DEBIAN_JUKEBOX_PACKAGE_CONTROL_EXTRA ${VELMORA_PACKAGING_DIR}/system/postinst
                                               ${VELMORA_PACKAGING_DIR}/system/postrm
                                               ${VELMORA_PACKAGING_DIR}/system/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_BOARD_PACKAGE_NAME velmora2000)
set(CPACK_DEBIAN_BOARD_PACKAGE_SECTION x11)
# CPack indents the lines and turns the empty one into " .".
set(CPACK_COMPONENT_BOARD_DESCRIPTION "now-playing board of a CD jukebox, as a screen saver
Velmora2000 turns the screen into a board that shows, in large centred text
on black, the artist, title and album of the track a jukebox plays, its
elapsed and total time, the next track and the disc's picture. It learns them
from a jukebox service over a small text protocol on TCP, and launches an
ordinary screen saver when the service stops answering.

The package holds the board (velmora2000), which also runs as an
XScreenSaver display mode, and velmora-idle, which shows the board when a
Wayland or GNOME session is idle. The service and the browser board are in
velmora-jukebox.")
# What no library pulls in: the service the board shows, and the board's font (Arial's metrics),
# which draws every text.
set(CPACK_DEBIAN_BOARD_PACKAGE_DEPENDS "velmora-jukebox (= ${velmora_full_version}), fonts-liberation")
# On Wayland the board runs on Qt's Wayland platform; names in Chinese, Japanese or Korean take
# their glyphs from the CJK font through the system's font fallback.
set(CPACK_DEBIAN_BOARD_PACKAGE_RECOMMENDS "qt6-wayland, fonts-noto-cjk")
# cage runs the board as a kiosk (velmora-kiosk.service), which few desktops want.
set(CPACK_DEBIAN_BOARD_PACKAGE_SUGGESTS "xscreensaver, cage")
set(CPACK_DEBIAN_BOARD_PACKAGE_CONTROL_EXTRA ${VELMORA_PACKAGING_DIR}/kiosk/postinst)
include(CPack)
