# lumora_library(<target> LAYER <folder under src> [DEPS <targets...>] [PACKAGES <imported targets...>])
#
# Builds the library of one layer from every .cpp file of its folder. A layer
# sees only its own headers and those of the layers it links: each target's
# include root holds a link to its own folder alone, and the roots of the
# layers below come with the targets named in DEPS. An include that climbs
# to a higher layer therefore fails to compile.
function(lumora_library target)
  cmake_parse_arguments(ARG "" "LAYER" "DEPS;PACKAGES" ${ARGN})
  set(root ${PROJECT_BINARY_DIR}/layers/${target})
  get_filename_component(parent ${root}/${ARG_LAYER} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${ARG_LAYER} ${root}/${ARG_LAYER} SYMBOLIC)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${ARG_LAYER}/*.cpp)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PACKAGES})
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
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

# lumora_embed(<target> <table> <folder> [files...])
#
# Carries the files (by default every file of the folder) in the target as
# the table <table> of their paths and bytes, rewritten when they change.
function(lumora_embed target table folder)
  set(files ${ARGN})
  if(NOT files)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS RELATIVE ${folder} ${folder}/*)
  endif()
  list(SORT files)
  set(output ${PROJECT_BINARY_DIR}/embedded/${table}.cpp)
  list(TRANSFORM files PREPEND ${folder}/ OUTPUT_VARIABLE inputs)
  # A list cannot pass through the command line as it is.
  string(REPLACE ";" "|" encoded "${files}")
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DNAME=${table} -DROOT=${folder} "-DFILES=${encoded}"
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFiles.cmake
    DEPENDS ${inputs} ${PROJECT_SOURCE_DIR}/cmake/EmbedFiles.cmake
    COMMENT "Carrying ${table} in ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
