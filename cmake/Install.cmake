# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts on a system, and the Debian package that `make package` builds from it.
include(GNUInstallDirs)

set(NURA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS nura RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Found by nura and the viewer as ../libexec/nura/nura-media from their own folder.
install(TARGETS nura-media RUNTIME DESTINATION libexec/nura)
# Found by the format window as ../libexec/nura/nura-format-card from its own folder.
install(TARGETS nura-format-card RUNTIME DESTINATION libexec/nura)
if(NURA_WITH_UI)
    # Found by nura as ../libexec/nura/nura-card from its own folder.
    install(TARGETS nura-card RUNTIME DESTINATION libexec/nura)
endif()
install(FILES ${NURA_PACKAGING_DIR}/nura.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME nura)

# Manual pages (written by hand in packaging/man) and the Debian changelog, filled with this build's
# version and compressed as Debian wants them. nura(1) takes its exit-status table from `nura --help`.
set(NURA_PACKAGE_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
set(NURA_FILL_TEMPLATE ${CMAKE_SOURCE_DIR}/cmake/FillTemplate.cmake)
set(NURA_FILLED_FILES)
function(nura_fill_template template output)
    cmake_parse_arguments(FILL "" "EXIT_STATUS_FROM" "" ${ARGN})
    set(extra)
    if(FILL_EXIT_STATUS_FROM)
        set(extra -DEXIT_STATUS_FROM=$<TARGET_FILE:${FILL_EXIT_STATUS_FROM}>)
    endif()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${template} -DOUTPUT=${output} -DVERSION_INFO=${NURA_VERSION_INFO}
                ${extra} -P ${NURA_FILL_TEMPLATE}
        DEPENDS ${template} ${NURA_FILL_TEMPLATE} ${NURA_VERSION_INFO} ${FILL_EXIT_STATUS_FROM}
        VERBATIM)
    set(NURA_FILLED_FILES ${NURA_FILLED_FILES} ${output} PARENT_SCOPE)
endfunction()

set(NURA_MAN_DIR ${NURA_PACKAGE_BUILD_DIR}/man)
nura_fill_template(${NURA_PACKAGING_DIR}/man/nura.1 ${NURA_MAN_DIR}/nura.1.gz EXIT_STATUS_FROM nura)
install(FILES ${NURA_MAN_DIR}/nura.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(NURA_WITH_UI)
    nura_fill_template(${NURA_PACKAGING_DIR}/man/nura-viewer.1 ${NURA_MAN_DIR}/nura-viewer.1.gz)
    install(FILES ${NURA_MAN_DIR}/nura-viewer.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The documents a Debian package carries: the changelog, the machine-readable copyright file (with a
# paragraph for each third-party file the build bundles) and the overrides of lintian's address tags.
set(NURA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/nura-viewer)
nura_fill_template(${NURA_PACKAGING_DIR}/changelog ${NURA_PACKAGE_BUILD_DIR}/changelog.gz)
install(FILES ${NURA_PACKAGE_BUILD_DIR}/changelog.gz DESTINATION ${NURA_DOC_DIR})
add_custom_target(packaging_files ALL DEPENDS ${NURA_FILLED_FILES})
add_dependencies(packaging_files nura_version_files)

file(READ ${NURA_PACKAGING_DIR}/copyright NURA_COPYRIGHT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${NURA_PACKAGING_DIR}/copyright)
file(CONFIGURE OUTPUT ${NURA_PACKAGE_BUILD_DIR}/copyright CONTENT "${NURA_COPYRIGHT}")
install(FILES ${NURA_PACKAGE_BUILD_DIR}/copyright DESTINATION ${NURA_DOC_DIR})
install(FILES ${NURA_PACKAGING_DIR}/nura-viewer.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME nura-viewer)

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
# The version is this build's (generated/version.txt), read when cpack runs rather than when CMake
# configures, so a package made after a new commit carries that commit.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_NURA_VERSION_FILE ${NURA_VERSION_FILE})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/CPackVersion.cmake)
set(CPACK_PACKAGE_CONTACT "nura-viewer developers <nura-viewer@localhost>")
# The short description is the file's first line; the rest, in paragraphs, is the extended one.
file(READ ${NURA_PACKAGING_DIR}/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${NURA_PACKAGING_DIR}/description)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debugging symbols stay out of the package; they make up most of the binaries of a RelWithDebInfo build.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# Libraries the programs link are found by dpkg-shlibdeps; what they load or start at run time is not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6sql6-sqlite, vlc-plugin-base, vlc-plugin-video-output, udisks2, pkexec, dosfstools")
include(CPack)
