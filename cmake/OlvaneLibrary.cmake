# SPDX-License-Identifier: GPL-3.0-or-later
# olvane_log_category(<library>)
#
# The library's log category, "olvane.input.x11" for olvane_input_x11: defined once in a
# generated source, and named to base/Log.h by OLVANE_LOG_CATEGORY (see there).
function(olvane_log_category name)
    string(REPLACE "_" "." category ${name})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}_log_category.cpp)
    set(text "// SPDX-License-Identifier: GPL-3.0-or-later\n#include <QLoggingCategory>\n\n"
             "Q_LOGGING_CATEGORY(${name}_log, \"${category}\")\n")
    string(CONCAT text ${text})
    file(CONFIGURE OUTPUT ${source} CONTENT "${text}")
    target_sources(${name} PRIVATE ${source})
    target_compile_definitions(${name} PRIVATE OLVANE_LOG_CATEGORY=${name}_log)
endfunction()

# olvane_library(<name> [LINKS <target>...] [EXCLUDE <file>...])
#
# The folder's sources (not its subfolders') as one static library. Its headers are reached
# as "<folder>/<Header>.h" through an include root of the library's own, which holds only this
# folder's headers: a folder sees the headers of the libraries it links, and no others.
function(olvane_library name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "LINKS;EXCLUDE")
    file(GLOB sources CONFIGURE_DEPENDS *.cpp *.h)
    foreach(excluded ${ARG_EXCLUDE})
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
    endforeach()
    add_library(${name} STATIC ${sources})
    olvane_log_category(${name})

    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    set(root ${CMAKE_BINARY_DIR}/include/${name})
    file(REMOVE_RECURSE ${root})
    file(GLOB headers RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS *.h)
    foreach(header ${headers})
        file(MAKE_DIRECTORY ${root}/${folder})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header}
             SYMBOLIC)
    endforeach()
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
    # Every conversion from a byte string to text says which encoding it assumes.
    target_compile_definitions(${name} PRIVATE QT_NO_CAST_FROM_ASCII)
endfunction()
