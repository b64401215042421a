# Installation and the Debian package. Included last, so that every program's target exists.
include(GNUInstallDirs)

set(PX8107_APP_ID example.orvel.px8107config)
set(PX8107_MONITOR_ID example.orvel.px8107monitor)

# One summary line per program: the NAME line of its manual page.
set(PX8107_SUMMARY_px8107-config "configure and test a PX8107 particulate-matter sensor (window)")
set(PX8107_SUMMARY_px8107-sim "simulated PX8107 sensor on a pseudo-terminal")
set(PX8107_SUMMARY_px8107ctl "read and configure a PX8107 sensor from the command line")
set(PX8107_SUMMARY_px8107-monitor "watch a PX8107 sensor's readings over time (window)")

set(PX8107_PROGRAMS)
foreach(program px8107-config px8107-sim px8107ctl px8107-monitor)
    if(TARGET ${program})
        list(APPEND PX8107_PROGRAMS ${program})
    endif()
endforeach()
install(TARGETS ${PX8107_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The rest belongs to the Linux desktop and to Debian.
if(NOT UNIX OR APPLE)
    return()
endif()

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${PX8107_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${PX8107_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/px8107.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(TARGET px8107-monitor)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/${PX8107_MONITOR_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

set(PX8107CTL_BASH_COMPLETION ${CMAKE_CURRENT_LIST_DIR}/bash-completion/px8107ctl
    CACHE FILEPATH "The bash completion of px8107ctl")
if(TARGET px8107ctl)
    install(FILES ${PX8107CTL_BASH_COMPLETION}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME px8107ctl)
endif()

# Manual pages from each command-line program's --help, made at build time; the programs are run from PATH
# so that the usage line names the program, not the build directory.
option(PX8107_MAN_PAGES "Generate manual pages with help2man" ON)
find_program(HELP2MAN_EXECUTABLE help2man)
find_program(GZIP_EXECUTABLE gzip)
if(PX8107_MAN_PAGES AND NOT PX8107_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
    if(HELP2MAN_EXECUTABLE AND GZIP_EXECUTABLE)
        set(man_dir ${CMAKE_CURRENT_BINARY_DIR}/man)
        file(MAKE_DIRECTORY ${man_dir})
        # The configuration window takes no options: its page is written by hand.
        set(window_page ${CMAKE_CURRENT_LIST_DIR}/man/px8107-config.1)
        add_custom_command(
            OUTPUT ${man_dir}/px8107-config.1.gz
            COMMAND ${GZIP_EXECUTABLE} -9nc ${window_page} > ${man_dir}/px8107-config.1.gz
            DEPENDS ${window_page}
            COMMENT "Manual page of px8107-config")
        add_custom_target(man-px8107-config ALL DEPENDS ${man_dir}/px8107-config.1.gz)
        install(FILES ${man_dir}/px8107-config.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        set(help_programs ${PX8107_PROGRAMS})
        list(REMOVE_ITEM help_programs px8107-config)
        foreach(program ${help_programs})
            set(page ${man_dir}/${program}.1)
            add_custom_command(
                OUTPUT ${page}.gz
                COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}"
                        QT_QPA_PLATFORM=offscreen
                        ${HELP2MAN_EXECUTABLE} --no-info --no-discard-stderr
                        "--name=${PX8107_SUMMARY_${program}}" --section=1
                        --output=${page} ${program}
                COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
                DEPENDS ${program}
                COMMENT "Manual page of ${program}"
                VERBATIM)
            add_custom_target(man-${program} ALL DEPENDS ${page}.gz)
            install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        endforeach()
    else()
        message(STATUS "help2man or gzip not found: no manual pages (Debian package help2man)")
    endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME px8107)
set(CPACK_PACKAGE_VENDOR "Orvel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration and test tool for the PX8107 particulate-matter sensor")
set(CPACK_PACKAGE_DESCRIPTION
"A window that opens the PX8107 sensor's serial port and reads its PM2.5,
PM10 and PM100 concentrations, queries and changes every setting, reads
self-check, temperature and humidity, switches between Modbus RTU and the
native protocol and searches for the sensor's baud rate.
Includes px8107-sim, a simulated sensor on a pseudo-terminal, for trying
the tools without one.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "PX8107 tool developers <px8107@orvel.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
