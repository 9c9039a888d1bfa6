# Run by `cmake --install`: writes the systemd user unit with the absolute path of the program's link
# in bin/, under the prefix chosen at install time (the unit cannot name a path relative to itself).
# The user's manager looks in lib/systemd/user under /usr and /usr/local only; under any other prefix
# (~/.local above all) the unit goes to the data folder, which it reads as $XDG_DATA_HOME/systemd/user.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(unit_dir lib/systemd/user)
else()
    set(unit_dir "${ZELKOR_DATADIR}/systemd/user")
endif()

# The manager splits the command line at blanks and expands "%" and "$": a path holding any of them
# would start something else.
set(ZELKOR_EXEC "${CMAKE_INSTALL_PREFIX}/${ZELKOR_BINDIR}/zelkor-scheduler")
if(ZELKOR_EXEC MATCHES "[ \t\"'\\\\%$;]")
    message(FATAL_ERROR "The prefix ${CMAKE_INSTALL_PREFIX} holds characters a systemd unit must quote")
endif()
set(unit "${prefix}/${unit_dir}/zelkor-scheduler.service")
message(STATUS "Installing: ${unit}")
configure_file("${ZELKOR_SERVICE_TEMPLATE}" "${unit}" @ONLY)
