# Turns pictures into C headers at build time with quillon-convert.
#
#     include(QuillonConvert.cmake)
#     quillon_convert_pictures(firmware_pictures
#         OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures
#         PICTURES images/logo.png images/splash.jpg)
#     add_dependencies(firmware firmware_pictures)
#     target_include_directories(firmware PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/pictures)
#
# Each picture gives NAME16bits.BMP and NAME.h in OUTPUT_DIRECTORY. A picture is converted again
# when it changes (or when quillon-convert does), and not otherwise. The target TARGET_NAME
# builds them all; the list of headers is left in the variable named by HEADERS_VARIABLE when
# one is given, for add_executable() or target_sources().
#
# quillon-convert is found on the PATH, or taken from QUILLON_CONVERT_EXECUTABLE.

function(quillon_convert_pictures target_name)
    cmake_parse_arguments(ARG "" "OUTPUT_DIRECTORY;HEADERS_VARIABLE" "PICTURES" ${ARGN})
    if(NOT ARG_OUTPUT_DIRECTORY OR NOT ARG_PICTURES)
        message(FATAL_ERROR "quillon_convert_pictures: OUTPUT_DIRECTORY and PICTURES are required")
    endif()
    if(NOT QUILLON_CONVERT_EXECUTABLE)
        find_program(QUILLON_CONVERT_EXECUTABLE quillon-convert REQUIRED)
    endif()

    set(headers "")
    foreach(picture IN LISTS ARG_PICTURES)
        get_filename_component(picture "${picture}" ABSOLUTE)
        get_filename_component(name "${picture}" NAME)
        # The file name without its last extension; a name without any dot is kept whole.
        string(REGEX REPLACE "\\.[^.]*$" "" base "${name}")
        set(bmp "${ARG_OUTPUT_DIRECTORY}/${base}16bits.BMP")
        set(header "${ARG_OUTPUT_DIRECTORY}/${base}.h")
        add_custom_command(
            OUTPUT "${bmp}" "${header}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${ARG_OUTPUT_DIRECTORY}"
            COMMAND "${QUILLON_CONVERT_EXECUTABLE}" --force -o "${ARG_OUTPUT_DIRECTORY}" -- "${picture}"
            DEPENDS "${picture}" "${QUILLON_CONVERT_EXECUTABLE}"
            COMMENT "Converting ${name} to ${base}.h"
            VERBATIM)
        list(APPEND headers "${header}")
    endforeach()

    add_custom_target(${target_name} DEPENDS ${headers})
    if(ARG_HEADERS_VARIABLE)
        set(${ARG_HEADERS_VARIABLE} ${headers} PARENT_SCOPE)
    endif()
endfunction()
