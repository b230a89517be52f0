# The window's pictures go in as PNG files drawn from their SVG drawings at
# build time, in the drawings' own size and a "@2x" copy that Qt picks on
# scaled screens. A PNG needs no image plug-in: no SVG renderer is loaded
# while the window starts, and the Windows Qt, built without SVG support,
# shows the same pictures.
find_program(KNS_RSVG_CONVERT rsvg-convert NO_CMAKE_FIND_ROOT_PATH REQUIRED)

set(KNS_PICTURE_ROOT ${CMAKE_BINARY_DIR}/pictures)

# Adds every picture of resources/icons and resources/pictures to target as
# PNG resources under the same paths (":/icons/exit.png").
function(kns_add_png_pictures target)
  set(pngs)
  foreach(folder icons pictures)
    file(GLOB svgs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/${folder}/*.svg)
    foreach(svg ${svgs})
      get_filename_component(name ${svg} NAME_WE)
      set(out ${KNS_PICTURE_ROOT}/${folder}/${name})
      add_custom_command(
        OUTPUT ${out}.png ${out}@2x.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KNS_PICTURE_ROOT}/${folder}
        COMMAND ${KNS_RSVG_CONVERT} --zoom 1 --output ${out}.png ${svg}
        COMMAND ${KNS_RSVG_CONVERT} --zoom 2 --output ${out}@2x.png ${svg}
        DEPENDS ${svg}
        COMMENT "Drawing ${folder}/${name} as PNG")
      list(APPEND pngs ${out}.png ${out}@2x.png)
    endforeach()
  endforeach()
  qt_add_resources(${target} kns_pictures PREFIX / BASE ${KNS_PICTURE_ROOT} FILES ${pngs})
endfunction()
