# halden_uses(TARGET FOLDER...): TARGET's sources see only these folders of the project,
# so that an include of any other fails the build, and an arrow between the layers
# cannot run the wrong way. A folder written "FOLDER/." gives its own files without
# its subfolders (transport/. is the MIDI interfaces, not one backend's folder).
function(halden_uses target)
    set(root ${CMAKE_BINARY_DIR}/uses/${target})
    file(REMOVE_RECURSE ${root})
    foreach(folder IN LISTS ARGN)
        if(folder MATCHES "^(.*)/\\.$")
            set(dir ${CMAKE_MATCH_1})
            file(MAKE_DIRECTORY ${root}/${dir})
            file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
            foreach(header IN LISTS headers)
                get_filename_component(name ${header} NAME)
                file(CREATE_LINK ${header} ${root}/${dir}/${name} SYMBOLIC)
            endforeach()
        else()
            get_filename_component(parent ${root}/${folder} DIRECTORY)
            file(MAKE_DIRECTORY ${parent})
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PRIVATE ${root})
endfunction()
