# A Qt Test program of several test classes from one list. Each class `Name` is defined in Name.cpp with
# `QObject* MakeName()`; the list makes the program's main (which registers every class) and one CTest
# test per class named PREFIX.Name, so that a class cannot be built and registered without being run,
# nor run without being registered. A *Test.cpp beside the list that it leaves out stops the configure.
function(zelkor_qt_test_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "PREFIX" "CLASSES;SOURCES")
    file(GLOB class_files CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
    foreach(class_file IN LISTS class_files)
        string(REGEX REPLACE "\\.cpp$" "" test_class ${class_file})
        if(NOT test_class IN_LIST arg_CLASSES)
            message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${class_file} is not among the CLASSES of "
                "${target}: add ${test_class} there, or the class never runs")
        endif()
    endforeach()

    set(declarations "")
    set(factories "")
    set(class_sources "")
    foreach(test_class IN LISTS arg_CLASSES)
        string(APPEND declarations "QObject* Make${test_class}();\n")
        list(APPEND factories "Make${test_class}")
        list(APPEND class_sources ${test_class}.cpp)
    endforeach()
    list(JOIN factories ", " factories)
    set(main ${CMAKE_CURRENT_BINARY_DIR}/${target}_main.cpp)
    file(CONFIGURE OUTPUT ${main} @ONLY CONTENT [[
// The test program's start, made by zelkor_qt_test_program from the list of classes in CMakeLists.txt.
#include "GuiTestMain.h"

@declarations@
int main(int argc, char** argv) {
    return RunGuiTests(argc, argv, {@factories@});
}
]])

    add_executable(${target} ${main} ${class_sources} ${arg_SOURCES})
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_link_libraries(${target} PRIVATE zelkor_gui_test_support)
    zelkor_warnings(${target})
    foreach(test_class IN LISTS arg_CLASSES)
        add_test(NAME ${arg_PREFIX}.${test_class} COMMAND ${target} ${test_class})
        set_tests_properties(${arg_PREFIX}.${test_class} PROPERTIES
            LABELS gui ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ZELKOR_GUI_TEST_LSAN_OPTIONS}")
    endforeach()
endfunction()
