# The Windows tree's resources and release archive:
# - the icon, version information and application manifest of Querna.exe and
#   querna-find.exe, compiled by windres (resources/);
# - the release archive dist/Querna-<version>-win64.zip of this tree, built
#   with everything else (make dist copies it to the top folder's dist/), and
#   the test that unpacks it and runs it on a clean Wine prefix.
enable_language(RC)

set(QUERNA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${QUERNA_GENERATED_DIR})

# The version comes from project() alone; a manifest wants four parts.
configure_file(resources/QuernaVersion.h.in ${QUERNA_GENERATED_DIR}/QuernaVersion.h @ONLY)
set(QUERNA_VERSION_QUAD
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

# The icon is the picture the window draws (app/ProgramIcon.cpp), written to
# an .ico file by a small tool built with the build machine's own compiler.
find_program(QUERNA_HOST_CXX NAMES g++ c++ REQUIRED)
set(QUERNA_ICON_TOOL ${QUERNA_GENERATED_DIR}/make-icon)
set(QUERNA_ICON ${QUERNA_GENERATED_DIR}/Querna.ico)
add_custom_command(
  OUTPUT ${QUERNA_ICON_TOOL}
  COMMAND ${QUERNA_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -I${CMAKE_SOURCE_DIR}
          ${CMAKE_SOURCE_DIR}/resources/make-icon.cpp ${CMAKE_SOURCE_DIR}/app/ProgramIcon.cpp
          -o ${QUERNA_ICON_TOOL}
  DEPENDS resources/make-icon.cpp app/ProgramIcon.cpp app/ProgramIcon.h
  COMMENT "Building the icon tool for the build machine")
add_custom_command(
  OUTPUT ${QUERNA_ICON}
  COMMAND ${QUERNA_ICON_TOOL} ${QUERNA_ICON}
  DEPENDS ${QUERNA_ICON_TOOL}
  COMMENT "Drawing the program's icon")
# One target owns the icon, so the two executables do not both make it.
add_custom_target(querna_icon DEPENDS ${QUERNA_ICON})

foreach(program Querna querna-find)
  set(QUERNA_PROGRAM ${program})
  set(QUERNA_MANIFEST_FILE ${program}.exe.manifest)
  set(QUERNA_MANIFEST_NAME "Querna.${program}")
  configure_file(resources/program.manifest.in ${QUERNA_GENERATED_DIR}/${QUERNA_MANIFEST_FILE}
                 @ONLY)
  set(resource_file ${CMAKE_SOURCE_DIR}/resources/${program}.rc)
  set_source_files_properties(
    ${resource_file}
    PROPERTIES INCLUDE_DIRECTORIES "${QUERNA_GENERATED_DIR};${CMAKE_SOURCE_DIR}/resources"
               OBJECT_DEPENDS
               "${QUERNA_ICON};${QUERNA_GENERATED_DIR}/QuernaVersion.h;${QUERNA_GENERATED_DIR}/${QUERNA_MANIFEST_FILE};${CMAKE_SOURCE_DIR}/resources/program-resources.rc")
  target_sources(${program} PRIVATE ${resource_file})
  add_dependencies(${program} querna_icon)
endforeach()

# The tests that create the window do it with the program's common controls.
foreach(test window_test window_search_test window_hostile_test)
  if(TARGET ${test})
    set(resource_file ${CMAKE_SOURCE_DIR}/resources/test-manifest.rc)
    set_source_files_properties(
      ${resource_file} PROPERTIES INCLUDE_DIRECTORIES "${QUERNA_GENERATED_DIR}" OBJECT_DEPENDS
                                  "${QUERNA_GENERATED_DIR}/Querna.exe.manifest")
    target_sources(${test} PRIVATE ${resource_file})
  endif()
endforeach()

# The resource test reads the version information and compares the embedded
# icon with the picture the window draws.
if(TARGET resources_test)
  target_link_libraries(resources_test PRIVATE version)
  target_compile_definitions(resources_test PRIVATE QUERNA_VERSION_TEXT="${PROJECT_VERSION}")
  add_dependencies(resources_test Querna querna-find)
endif()

# The release archive: the two programs (stripped), the user guide (GBK,
# CR LF) and the licence.
find_program(QUERNA_PYTHON NAMES python3 REQUIRED)
set(QUERNA_ARCHIVE ${CMAKE_BINARY_DIR}/dist/Querna-${PROJECT_VERSION}-win64.zip)
add_custom_command(
  OUTPUT ${QUERNA_ARCHIVE}
  COMMAND ${QUERNA_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/dist --out ${QUERNA_ARCHIVE}
          --strip ${CMAKE_STRIP} --guide ${CMAKE_SOURCE_DIR}/resources/user-guide.txt
          --license ${CMAKE_SOURCE_DIR}/LICENSE $<TARGET_FILE:Querna> $<TARGET_FILE:querna-find>
  DEPENDS Querna querna-find scripts/dist resources/user-guide.txt LICENSE
  COMMENT "Packing ${QUERNA_ARCHIVE}")
add_custom_target(dist ALL DEPENDS ${QUERNA_ARCHIVE})

add_test(NAME dist_archive_test
         COMMAND ${QUERNA_PYTHON} ${CMAKE_SOURCE_DIR}/tests/dist/archive_test.py --archive
                 ${QUERNA_ARCHIVE} --wine-prefix-script ${CMAKE_SOURCE_DIR}/scripts/wine-prefix)
set_tests_properties(dist_archive_test PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT})
