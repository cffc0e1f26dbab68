# SPDX-License-Identifier: MIT
# Per-target warnings; every target of ours calls this so that third-party code keeps its own flags.
function(krx_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wsign-conversion -Wnon-virtual-dtor)
    if(KRX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
