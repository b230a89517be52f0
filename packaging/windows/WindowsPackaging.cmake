# The Windows setup program and the portable zip: targets windows-installer
# (KNSimTool-<version>-setup.exe, NSIS) and windows-zip
# (knsimtool-<version>-win64.zip, the two programs to run without
# installing). Included from the top CMakeLists.txt for a Windows build of
# the window; the version is project(VERSION) there and nowhere else.
#
# The same file, run as a script (cmake -P), writes a text file with CRLF
# line ends (the copyright notice is read in Notepad on Windows), or, given
# KNS_CMARK, the README as the help page README.html.

if(CMAKE_SCRIPT_MODE_FILE)
  if(DEFINED KNS_CHECK_SETUP)
    # Whether the setup program carries the test build's marker, which its
    # version resource holds in UTF-16 (and no text of the script is
    # uncompressed): KNS_EXPECT is "absent" for the shipped setup program,
    # "present" for the test build, which shows that the check can see it.
    file(READ "${KNS_CHECK_SETUP}" content HEX)
    set(wide "")
    string(LENGTH "${KNS_MARKER}" length)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
      string(SUBSTRING "${KNS_MARKER}" ${i} 1 c)
      string(HEX "${c}" h)
      string(APPEND wide "${h}00")
    endforeach()
    string(HEX "${KNS_MARKER}" narrow)
    string(FIND "${content}" "${wide}" at_wide)
    string(FIND "${content}" "${narrow}" at_narrow)
    if(at_wide EQUAL -1 AND at_narrow EQUAL -1)
      set(found absent)
    else()
      set(found present)
    endif()
    if(NOT found STREQUAL KNS_EXPECT)
      file(REMOVE "${KNS_CHECK_SETUP}")
      message(FATAL_ERROR "${KNS_CHECK_SETUP}: the test build's marker is ${found}, expected ${KNS_EXPECT}; the file was removed")
    endif()
    return()
  endif()
  if(DEFINED KNS_CMARK)
    # Windows has no manual pages and no "man": the README, as a page any
    # browser shows, is the help beside the programs. GitHub's flavour of
    # CommonMark, because the README's tables are GitHub tables.
    execute_process(COMMAND ${KNS_CMARK} --extension table --to html ${KNS_TEXT_IN}
                    OUTPUT_VARIABLE body RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${KNS_CMARK} failed on ${KNS_TEXT_IN}: ${status}")
    endif()
    # The pictures and the other documents of the source tree are not
    # installed: the pictures go, and a link to such a file is its text.
    string(REGEX REPLACE "<p><img [^>]*/></p>\n" "" body "${body}")
    string(REGEX REPLACE "<a href=\"[^\":#]*\">([^<]*)</a>" "\\1" body "${body}")
    file(WRITE "${KNS_TEXT_OUT}" "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">
<title>KNSimTool ${KNS_VERSION} help</title>
<style>
body { font-family: \"Segoe UI\", Tahoma, sans-serif; max-width: 52em; margin: 1em auto; padding: 0 1em; line-height: 1.45; }
code, pre { font-family: Consolas, \"Courier New\", monospace; }
pre { background: #f4f4f4; padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; vertical-align: top; text-align: left; }
</style>
</head>
<body>
${body}</body>
</html>
")
    return()
  endif()
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

# The tools belong to the machine that builds, not to the Windows target.
find_program(KNS_MAKENSIS makensis NO_CMAKE_FIND_ROOT_PATH)
find_program(KNS_ZIP zip NO_CMAKE_FIND_ROOT_PATH)
find_program(KNS_CMARK cmark-gfm NO_CMAKE_FIND_ROOT_PATH)

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
foreach(text "packaging/copyright:COPYRIGHT.txt")
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
if(KNS_CMARK)
  add_custom_command(
    OUTPUT ${KNS_WINDOWS_STAGE}/README.html
    COMMAND ${CMAKE_COMMAND} -DKNS_CMARK=${KNS_CMARK} -DKNS_VERSION=${PROJECT_VERSION}
            -DKNS_TEXT_IN=${CMAKE_SOURCE_DIR}/README.md -DKNS_TEXT_OUT=${KNS_WINDOWS_STAGE}/README.html
            -P ${KNS_WINDOWS_PACKAGING_DIR}/WindowsPackaging.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${KNS_WINDOWS_PACKAGING_DIR}/WindowsPackaging.cmake
    COMMENT "Making the help page README.html from README.md"
    VERBATIM)
  list(APPEND kns_staged ${KNS_WINDOWS_STAGE}/README.html)
endif()

# A build machine without one of the tools still builds everything else; the
# target then says what is missing.
function(kns_missing_tool target tool package)
  add_custom_target(${target}
    COMMAND ${CMAKE_COMMAND} -E echo "${target}: ${tool} not found (Debian package ${package}; make windows-deps installs it)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endfunction()

if(NOT KNS_CMARK)
  # Both packages carry the help page.
  kns_missing_tool(windows-installer cmark-gfm cmark-gfm)
  kns_missing_tool(windows-zip cmark-gfm cmark-gfm)
elseif(KNS_MAKENSIS)
  # The setup program wears the window's icon (packed by
  # cmake/WindowsResources.cmake) where the build has made one.
  set(icon_define)
  set(icon_depends)
  if(TARGET knsimtool_icon)
    set(icon_define -DICON=${CMAKE_BINARY_DIR}/app/knsimtool.ico)
    set(icon_depends knsimtool_icon ${CMAKE_BINARY_DIR}/app/knsimtool.ico)
  endif()
  file(GLOB kns_nsis_parts ${KNS_WINDOWS_PACKAGING_DIR}/*.nsh)
  # The test build stands in for missing administrator rights and for the
  # elevation prompt's answer (TestRights.nsh); its version resource
  # carries this marker, which every setup program is checked for.
  set(kns_test_marker "KNSimTool test build: rights and elevation stand-ins")
  #   kns_setup_program(outfile version [TEST])
  function(kns_setup_program outfile version)
    set(test_defines)
    set(expect absent)
    if(ARGN STREQUAL "TEST")
      set(test_defines -DKNS_TEST_RIGHTS -DKNS_TEST_MARKER=${kns_test_marker})
      set(expect present)
    endif()
    get_filename_component(outdir ${outfile} DIRECTORY)
    add_custom_command(
      OUTPUT ${outfile}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
      COMMAND ${KNS_MAKENSIS} -V2 -WX
              -DVERSION=${version}
              -DVERSION_QUAD=${version}.0
              -DPUBLISHER=${KNS_VENDOR_NAME}
              -DCOPYRIGHT=${kns_copyright}
              -DSTAGE=${KNS_WINDOWS_STAGE}
              -DOUTFILE=${outfile}
              ${icon_define}
              ${test_defines}
              ${KNS_WINDOWS_PACKAGING_DIR}/knsimtool.nsi
      COMMAND ${CMAKE_COMMAND} -DKNS_CHECK_SETUP=${outfile} -DKNS_MARKER=${kns_test_marker} -DKNS_EXPECT=${expect}
              -P ${KNS_WINDOWS_PACKAGING_DIR}/WindowsPackaging.cmake
      DEPENDS ${kns_staged} ${KNS_WINDOWS_PACKAGING_DIR}/knsimtool.nsi ${kns_nsis_parts} ${icon_depends}
              ${KNS_WINDOWS_PACKAGING_DIR}/WindowsPackaging.cmake
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
  # Both versions once more as test builds, for the branches without
  # administrator rights.
  set(test_dir ${CMAKE_BINARY_DIR}/packaging/windows/test)
  kns_setup_program(${test_dir}/KNSimTool-${PROJECT_VERSION}-setup-test.exe ${PROJECT_VERSION} TEST)
  kns_setup_program(${test_dir}/KNSimTool-${next_version}-setup-test.exe ${next_version} TEST)
  add_custom_target(windows-installer-next DEPENDS ${next_setup}
                    ${test_dir}/KNSimTool-${PROJECT_VERSION}-setup-test.exe
                    ${test_dir}/KNSimTool-${next_version}-setup-test.exe)
else()
  kns_missing_tool(windows-installer makensis nsis)
endif()

if(NOT KNS_CMARK)
  # windows-zip says so above.
elseif(KNS_ZIP)
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
