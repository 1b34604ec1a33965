# Gives a test run an empty home folder: cmake -D HOME=<folder> -P ownhome.cmake
if(NOT HOME)
    message(FATAL_ERROR "ownhome.cmake needs -D HOME=<folder>")
endif()
file(REMOVE_RECURSE "${HOME}")
file(MAKE_DIRECTORY "${HOME}/.local/share" "${HOME}/.config" "${HOME}/.cache")
