# velto_install_gzip(<target> <source> <destination> [<name>]): installs <source> compressed with
# gzip -9n, as Debian wants manual pages and changelogs. -n leaves the name and time out, so the
# package is the same from one build to the next.
function(velto_install_gzip target source destination)
    get_filename_component(name ${source} NAME)
    if(ARGC GREATER 3)
        set(name ${ARGV3})
    endif()
    set(output ${CMAKE_BINARY_DIR}/gzip/${destination}/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gzip/${destination}
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${source} ${output}
        DEPENDS ${source} VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
    install(FILES ${output} DESTINATION ${destination})
endfunction()
