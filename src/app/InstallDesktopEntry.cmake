# Run by `cmake --install`: links the executable into bin/ and writes the desktop entry with the
# absolute path of that link, both under the prefix chosen at install time.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(link "${prefix}/${ZELKOR_BINDIR}/zelkor-scheduler")
file(MAKE_DIRECTORY "${prefix}/${ZELKOR_BINDIR}")
file(RELATIVE_PATH target "${prefix}/${ZELKOR_BINDIR}" "${prefix}/${ZELKOR_APPLICATION_DIR}/zelkor-scheduler")
message(STATUS "Installing: ${link} -> ${target}")
file(CREATE_LINK "${target}" "${link}" SYMBOLIC)

# The entry names the path without DESTDIR: that is where the program will be once packaged.
set(ZELKOR_EXEC "${CMAKE_INSTALL_PREFIX}/${ZELKOR_BINDIR}/zelkor-scheduler")
if(ZELKOR_EXEC MATCHES "[ \t\"'\\\\><~|&;$*?#()`%]")
    message(FATAL_ERROR "The prefix ${CMAKE_INSTALL_PREFIX} holds characters a desktop entry must quote")
endif()
set(entry "${prefix}/${ZELKOR_DATADIR}/applications/zelkor-scheduler.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${ZELKOR_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
