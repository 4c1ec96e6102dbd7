# lumora_library(<target> FOLDERS <globs...> DEPS <targets...> [PACKAGES <imported targets...>])
#
# Builds the library of one layer from every .cpp file of its folders. The
# targets it depends on are the layering: a folder may only use the targets
# named here, so a wrong include fails to link.
function(lumora_library target)
  cmake_parse_arguments(ARG "" "" "FOLDERS;DEPS;PACKAGES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_FOLDERS})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PACKAGES})
  else()
    # A layer whose folders hold no code yet still takes its place in the graph.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# lumora_test(<name> DEPS <targets...>)
#
# One GoogleTest program from every *_test.cpp of the current folder.
function(lumora_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
