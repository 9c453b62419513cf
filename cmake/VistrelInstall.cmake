# Install rules and the Debian package: the programs, the menu entry and its icon, manual
# pages made from the programs' own --help and --version, and the user service that fires
# timed tasks without the window.
include(GNUInstallDirs)

set(VISTREL_SYSTEMD_USER_UNIT_DIR "lib/systemd/user"
    CACHE STRING "Where the systemd user unit goes, relative to the install prefix")

set(vistrelPrograms "")
foreach(program IN ITEMS vistrel vistrel-cli vistrel-sim)
    if(TARGET ${program})
        list(APPEND vistrelPrograms ${program})
    endif()
endforeach()
install(TARGETS ${vistrelPrograms} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET vistrel)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/vistrel.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/vistrel.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The unit names the installed vistrel-cli, so its path is settled when the install runs:
# a package is installed under another prefix than the build was configured with.
if(TARGET vistrel-cli)
    set(unitFile ${CMAKE_CURRENT_BINARY_DIR}/packaging/vistrel-schedules.service)
    install(CODE "
        set(VISTREL_CLI \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vistrel-cli\")
        configure_file(\"${PROJECT_SOURCE_DIR}/packaging/vistrel-schedules.service.in\"
                       \"${unitFile}\" @ONLY)")
    install(FILES ${unitFile} DESTINATION ${VISTREL_SYSTEMD_USER_UNIT_DIR})
endif()

# Manual pages: help2man runs each program's --help and --version at build time, so a page
# never says what the program does not.
find_program(VISTREL_HELP2MAN help2man)
find_program(VISTREL_GZIP gzip)
if(VISTREL_HELP2MAN AND VISTREL_GZIP AND NOT VISTREL_FUZZ)
    set(vistrelSummary_vistrel "monitor and control the video projectors on the local network")
    set(vistrelSummary_vistrel-cli "the projector console's jobs from a shell")
    set(vistrelSummary_vistrel-sim "a fleet of simulated projectors for demonstrations and tests")
    set(manPages "")
    foreach(program IN LISTS vistrelPrograms)
        set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
        add_custom_command(
            OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${VISTREL_HELP2MAN} --no-info --no-discard-stderr
                    --name=${vistrelSummary_${program}}
                    --include=${PROJECT_SOURCE_DIR}/packaging/${program}.h2m
                    --output=${page} $<TARGET_FILE:${program}>
            COMMAND ${VISTREL_GZIP} -9nf ${page}
            DEPENDS ${program} ${PROJECT_SOURCE_DIR}/packaging/${program}.h2m
            COMMENT "Manual page of ${program} from its --help"
            VERBATIM)
        list(APPEND manPages ${page}.gz)
    endforeach()
    add_custom_target(vistrel_man ALL DEPENDS ${manPages})
    install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man or gzip not found: no manual pages (scripts/install-deps.sh "
                   "installs help2man)")
endif()

# The Debian package: `cpack -G DEB` in a build directory, or scripts/package.sh.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vistrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for a fleet of networked video projectors")
set(CPACK_PACKAGE_DESCRIPTION
    "Vistrel lists every video projector that answers on the local network,
keeps its status current and switches projectors on or off, changes their
input source, manages groups and fires timed power tasks.

The package holds the console window (vistrel), its jobs from a shell
(vistrel-cli), a projector fleet simulator (vistrel-sim) and a systemd user
service that fires timed tasks without the window.")
set(CPACK_PACKAGE_CONTACT "Vistrel developers <vistrel@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies from the binaries' own libraries (dpkg-shlibdeps), never listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The one exception: the window draws its SVG icons through Qt's image and icon plugins,
# which are loaded at run time and so are invisible to dpkg-shlibdeps.
if(TARGET vistrel)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
endif()
# setcap in the maintainer script; without it the script says how to do without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin")
set(CPACK_STRIP_FILES ON)
if(NOT CPACK_PACKAGING_INSTALL_PREFIX)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
set(vistrelMaintainerScripts "")
foreach(script IN ITEMS postinst prerm postrm)
    set(VISTREL_BINDIR "${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
    configure_file(${PROJECT_SOURCE_DIR}/packaging/${script}.in
                   ${CMAKE_CURRENT_BINARY_DIR}/packaging/${script} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND vistrelMaintainerScripts ${CMAKE_CURRENT_BINARY_DIR}/packaging/${script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${vistrelMaintainerScripts})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
