# Fuzz targets: every tests/fuzz/*_fuzz.cpp defines LLVMFuzzerTestOneInput.
#
# In the ordinary native tree each is linked with a small replay main and is
# one ctest entry that runs the committed seeds of tests/fuzz/corpus/<name>/
# and the fixture documents of tests/documents/, so `make test` replays them
# under the sanitizers. With QUERNA_FUZZ (clang,
# the build/fuzz tree of `make fuzz`) each is a libFuzzer program instead.
option(QUERNA_FUZZ "Build the fuzz targets as libFuzzer programs (clang)" OFF)

file(GLOB QUERNA_FUZZ_TARGETS CONFIGURE_DEPENDS tests/fuzz/*_fuzz.cpp)
file(GLOB QUERNA_FUZZ_SUPPORT CONFIGURE_DEPENDS tests/fuzz/support/*.cpp)
set(QUERNA_FUZZ_PLATFORM tests/oracles/LibXmlReader.cpp tests/oracles/XmlTranscript.cpp
    native/IconvCodePage.cpp tests/fakes/ZipBuilder.cpp)

if(QUERNA_FUZZ)
  # Coverage for everything the targets reach; the fuzzer's own main only in
  # the targets.
  foreach(layer ${QUERNA_CORE_LAYERS})
    target_compile_options(${layer} PRIVATE -fsanitize=fuzzer-no-link)
  endforeach()
endif()

set(QUERNA_FUZZ_NAMES "")
foreach(fuzz_source ${QUERNA_FUZZ_TARGETS})
  get_filename_component(fuzz_name ${fuzz_source} NAME_WE)
  list(APPEND QUERNA_FUZZ_NAMES ${fuzz_name})
  if(QUERNA_FUZZ)
    add_executable(${fuzz_name} ${fuzz_source} ${QUERNA_FUZZ_SUPPORT} ${QUERNA_FUZZ_PLATFORM})
    target_compile_options(${fuzz_name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${fuzz_name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${fuzz_name} ${fuzz_source} tests/fuzz/ReplayMain.cpp ${QUERNA_FUZZ_SUPPORT}
                   ${QUERNA_FUZZ_PLATFORM})
    add_test(NAME ${fuzz_name} COMMAND ${fuzz_name} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${fuzz_name}
                                       ${CMAKE_SOURCE_DIR}/tests/documents)
    set_tests_properties(${fuzz_name} PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT})
  endif()
  target_include_directories(${fuzz_name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${fuzz_name} PRIVATE querna_core LibXml2::LibXml2 Iconv::Iconv)
endforeach()
# For `make fuzz`: the names of the targets, one a line.
file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets.txt "")
foreach(fuzz_name ${QUERNA_FUZZ_NAMES})
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz-targets.txt "${fuzz_name}\n")
endforeach()
