# Run by `cmake --install`: links the executable into bin/ and Qt's Russian texts into the program's
# "translations" folder, and writes the desktop entry with the absolute path of the first link, all
# under the prefix chosen at install time.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(link "${prefix}/${ZELKOR_BINDIR}/zelkor-scheduler")
file(MAKE_DIRECTORY "${prefix}/${ZELKOR_BINDIR}")
file(RELATIVE_PATH target "${prefix}/${ZELKOR_BINDIR}" "${prefix}/${ZELKOR_APPLICATION_DIR}/zelkor-scheduler")
message(STATUS "Installing: ${link} -> ${target}")
file(CREATE_LINK "${target}" "${link}" SYMBOLIC)

# The texts stay the Qt package's own file, updated with Qt. A link within the prefix is relative, so
# that it holds in any root the files are unpacked to; one out of the prefix names the system's file.
set(translations "${ZELKOR_APPLICATION_DIR}/translations")
file(MAKE_DIRECTORY "${prefix}/${translations}")
string(FIND "${ZELKOR_QTBASE_RU}" "${CMAKE_INSTALL_PREFIX}/" at)
if(at EQUAL 0)
    file(RELATIVE_PATH target "${CMAKE_INSTALL_PREFIX}/${translations}" "${ZELKOR_QTBASE_RU}")
else()
    set(target "${ZELKOR_QTBASE_RU}")
endif()
set(link "${prefix}/${translations}/qtbase_ru.qm")
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
