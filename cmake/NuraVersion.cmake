# SPDX-License-Identifier: GPL-3.0-or-later
# The version as the programs, the manual pages and the package show it, worked out again at every build
# (cmake/WriteVersion.cmake). Its outputs change only when the version does, so an unchanged checkout
# rebuilds nothing and a new commit recompiles one small source.
set(NURA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(NURA_VERSION_FILE ${NURA_GENERATED_DIR}/version.txt)
set(NURA_VERSION_INFO ${NURA_GENERATED_DIR}/version-info.cmake)
add_custom_target(nura_version_files
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DPROJECT_VERSION=${PROJECT_VERSION}
            -DOUTPUT_DIR=${NURA_GENERATED_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/WriteVersion.cmake
    BYPRODUCTS ${NURA_VERSION_FILE} ${NURA_VERSION_INFO} ${NURA_GENERATED_DIR}/NuraVersion.cpp
    VERBATIM)
add_library(nura_version STATIC ${NURA_GENERATED_DIR}/NuraVersion.cpp src/core/version.h)
target_include_directories(nura_version PUBLIC src)
add_dependencies(nura_version nura_version_files)
