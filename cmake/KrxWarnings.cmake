# SPDX-License-Identifier: MIT
# Per-target warnings; every target of ours calls this so that third-party code keeps its own flags.
function(krx_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wsign-conversion -Wnon-virtual-dtor)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        # gcc 12 optimising reports -Wrestrict inside libstdc++'s own std::string copy for plain
        # concatenations and assignments ("x" + s, s = "x"), an overlap the string cannot have;
        # gcc 13 no longer does.
        target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
    endif()
    if(KRX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
