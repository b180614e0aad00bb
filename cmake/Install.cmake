# What `cmake --install` puts on a system, and the Debian package that `make package` builds from it.
include(GNUInstallDirs)

set(NURA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS nura RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Found by nura and the viewer as ../libexec/nura/nura-media from their own folder.
install(TARGETS nura-media RUNTIME DESTINATION libexec/nura)
if(NURA_WITH_UI)
    # Found by nura as ../libexec/nura/nura-card from its own folder.
    install(TARGETS nura-card RUNTIME DESTINATION libexec/nura)
endif()
install(FILES ${NURA_PACKAGING_DIR}/nura.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME nura)

# Manual pages are made from each program's own --help and --version, so they cannot drift from it.
find_program(HELP2MAN help2man)
set(NURA_MAN_PAGES)
if(HELP2MAN)
    set(NURA_MAN_DIR ${CMAKE_BINARY_DIR}/man)
    add_custom_command(
        OUTPUT ${NURA_MAN_DIR}/nura.1
        COMMAND ${CMAKE_COMMAND} -E make_directory ${NURA_MAN_DIR}
        COMMAND ${HELP2MAN} --no-info --section=1 --name "recordings, telemetry and settings of a dash camera card"
                --output ${NURA_MAN_DIR}/nura.1 $<TARGET_FILE:nura>
        DEPENDS nura
        COMMENT "Manual page nura(1)"
        VERBATIM)
    list(APPEND NURA_MAN_PAGES ${NURA_MAN_DIR}/nura.1)
    if(NURA_WITH_UI)
        add_custom_command(
            OUTPUT ${NURA_MAN_DIR}/nura-viewer.1
            COMMAND ${CMAKE_COMMAND} -E make_directory ${NURA_MAN_DIR}
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${HELP2MAN} --no-info --section=1 --name "play the recordings of a dash camera card"
                    --output ${NURA_MAN_DIR}/nura-viewer.1 $<TARGET_FILE:nura-viewer>
            DEPENDS nura-viewer
            COMMENT "Manual page nura-viewer(1)"
            VERBATIM)
        list(APPEND NURA_MAN_PAGES ${NURA_MAN_DIR}/nura-viewer.1)
    endif()
    add_custom_target(man ALL DEPENDS ${NURA_MAN_PAGES})
    install(FILES ${NURA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(NURA_WITH_UI)
    install(TARGETS nura-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${NURA_PACKAGING_DIR}/nura-viewer.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${NURA_PACKAGING_DIR}/org.nura.Viewer.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${NURA_PACKAGING_DIR}/icons/nura-viewer.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 48 128 256)
        install(FILES ${NURA_PACKAGING_DIR}/icons/nura-viewer-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME nura-viewer.png)
    endforeach()
endif()

# ---------------------------------------------------------------- Debian package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nura-viewer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "nura-viewer developers <nura-viewer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dash camera card viewer: dual playback, telemetry, settings")
set(CPACK_PACKAGE_DESCRIPTION
    "Plays a two-channel car dash camera's recordings from its SD card, front and rear together, with the\n"
    "G-sensor graph, GPS speed and a map; edits the camera's settings file, formats the card and sets its\n"
    "clock. The nura command-line tool does the same work for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debugging symbols stay out of the package; they make up most of the binaries of a RelWithDebInfo build.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# Libraries the programs link are found by dpkg-shlibdeps; what they load or start at run time is not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6webenginecore6-bin, vlc-plugin-base, vlc-plugin-video-output, udisks2, pkexec, dosfstools")
include(CPack)
