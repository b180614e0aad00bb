# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack: the package's version is the one this build wrote, the same that both programs print.
if(CPACK_NURA_VERSION_FILE AND EXISTS "${CPACK_NURA_VERSION_FILE}")
    file(STRINGS "${CPACK_NURA_VERSION_FILE}" nura_version LIMIT_COUNT 1)
    if(nura_version)
        set(CPACK_PACKAGE_VERSION "${nura_version}")
        set(CPACK_DEBIAN_PACKAGE_VERSION "${nura_version}")
    endif()
endif()
