# The Windows programs' manifest (long paths, per-monitor DPI, the themed common controls, the
# systems they were written for), their icon and their version resource, compiled by windres
# into each .exe.
enable_language(RC)

# The icon drawn from the same SVG as on Linux (rsvg-convert, netpbm).
set(ORVEX_ICON ${CMAKE_BINARY_DIR}/generated/orvex.ico)
add_custom_command(
    OUTPUT ${ORVEX_ICON}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/make-icon.sh ${CMAKE_SOURCE_DIR}/ui/icons/orvex.svg
            ${ORVEX_ICON}
    DEPENDS ${CMAKE_SOURCE_DIR}/ui/icons/orvex.svg ${CMAKE_CURRENT_LIST_DIR}/make-icon.sh
    VERBATIM)
add_custom_target(orvex_windows_icon DEPENDS ${ORVEX_ICON})

function(orvex_windows_resources target description)
    # "1.09" as 1,9,0,0: a leading zero would make windres read an octal number.
    math(EXPR minor "${PROJECT_VERSION_MINOR} + 0")
    set(ORVEX_RC_VERSION "${PROJECT_VERSION_MAJOR},${minor},0,0")
    set(ORVEX_RC_NAME ${target})
    set(ORVEX_RC_DESCRIPTION ${description})
    set(ORVEX_MANIFEST ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/orvex.manifest)
    set(rc ${CMAKE_BINARY_DIR}/generated/${target}.rc)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Resources.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    add_dependencies(${target} orvex_windows_icon)
    set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS
                 ${ORVEX_MANIFEST} ${ORVEX_ICON})
endfunction()

orvex_windows_resources(orvex-recorder "orvex recorder")
orvex_windows_resources(orvex-qdx "orvex .qdx converter")
