# SPDX-License-Identifier: MIT
# Checks every include of the layered folders against the "May use:" line (one line) of the
# folder's README.md: `cmake -DROOT=<source dir> -P check_layering.cmake`. The line's first sentence names
# the folders a folder may include from, in backticks, and "Qt" when it may include Qt headers;
# a folder may always include its own files. Fails with one line per include that breaks a rule.
#
# -DPLANT_FOLDER=<folder> -DPLANT_INCLUDE=<path> adds one include to that folder's list, so a test
# can show that an upward include is caught.

cmake_minimum_required(VERSION 3.25)

set(layered src/files src/link src/edid src/address src/address/dialogs src/framework src/model src/ops
    src/pages src/app res tools/sim tools/edid tools/ctl)

# The folder an include names: the longest layered folder whose path, less its "src/" or
# "tools/", is the include's directory; a bare name is the including folder's own file or one of
# res/ or tools/edid/, whose headers are included without a directory.
function(owner_of include folder result)
    get_filename_component(dir "${include}" DIRECTORY)
    if(dir STREQUAL "")
        if(EXISTS "${ROOT}/${folder}/${include}")
            set(${result} "${folder}" PARENT_SCOPE)
        else()
            foreach(root IN ITEMS res tools/edid)
                if(EXISTS "${ROOT}/${root}/${include}")
                    set(${result} "${root}" PARENT_SCOPE)
                    return()
                endif()
            endforeach()
            set(${result} "" PARENT_SCOPE)
        endif()
        return()
    endif()
    foreach(candidate IN LISTS layered)
        string(REGEX REPLACE "^(src|tools)/" "" short "${candidate}")
        if(short STREQUAL dir)
            set(${result} "${candidate}" PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${result} "" PARENT_SCOPE)
endfunction()

set(failures "")
foreach(folder IN LISTS layered)
    set(readme "${ROOT}/${folder}/README.md")
    if(NOT EXISTS "${readme}")
        string(APPEND failures "${folder}: no README.md with a \"May use:\" line\n")
        continue()
    endif()
    file(STRINGS "${readme}" rule REGEX "^May use:")
    if(rule STREQUAL "")
        string(APPEND failures "${folder}/README.md: no line starting with \"May use:\"\n")
        continue()
    endif()
    list(GET rule 0 rule)
    string(REGEX REPLACE "\\.( .*)?$" "" rule "${rule}")  # the first sentence
    string(REGEX MATCHALL "`[^`]+`" allowed "${rule}")
    string(REPLACE "`" "" allowed "${allowed}")
    string(REGEX MATCH "(^|[ ,:])Qt([ ,.]|$)" mayUseQt "${rule}")

    file(GLOB sources "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" lines REGEX "^#include ")
        if(DEFINED PLANT_FOLDER AND PLANT_FOLDER STREQUAL folder AND NOT planted)
            list(APPEND lines "#include \"${PLANT_INCLUDE}\"")
            set(planted TRUE)
        endif()
        file(RELATIVE_PATH name "${ROOT}" "${source}")
        foreach(line IN LISTS lines)
            if(line MATCHES "^#include <(Q[A-Za-z]*|Qt[A-Za-z]*/[^>]*)>")
                if(NOT mayUseQt)
                    string(APPEND failures "${name}: ${line} (Qt is not among its May use)\n")
                endif()
            elseif(line MATCHES "^#include \"([^\"]+)\"")
                owner_of("${CMAKE_MATCH_1}" "${folder}" owner)
                if(owner STREQUAL "")
                    string(APPEND failures "${name}: ${line} (no layered folder holds it)\n")
                elseif(NOT owner STREQUAL folder AND NOT owner IN_LIST allowed)
                    string(APPEND failures "${name}: ${line} (${owner} is not among its May use)\n")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(NOT failures STREQUAL "")
    message(FATAL_ERROR "Includes that break the layering:\n${failures}")
endif()
message(STATUS "Layering: every include is one its folder's README allows")
