# Warnings for the project's own targets; Qt, Boost and the date library come in as system headers.
function(zelkor_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor
        -Woverloaded-virtual -Wsuggest-override)
    if(ZELKOR_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
