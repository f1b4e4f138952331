# larkfold_add_library(<name> [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [EXCLUDE file ...])
# One library per subsystem folder, built from every source in that folder but the excluded ones.
function(larkfold_add_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC_LIBS;PRIVATE_LIBS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  file(GLOB dbus_xml CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/dbus/*.xml)
  set(generated "")
  # D-Bus proxies generated from the introspection files in dbus/: org.freedesktop.Foo.xml
  # becomes org_freedesktop_foo_interface.h with the class OrgFreedesktopFooInterface.
  foreach(xml ${dbus_xml})
    get_filename_component(base ${xml} NAME)
    string(REGEX REPLACE "\\.xml$" "" base ${base})
    string(REPLACE "." "_" base ${base})
    string(TOLOWER ${base} base)
    set_source_files_properties(${xml} PROPERTIES NO_NAMESPACE ON)
    qt_add_dbus_interface(generated ${xml} ${base}_interface)
  endforeach()
  add_library(${name} STATIC ${sources} ${generated})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# larkfold_add_tests(LIBS ...): one test executable per *Test.cpp in the calling folder,
# each registered with CTest so tests run in separate processes.
function(larkfold_add_tests)
  cmake_parse_arguments(ARG "" "TIMEOUT;MAIN" "LIBS;ENV" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(NOT ARG_MAIN)
    set(ARG_MAIN larkfold_test_main)
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Fixture.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*Fixture.h ${CMAKE_CURRENT_SOURCE_DIR}/Fake*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/Fake*.cpp)
  get_filename_component(sub ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  # The folder's fixtures and fakes are compiled once for all its tests, not once per test.
  set(shared "")
  if(helpers)
    set(shared ${sub}_test_helpers)
    add_library(${shared} OBJECT ${helpers})
    target_include_directories(${shared} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${shared} PUBLIC ${ARG_LIBS} larkfold_test_support)
  endif()
  foreach(test ${tests})
    get_filename_component(tname ${test} NAME_WE)
    set(target ${sub}_${tname})
    add_executable(${target} ${test})
    target_link_libraries(${target} PRIVATE ${shared} ${ARG_LIBS} larkfold_test_support ${ARG_MAIN})
    larkfold_register_test(${target} ${sub}.${tname} ${ARG_TIMEOUT} "${ARG_ENV}")
  endforeach()
endfunction()

# larkfold_register_test(<target> <test name> <timeout> <extra environment>): one CTest test
# running <target> offscreen, with the source and build folders in its environment.
function(larkfold_register_test target name timeout env)
  if(LARKFOLD_SANITIZE)
    math(EXPR timeout "${timeout} * 3") # the sanitizers slow every test down
  endif()
  add_test(NAME ${name} COMMAND ${target})
  # A test given longer starts earlier in a fresh tree, where CTest knows no earlier times.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout} COST ${timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LARKFOLD_SOURCE_DIR=${CMAKE_SOURCE_DIR};LARKFOLD_BINARY_DIR=${CMAKE_BINARY_DIR};${env}")
endfunction()
