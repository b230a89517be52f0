# The Windows setup program and the portable zip: targets windows-installer
# (KNSimTool-<version>-setup.exe, NSIS) and windows-zip
# (knsimtool-<version>-win64.zip, the two programs to run without
# installing). Included from the top CMakeLists.txt for a Windows build of
# the window; the version is project(VERSION) there and nowhere else.
#
# The same file, run as a script (cmake -P), writes a text file with CRLF
# line ends: README and copyright notice are read in Notepad on Windows.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${KNS_TEXT_IN}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${KNS_TEXT_OUT}" "${text}")
  return()
endif()

set(KNS_WINDOWS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KNS_WINDOWS_STAGE ${CMAKE_BINARY_DIR}/packaging/windows/stage)
set(KNS_WINDOWS_SETUP ${CMAKE_BINARY_DIR}/KNSimTool-${PROJECT_VERSION}-setup.exe)
set(KNS_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/knsimtool-${PROJECT_VERSION}-win64.zip)
# The version resource's copyright line is the notice's own.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/copyright kns_copyright REGEX "^Copyright: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright: " "Copyright " kns_copyright "${kns_copyright}")

# Both tools belong to the machine that builds, not to the Windows target.
find_program(KNS_MAKENSIS makensis NO_CMAKE_FIND_ROOT_PATH)
find_program(KNS_ZIP zip NO_CMAKE_FIND_ROOT_PATH)

# The folder both packages are made from. The programs are stripped as the
# Debian package's are: what they carry for a debugger is most of their size.
set(kns_staged)
foreach(program knsimtool knsimtool-cli)
  set(staged ${KNS_WINDOWS_STAGE}/${program}.exe)
  set(strip_command)
  if(CMAKE_STRIP)
    set(strip_command COMMAND ${CMAKE_STRIP} ${staged})
  endif()
  add_custom_command(
    OUTPUT ${staged}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KNS_WINDOWS_STAGE}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> ${staged}
    ${strip_command}
    DEPENDS ${program}
    COMMENT "Staging ${program}.exe for the Windows packages"
    VERBATIM)
  list(APPEND kns_staged ${staged})
endforeach()
foreach(text "README.md:README.txt" "packaging/copyright:COPYRIGHT.txt")
  string(REPLACE ":" ";" text "${text}")
  list(GET text 0 source)
  list(GET text 1 name)
  add_custom_command(
    OUTPUT ${KNS_WINDOWS_STAGE}/${name}
    COMMAND ${CMAKE_COMMAND} -DKNS_TEXT_IN=${CMAKE_SOURCE_DIR}/${source}
            -DKNS_TEXT_OUT=${KNS_WINDOWS_STAGE}/${name} -P ${KNS_WINDOWS_PACKAGING_DIR}/WindowsPackaging.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/${source} ${KNS_WINDOWS_PACKAGING_DIR}/WindowsPackaging.cmake
    COMMENT "Staging ${name} (CRLF) for the Windows packages"
    VERBATIM)
  list(APPEND kns_staged ${KNS_WINDOWS_STAGE}/${name})
endforeach()

# A build machine without one of the tools still builds everything else; the
# target then says what is missing.
function(kns_missing_tool target tool package)
  add_custom_target(${target}
    COMMAND ${CMAKE_COMMAND} -E echo "${target}: ${tool} not found (Debian package ${package}; make windows-deps installs it)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endfunction()

if(KNS_MAKENSIS)
  # The setup program wears the window's icon (packed by
  # cmake/WindowsResources.cmake) where the build has made one.
  set(icon_define)
  set(icon_depends)
  if(TARGET knsimtool_icon)
    set(icon_define -DICON=${CMAKE_BINARY_DIR}/app/knsimtool.ico)
    set(icon_depends knsimtool_icon ${CMAKE_BINARY_DIR}/app/knsimtool.ico)
  endif()
  function(kns_setup_program outfile version)
    add_custom_command(
      OUTPUT ${outfile}
      COMMAND ${KNS_MAKENSIS} -V2 -WX
              -DVERSION=${version}
              -DVERSION_QUAD=${version}.0
              -DPUBLISHER=${KNS_VENDOR_NAME}
              -DCOPYRIGHT=${kns_copyright}
              -DSTAGE=${KNS_WINDOWS_STAGE}
              -DOUTFILE=${outfile}
              ${icon_define}
              ${KNS_WINDOWS_PACKAGING_DIR}/knsimtool.nsi
      DEPENDS ${kns_staged} ${KNS_WINDOWS_PACKAGING_DIR}/knsimtool.nsi ${icon_depends}
      COMMENT "Building the Windows setup program ${outfile}"
      VERBATIM)
  endfunction()
  kns_setup_program(${KNS_WINDOWS_SETUP} ${PROJECT_VERSION})
  add_custom_target(windows-installer DEPENDS ${KNS_WINDOWS_SETUP})
  # The same programs under the next version number, for the upgrade test
  # (make test-windows-install): what an upgrade does depends on the version
  # and the installed files, not on what the programs contain.
  math(EXPR next_patch "${PROJECT_VERSION_PATCH} + 1")
  set(next_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${next_patch})
  set(next_setup ${CMAKE_BINARY_DIR}/packaging/windows/next/KNSimTool-${next_version}-setup.exe)
  kns_setup_program(${next_setup} ${next_version})
  add_custom_target(windows-installer-next DEPENDS ${next_setup})
else()
  kns_missing_tool(windows-installer makensis nsis)
endif()

if(KNS_ZIP)
  # zip adds to an archive that is there: start from none, so that a file
  # dropped from the list does not linger. -X leaves out the Unix owner and
  # permission fields, which mean nothing on Windows.
  add_custom_command(
    OUTPUT ${KNS_WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${KNS_WINDOWS_ZIP}
    COMMAND ${KNS_ZIP} -q -X -j ${KNS_WINDOWS_ZIP} ${kns_staged}
    DEPENDS ${kns_staged}
    COMMENT "Building the portable zip ${KNS_WINDOWS_ZIP}"
    VERBATIM)
  add_custom_target(windows-zip DEPENDS ${KNS_WINDOWS_ZIP})
else()
  kns_missing_tool(windows-zip zip zip)
endif()
