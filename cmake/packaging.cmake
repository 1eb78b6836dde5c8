# SPDX-License-Identifier: MIT
# Install rules (cmake --install) and the Debian package (cpack -G DEB) of the Linux programs.
include(GNUInstallDirs)

# The programs, side by side in bin: the board finds its helpers beside itself.
foreach(program velmora2000 velmora-jukebox velmora-metafile velmora-idle velmora-web)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(VELMORA_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

# XScreenSaver's settings program looks for a mode's description in its config folder.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora2000.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES ${VELMORA_PACKAGING_DIR}/velmora2000.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# User units, disabled until the user enables them.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-jukebox.service
              ${VELMORA_PACKAGING_DIR}/velmora-idle.service
              ${VELMORA_PACKAGING_DIR}/velmora-web.service
        DESTINATION lib/systemd/user)
# A system unit, disabled until the administrator enables it: the board on the box's own screen.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-kiosk.service DESTINATION lib/systemd/system)
install(FILES ${VELMORA_PACKAGING_DIR}/copyright ${CMAKE_CURRENT_SOURCE_DIR}/docs/linux.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora2000)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/web.md ${CMAKE_CURRENT_SOURCE_DIR}/docs/kiosk.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora2000)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/xscreensaver-1024x768.png
              ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/xscreensaver-preview-400x300.png
              ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/kiosk-cage-1280x720.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora2000/screenshots)

# Manual pages and the changelog, compressed the way Debian keeps them (no name or time in the
# gzip header).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(VELMORA_PACKED ${CMAKE_CURRENT_BINARY_DIR}/packed)
configure_file(${VELMORA_PACKAGING_DIR}/changelog.Debian.in ${VELMORA_PACKED}/changelog.Debian @ONLY)
set(VELMORA_PACKED_FILES)
foreach(source docs/man/velmora2000.1 docs/man/velmora-jukebox.1 docs/man/velmora-idle.1
               docs/man/velmora-web.1
               ${VELMORA_PACKED}/changelog.Debian)
  get_filename_component(name ${source} NAME)
  get_filename_component(source ${source} ABSOLUTE)
  add_custom_command(OUTPUT ${VELMORA_PACKED}/${name}.gz
                     COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${VELMORA_PACKED}/${name}.gz
                     DEPENDS ${source})
  list(APPEND VELMORA_PACKED_FILES ${VELMORA_PACKED}/${name}.gz)
endforeach()
add_custom_target(velmora_packed_docs ALL DEPENDS ${VELMORA_PACKED_FILES})
install(FILES ${VELMORA_PACKED}/velmora2000.1.gz ${VELMORA_PACKED}/velmora-jukebox.1.gz
              ${VELMORA_PACKED}/velmora-idle.1.gz ${VELMORA_PACKED}/velmora-web.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELMORA_PACKED}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora2000)

# The Debian package: cpack -G DEB in the build folder (scripts/package.sh does it all).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora2000)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora2000 maintainers <maintainers@users.noreply.c-seed-5d347021.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "now-playing board of a CD jukebox, as a screen saver")
# CPack indents the lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velmora2000 turns the screen into a board that shows, in large centred text
on black, the artist, title and album of the track a jukebox plays, its
elapsed and total time, the next track and the disc's picture. It learns them
from a jukebox service over a small text protocol on TCP, and launches an
ordinary screen saver when the service stops answering.

The package holds the board (velmora2000), which also runs as an
XScreenSaver display mode, the service (velmora-jukebox), which plays
built-in demo discs, an M3U playlist, or follows an MPD server, and
velmora-idle, which shows the board when a Wayland or GNOME session is idle,
and velmora-web, which serves the board to every browser on the network.")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no library pulls in: the board's font (Arial's metrics) draws every text.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
# On Wayland the board runs on Qt's Wayland platform; names in Chinese, Japanese or Korean take
# their glyphs from the CJK font through the system's font fallback; velmora-jukebox --mpris loads
# libcurl for covers over HTTP, from the version with every option it sets (CURLOPT_PROTOCOLS_STR).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-noto-cjk, libcurl4 (>= 7.85.0)")
# cage runs the board as a kiosk (velmora-kiosk.service), which few desktops want.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver, mpd, cage")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
