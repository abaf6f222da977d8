# One library per folder, and the layers enforced by include paths.
#
# Every source includes headers by their path from the top of the tree
# ("platform/store/vob.h"), but no library sees the whole tree. A library's
# HEADERS are linked into build/include/<target>/<folder>/, its PUBLIC include
# directory, so that a library linking it (a layer above) finds them and
# nothing else of that folder; its INTERNAL headers go to
# build/include/<target>.internal/, which only its own sources see. A layer
# that includes a header of a layer it does not link, or another layer's
# internal header, does not compile. Tests see the whole tree (tests/).
#
# Every file is listed: a listed file that is missing stops the configure
# with a message naming it, and so does a module folder without its
# CMakeLists.txt (vantor_add_modules).

set(VANTOR_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)

function(_vantor_check_listed dir)
  foreach(f IN LISTS ARGN)
    if(NOT EXISTS ${dir}/${f})
      file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${dir})
      message(FATAL_ERROR "${_rel}/${f} is listed in ${_rel}/CMakeLists.txt but does not exist")
    endif()
  endforeach()
endfunction()

# Links each header into <stage>/<folder of the header>/; the stage is made
# anew, so a header taken off a list is gone from it.
function(_vantor_stage stage)
  file(REMOVE_RECURSE ${stage})
  file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  file(MAKE_DIRECTORY ${stage}/${_rel})
  foreach(h IN LISTS ARGN)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${h} ${stage}/${_rel}/${h} SYMBOLIC)
  endforeach()
endfunction()

# vantor_library(<target> SOURCES ... [HEADERS ...] [INTERNAL ...] [LINK ...] [PRIVATE_LINK ...])
# LINK: the layers below, seen by this library and by whoever links it.
function(vantor_library target)
  cmake_parse_arguments(A "" "" "SOURCES;HEADERS;INTERNAL;LINK;PRIVATE_LINK" ${ARGN})
  _vantor_check_listed(${CMAKE_CURRENT_SOURCE_DIR} ${A_SOURCES} ${A_HEADERS} ${A_INTERNAL})
  add_library(${target} STATIC ${A_SOURCES})
  _vantor_stage(${VANTOR_INCLUDE_ROOT}/${target} ${A_HEADERS})
  _vantor_stage(${VANTOR_INCLUDE_ROOT}/${target}.internal ${A_INTERNAL})
  target_include_directories(${target} PUBLIC ${VANTOR_INCLUDE_ROOT}/${target}
                             PRIVATE ${VANTOR_INCLUDE_ROOT}/${target}.internal)
  target_link_libraries(${target} PUBLIC ${A_LINK} PRIVATE ${A_PRIVATE_LINK})
endfunction()

# vantor_program(<target> SOURCES ... [INTERNAL ...] [LINK ...]): a program
# over the libraries it links, installed.
function(vantor_program target)
  cmake_parse_arguments(A "" "" "SOURCES;INTERNAL;LINK" ${ARGN})
  _vantor_check_listed(${CMAKE_CURRENT_SOURCE_DIR} ${A_SOURCES} ${A_INTERNAL})
  add_executable(${target} ${A_SOURCES})
  if(A_INTERNAL)
    _vantor_stage(${VANTOR_INCLUDE_ROOT}/${target}.internal ${A_INTERNAL})
    target_include_directories(${target} PRIVATE ${VANTOR_INCLUDE_ROOT}/${target}.internal)
  endif()
  target_link_libraries(${target} PRIVATE ${A_LINK})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# add_subdirectory for each module folder, refusing one that has no CMakeLists.txt.
function(vantor_add_modules)
  foreach(dir IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
      message(FATAL_ERROR "module ${_rel} has no CMakeLists.txt")
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()
