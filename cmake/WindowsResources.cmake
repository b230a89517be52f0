# What a Windows build carries beside the Linux one: the program icon as an
# .ico, and each program's version information and manifest.

find_program(KNS_IMAGEMAGICK convert NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# Version information and manifest for a program; the window also gets the icon.
#   kns_windows_program(target DESCRIPTION text [ICON])
function(kns_windows_program target)
  cmake_parse_arguments(arg "ICON" "DESCRIPTION" "" ${ARGN})
  set(KNS_PROGRAM ${target})
  set(KNS_DESCRIPTION ${arg_DESCRIPTION})
  set(KNS_VENDOR ${KNS_VENDOR_NAME})
  set(KNS_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/resources/windows/knsimtool.manifest ${KNS_MANIFEST} @ONLY)
  set(KNS_ICON_LINE "")
  set(depends ${KNS_MANIFEST})
  if(arg_ICON)
    # The program icon, drawn at the sizes Windows asks for (lists, task
    # bar, Explorer's large view) and packed into one .ico.
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/${target}.ico)
    set(layers)
    foreach(size 16 24 32 48 64 128 256)
      set(layer ${CMAKE_CURRENT_BINARY_DIR}/icon/${target}-${size}.png)
      add_custom_command(
        OUTPUT ${layer}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icon
        COMMAND ${KNS_RSVG_CONVERT} --width ${size} --height ${size} --output ${layer}
                ${CMAKE_SOURCE_DIR}/resources/icons/knsimtool.svg
        DEPENDS ${CMAKE_SOURCE_DIR}/resources/icons/knsimtool.svg)
      list(APPEND layers ${layer})
    endforeach()
    add_custom_command(
      OUTPUT ${icon}
      COMMAND ${KNS_IMAGEMAGICK} ${layers} ${icon}
      DEPENDS ${layers}
      COMMENT "Packing the program icon")
    add_custom_target(${target}_icon DEPENDS ${icon})
    add_dependencies(${target} ${target}_icon)
    set(KNS_ICON_LINE "1 ICON \"${icon}\"")
    list(APPEND depends ${icon})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/resources/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
endfunction()
