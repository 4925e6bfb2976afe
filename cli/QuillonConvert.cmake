# Turns pictures into C headers at build time with quillon-convert.
#
#     find_package(Quillon REQUIRED)
#     quillon_convert_pictures(firmware_pictures
#         OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures
#         PICTURES images/logo.png images/splash-screen.jpg
#         [NAMES logo splash]              (the arrays' names; by default after the files)
#         [PROGMEM]                        (the arrays go into AVR program memory)
#         [SPLIT]                          (NAME.c holds the arrays, NAME.h declares them)
#         [OPTIONS --dither ...]           (any other quillon-convert options, for every picture)
#         [HEADERS_VARIABLE picture_headers])
#
# Each picture gives NAME.h in OUTPUT_DIRECTORY, and NAME16bits.BMP with the default format (or
# with --bmp among the OPTIONS of another one). Its array is named after its
# file, made a C identifier: images/logo.png gives logo, splash-screen.jpg gives splash_screen,
# 8x8.png gives _8x8. A picture is converted again when it changes (or when quillon-convert or
# the options do), and not otherwise. The target TARGET_NAME builds them all; the list of headers
# is left in the variable named by HEADERS_VARIABLE when one is given, for add_executable() or
# target_sources(). With SPLIT, each picture also gives NAME.c, the one definition of its arrays,
# which NAME.h declares `extern`: the list then holds each header and its C file, so that the
# target that takes the list compiles the C files into the program once.
#
# quillon-convert is the one installed with this package, or the one named by
# QUILLON_CONVERT_EXECUTABLE, or else the one found on the PATH.

function(quillon_convert_pictures target_name)
    cmake_parse_arguments(ARG "PROGMEM;SPLIT" "OUTPUT_DIRECTORY;HEADERS_VARIABLE" "PICTURES;NAMES;OPTIONS" ${ARGN})
    if(NOT ARG_OUTPUT_DIRECTORY OR NOT ARG_PICTURES)
        message(FATAL_ERROR "quillon_convert_pictures: OUTPUT_DIRECTORY and PICTURES are required")
    endif()
    list(LENGTH ARG_PICTURES picture_count)
    list(LENGTH ARG_NAMES name_count)
    if(ARG_NAMES AND NOT name_count EQUAL picture_count)
        message(FATAL_ERROR "quillon_convert_pictures: NAMES needs one name for each of the ${picture_count} pictures")
    endif()
    if(NOT QUILLON_CONVERT_EXECUTABLE)
        find_program(QUILLON_CONVERT_EXECUTABLE quillon-convert REQUIRED)
    endif()
    set(options ${ARG_OPTIONS})
    if(ARG_PROGMEM)
        list(APPEND options --progmem)
    endif()
    if(ARG_SPLIT)
        list(APPEND options --split)
    endif()

    # A display format (--format mono, --format=lvgl...) writes the BMP file only with --bmp.
    set(writes_bmp TRUE)
    set(format_follows FALSE)
    unset(format)
    foreach(option IN LISTS options)
        if(format_follows)
            set(format "${option}")
        elseif(option MATCHES "^--format=(.*)$")
            set(format "${CMAKE_MATCH_1}")
        endif()
        if(DEFINED format)
            set(writes_bmp FALSE)
            if(format STREQUAL "bmp")
                set(writes_bmp TRUE)
            endif()
            unset(format)
        endif()
        set(format_follows FALSE)
        if(option STREQUAL "--format")
            set(format_follows TRUE)
        endif()
    endforeach()
    list(FIND options --bmp bmp_option)
    if(NOT bmp_option EQUAL -1)
        set(writes_bmp TRUE)
    endif()

    set(headers "")
    set(index 0)
    foreach(picture IN LISTS ARG_PICTURES)
        get_filename_component(picture "${picture}" ABSOLUTE)
        get_filename_component(file_name "${picture}" NAME)
        # The file name without its last extension; a name without any dot is kept whole.
        string(REGEX REPLACE "\\.[^.]*$" "" base "${file_name}")
        if(ARG_NAMES)
            list(GET ARG_NAMES ${index} array_name)
        else()
            string(MAKE_C_IDENTIFIER "${base}" array_name)
        endif()
        math(EXPR index "${index} + 1")
        set(header "${ARG_OUTPUT_DIRECTORY}/${base}.h")
        set(outputs "${header}")
        if(writes_bmp)
            list(APPEND outputs "${ARG_OUTPUT_DIRECTORY}/${base}16bits.BMP")
        endif()
        if(ARG_SPLIT)
            list(APPEND outputs "${ARG_OUTPUT_DIRECTORY}/${base}.c")
        endif()
        add_custom_command(
            OUTPUT ${outputs}
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${ARG_OUTPUT_DIRECTORY}"
            COMMAND "${QUILLON_CONVERT_EXECUTABLE}" --force --name "${array_name}" ${options}
                    -o "${ARG_OUTPUT_DIRECTORY}" -- "${picture}"
            DEPENDS "${picture}" "${QUILLON_CONVERT_EXECUTABLE}"
            COMMENT "Converting ${file_name} to ${base}.h (array ${array_name})"
            VERBATIM)
        list(APPEND headers "${header}")
        if(ARG_SPLIT)
            list(APPEND headers "${ARG_OUTPUT_DIRECTORY}/${base}.c")
        endif()
    endforeach()

    add_custom_target(${target_name} DEPENDS ${headers})
    if(ARG_HEADERS_VARIABLE)
        set(${ARG_HEADERS_VARIABLE} ${headers} PARENT_SCOPE)
    endif()
endfunction()
