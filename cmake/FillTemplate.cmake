# SPDX-License-Identifier: GPL-3.0-or-later
# Fills a packaging template (a manual page, the Debian changelog) with the version of this build and
# writes it compressed as Debian wants it: gzip -9n, no name and no time stamp in the header, so the
# same input always gives the same bytes.
#
#   cmake -DTEMPLATE=... -DOUTPUT=file.gz -DVERSION_INFO=version-info.cmake [-DEXIT_STATUS_FROM=nura] -P ...
#
# @NURA_FULL_VERSION@, @NURA_VERSION_DATE@ and @NURA_VERSION_DATE_RFC2822@ come from VERSION_INFO.
# @NURA_EXIT_STATUS@ becomes the exit-status table that `EXIT_STATUS_FROM --help` prints, as roff, so the
# manual page lists the statuses the program itself states.

foreach(var TEMPLATE OUTPUT VERSION_INFO)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "FillTemplate.cmake needs -D${var}=...")
    endif()
endforeach()
include("${VERSION_INFO}")

set(NURA_EXIT_STATUS "")
if(DEFINED EXIT_STATUS_FROM)
    execute_process(COMMAND "${EXIT_STATUS_FROM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
    string(FIND "${help}" "Exit status:\n" start)
    if(NOT status EQUAL 0 OR start LESS 0)
        message(FATAL_ERROR "${EXIT_STATUS_FROM} --help shows no exit-status table")
    endif()
    string(SUBSTRING "${help}" ${start} -1 table)
    string(REPLACE "\n" ";" rows "${table}")
    foreach(row IN LISTS rows)
        if(row MATCHES "^  ([0-9]+) +(.+)$")
            set(code "${CMAKE_MATCH_1}")
            set(meaning "${CMAKE_MATCH_2}")
            # Backslashes and a leading dot or quote mean something to roff.
            string(REPLACE "\\" "\\e" meaning "${meaning}")
            string(REGEX REPLACE "^([.'])" "\\\\&\\1" meaning "${meaning}")
            string(APPEND NURA_EXIT_STATUS ".TP\n.B ${code}\n${meaning}\n")
        endif()
    endforeach()
    if(NURA_EXIT_STATUS STREQUAL "")
        message(FATAL_ERROR "${EXIT_STATUS_FROM} --help: the exit-status table has no rows")
    endif()
    string(REGEX REPLACE "\n$" "" NURA_EXIT_STATUS "${NURA_EXIT_STATUS}")
endif()

file(READ "${TEMPLATE}" text)
string(CONFIGURE "${text}" text @ONLY)
string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
file(WRITE "${plain}" "${text}")
execute_process(COMMAND gzip -9n -c "${plain}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "gzip failed on ${plain}")
endif()
