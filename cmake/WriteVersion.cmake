# SPDX-License-Identifier: GPL-3.0-or-later
# Works out the version at build time and writes it into OUTPUT_DIR, touching a file only when its
# content changes: a build after a new commit then recompiles one small source and relinks.
#
#   cmake -DSOURCE_DIR=... -DPROJECT_VERSION=... -DOUTPUT_DIR=... -P WriteVersion.cmake
#
# In a git checkout whose top is SOURCE_DIR: PROJECT_VERSION+git<commits>.<short hash> (a Debian
# version must start with a digit, and the repository has no tags to describe from). Anywhere else
# (a source archive, or a folder that merely sits inside someone else's checkout): PROJECT_VERSION.
#
# Written: version.txt (the version alone), version-info.cmake (the version and its date for the
# package's changelog and the manual pages) and NuraVersion.cpp (the programs' copy).

foreach(var SOURCE_DIR PROJECT_VERSION OUTPUT_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "WriteVersion.cmake needs -D${var}=...")
    endif()
endforeach()

set(version "${PROJECT_VERSION}")
# The date of the first release, for builds outside a checkout.
set(date_rfc2822 "Sun, 06 Dec 2026 12:00:00 +0000")
set(date_iso "2026-12-06")

# English day and month names in the changelog's date, whatever the builder's locale.
set(ENV{LC_ALL} C)
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
    function(git_output out)
        execute_process(COMMAND ${GIT_EXECUTABLE} -C "${SOURCE_DIR}" ${ARGN}
                        OUTPUT_VARIABLE text RESULT_VARIABLE status ERROR_QUIET
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(status EQUAL 0)
            set(${out} "${text}" PARENT_SCOPE)
        else()
            set(${out} "" PARENT_SCOPE)
        endif()
    endfunction()
    git_output(top rev-parse --show-toplevel)
    file(REAL_PATH "${SOURCE_DIR}" source_real)
    if(top)
        file(REAL_PATH "${top}" top)
    endif()
    if(top STREQUAL source_real)
        git_output(count rev-list --count HEAD)
        git_output(hash rev-parse --short HEAD)
        git_output(commit_dates log -1 "--date=format:%a, %d %b %Y %H:%M:%S %z" --format=%cd%n%cs HEAD)
        if(count MATCHES "^[0-9]+$" AND hash MATCHES "^[0-9a-f]+$")
            set(version "${PROJECT_VERSION}+git${count}.${hash}")
            if(commit_dates MATCHES "^([^\n]+)\n([0-9-]+)$")
                set(date_rfc2822 "${CMAKE_MATCH_1}")
                set(date_iso "${CMAKE_MATCH_2}")
            endif()
        endif()
    endif()
endif()

function(write_if_changed path content)
    if(EXISTS "${path}")
        file(READ "${path}" old)
        if(old STREQUAL content)
            return()
        endif()
    endif()
    file(WRITE "${path}" "${content}")
endfunction()

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
write_if_changed("${OUTPUT_DIR}/version.txt" "${version}\n")
string(CONCAT info "set(NURA_FULL_VERSION \"${version}\")\n"
                   "set(NURA_VERSION_DATE_RFC2822 \"${date_rfc2822}\")\n"
                   "set(NURA_VERSION_DATE \"${date_iso}\")\n")
write_if_changed("${OUTPUT_DIR}/version-info.cmake" "${info}")
string(CONCAT source "// Written by cmake/WriteVersion.cmake at build time.\n"
                     "#include \"core/version.h\"\n\n"
                     "namespace nura {\nconst char kVersion[] = \"${version}\";\n}\n")
write_if_changed("${OUTPUT_DIR}/NuraVersion.cpp" "${source}")
