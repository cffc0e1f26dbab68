# SPDX-License-Identifier: MIT
# What `cmake --install` puts where, and the Debian package CPack makes of it: the four programs in
# bin, the menu entry, the icon in the hicolor theme, the AppStream data, a manual page for each
# program, and the package's copyright and changelog. Included from the top CMakeLists.txt after
# the programs' targets exist.
#
# The PNG icons are rendered from the SVG at build time (rsvg-convert) and three of the manual pages
# are made from the programs' --help (help2man), so neither can fall out of step with its source.
# Without those two tools (scripts/deps.sh installs them) the programs still build, with a warning,
# and the PNGs and those manual pages are left out.
include(GNUInstallDirs)

set(KRX_PACKAGE_MAINTAINER "KRX-VTP-SG console maintainers <maintainers@krx-vtp-sg.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(krx_linux_dir "${PROJECT_SOURCE_DIR}/res/linux")
set(krx_generated_dir "${PROJECT_BINARY_DIR}/install-files")
set(krx_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/krx-vtp-sg")

find_program(KRX_RSVG_CONVERT rsvg-convert)
find_program(KRX_HELP2MAN help2man)
find_program(KRX_GZIP gzip REQUIRED)

set(krx_programs krx-vtp-sg krx-vtp-ctl krx-vtp-edid krx-vtp-sim)
install(TARGETS ${krx_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (`cmake --install --strip`, and the package) also drops the .comment and
# .note sections, the compiler's version notes, as Debian strips its own programs.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program IN ITEMS ${krx_programs})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                    --remove-section=.note
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")

install(FILES "${krx_linux_dir}/${KRX_APP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${krx_linux_dir}/${KRX_APP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES "${PROJECT_SOURCE_DIR}/res/icon_128.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${KRX_APP_ID}.svg)
install(FILES "${krx_linux_dir}/copyright" DESTINATION ${krx_doc_dir})

set(krx_generated_files "")

# The sizes of the hicolor theme's fixed-size folders that desktops look in.
if(KRX_RSVG_CONVERT)
    foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
        set(png "${krx_generated_dir}/icons/${size}/${KRX_APP_ID}.png")
        add_custom_command(OUTPUT "${png}"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${krx_generated_dir}/icons/${size}"
            COMMAND ${KRX_RSVG_CONVERT} --width=${size} --height=${size} --output=${png}
                    "${PROJECT_SOURCE_DIR}/res/icon_128.svg"
            DEPENDS "${PROJECT_SOURCE_DIR}/res/icon_128.svg"
            COMMENT "Rendering the ${size} x ${size} application icon"
            VERBATIM)
        list(APPEND krx_generated_files "${png}")
        install(FILES "${png}"
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
else()
    message(WARNING "rsvg-convert not found: the PNG icons are neither built nor installed")
endif()

# krx_gzip(SOURCE OUTPUT): OUTPUT is SOURCE compressed as Debian keeps manual pages and changelogs
# (best compression, no name or time stamp, so the bytes depend on the content only).
function(krx_gzip source output)
    add_custom_command(OUTPUT "${output}"
        COMMAND ${KRX_GZIP} -9 -n -c "${source}" > "${output}"
        DEPENDS "${source}"
        VERBATIM)
endfunction()

set(krx_man_dir "${krx_generated_dir}/man")
configure_file("${krx_linux_dir}/krx-vtp-sg.1.in" "${krx_man_dir}/krx-vtp-sg.1" @ONLY)
set(krx_man_pages krx-vtp-sg)
if(KRX_HELP2MAN)
    foreach(program IN ITEMS krx-vtp-ctl krx-vtp-edid krx-vtp-sim)
        add_custom_command(OUTPUT "${krx_man_dir}/${program}.1"
            COMMAND ${KRX_HELP2MAN} --no-info --no-discard-stderr
                    --version-string=${PROJECT_VERSION}
                    "--include=${krx_linux_dir}/${program}.h2m"
                    "--output=${krx_man_dir}/${program}.1" $<TARGET_FILE:${program}>
            DEPENDS ${program} "${krx_linux_dir}/${program}.h2m"
            COMMENT "Making the manual page of ${program} from its --help"
            VERBATIM)
        list(APPEND krx_man_pages ${program})
    endforeach()
else()
    message(WARNING "help2man not found: the tools' manual pages are neither built nor installed")
endif()
foreach(page IN LISTS krx_man_pages)
    krx_gzip("${krx_man_dir}/${page}.1" "${krx_man_dir}/${page}.1.gz")
    list(APPEND krx_generated_files "${krx_man_dir}/${page}.1.gz")
    install(FILES "${krx_man_dir}/${page}.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# A package whose version has no Debian revision is native: its changelog is changelog.gz.
krx_gzip("${krx_linux_dir}/changelog" "${krx_generated_dir}/changelog.gz")
list(APPEND krx_generated_files "${krx_generated_dir}/changelog.gz")
install(FILES "${krx_generated_dir}/changelog.gz" DESTINATION ${krx_doc_dir})

add_custom_target(krx_install_files ALL DEPENDS ${krx_generated_files})

# The Debian package. Its library dependencies come from dpkg-shlibdeps; the SVG support Qt loads
# as a plug-in at run time (the icons) is not linked, so it is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME krx-vtp-sg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KRX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console of the KRX-VTP HDMI 2.0 test-signal generator")
# The summary above is the synopsis line; this is the extended description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The KRX-VTP generator sits on an RS-232 line (115200 baud, 8N1) that several
generators may share. From the console an operator finds the generator, sets
the video timing, test pattern, link and audio options it outputs, reads its
whole state back, edits custom timings, reads and decodes the EDID of the
attached display, saves and opens EDID files, and keeps a book of device
addresses.
.
The package also holds krx-vtp-ctl, which drives the generator from scripts
and test benches, krx-vtp-edid, which prints the console's EDID report of EDID
files, and krx-vtp-sim, a simulated generator on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
