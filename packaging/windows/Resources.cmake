# The Windows programs' manifest (long paths, the systems they were written for) and their
# version resource, compiled by windres into each .exe.
enable_language(RC)

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
    set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS
                 ${ORVEX_MANIFEST})
endfunction()

orvex_windows_resources(orvex-recorder "orvex recorder")
orvex_windows_resources(orvex-qdx "orvex .qdx converter")
