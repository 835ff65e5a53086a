# One function per target kind. Sources are gathered per folder, so a new
# file joins its target by being placed in the right folder.

include(GNUInstallDirs)

function(ardo_collect_sources out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS
         "${PROJECT_SOURCE_DIR}/${dir}/*.cpp"
         "${PROJECT_SOURCE_DIR}/${dir}/*.h")
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# ardo_library(NAME DIRS dir... [PUBLIC_LIBS lib...] [PRIVATE_LIBS lib...])
function(ardo_library name)
  cmake_parse_arguments(A "" "" "DIRS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  ardo_collect_sources(sources ${A_DIRS})
  add_library(${name} SHARED ${sources})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/ardoxml>)
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
    CXX_VISIBILITY_PRESET default)
  target_compile_options(${name} PRIVATE ${ARDO_WARNINGS})
  # Calls inside a library bind to the library's own functions: no hosts
  # replace them, and the engine's per-node calls then go direct instead of
  # through the procedure linkage table.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -fno-semantic-interposition)
  endif()
  target_link_options(${name} PRIVATE "LINKER:-Bsymbolic-functions")
  # Optimised builds inline across the library's own files as well: a DOM
  # call passes through several small functions in different files.
  set_target_properties(${name} PROPERTIES INTERPROCEDURAL_OPTIMIZATION_RELEASE TRUE)
  add_library(ardoxml::${name} ALIAS ${name})
endfunction()

# ardo_test(NAME DIRS dir... LIBS lib...): one GoogleTest program per test
# folder, linked with the shared leak-checking main.
function(ardo_test name)
  cmake_parse_arguments(A "" "" "DIRS;LIBS" ${ARGN})
  ardo_collect_sources(sources ${A_DIRS})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ardo_test_support ${A_LIBS})
  # Tests reach the engine only through the class registry, so its library
  # must load even when no engine symbol is named.
  target_link_options(${name} PRIVATE "LINKER:--no-as-needed")
  target_compile_options(${name} PRIVATE ${ARDO_WARNINGS})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    ENVIRONMENT "ARDO_SOURCE_DIR=${PROJECT_SOURCE_DIR};ARDO_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# ardo_bench(NAME SOURCES file... LIBS lib...)
function(ardo_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${A_LIBS})
endfunction()
