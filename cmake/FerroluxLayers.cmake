# Each library's headers are found only by the targets that link it.
#
# ferrolux_include_root(TARGET FOLDER) gives TARGET the include root
# <build>/include/TARGET, which holds one link: FOLDER -> src/FOLDER. Its
# headers are then included as "FOLDER/name.h" by the target and by everything
# that links it (PUBLIC), or by everything that links an INTERFACE target; no
# other folder of src/ can be reached from there.
function(ferrolux_include_root target folder)
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
