# kx_effect_plugin(target): makes a MODULE library an effect plug-in. It is
# named as scripts name it (lumafold.so, not liblumafold.so) and exports only
# hasFX and getFX: hidden visibility for its own code, and on ELF systems a
# version script that also keeps the static libraries' and the C++ library's
# symbols inside.
set(KX_PLUGIN_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/plugin_exports.map)

function(kx_effect_plugin target)
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    if(UNIX AND NOT APPLE)
        target_link_options(${target} PRIVATE "LINKER:--version-script=${KX_PLUGIN_EXPORTS_MAP}")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KX_PLUGIN_EXPORTS_MAP})
    endif()
endfunction()
