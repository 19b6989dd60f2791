# Run by the build (cmake -P): fails when a file of one folder under src/ includes a header of a
# folder it may not use, which would make the dependencies point up.
#
#   -DSOURCE_DIR=<src>  -DLAYERS="folder=used1,used2;folder2=..."  -DSTAMP=<file>
#
# LAYERS names, for each folder, the folders it uses directly; what those use may be included too.
# A folder not named there is refused as a whole.
cmake_minimum_required(VERSION 3.25)

foreach(layer IN LISTS LAYERS)
  if(layer STREQUAL "")
    continue()
  endif()
  string(REPLACE "=" ";" parts "${layer}")
  list(GET parts 0 folder)
  list(LENGTH parts count)
  set(direct_${folder} "")
  if(count GREATER 1)
    list(GET parts 1 used)
    string(REPLACE "," ";" direct_${folder} "${used}")
  endif()
  list(APPEND folders ${folder})
endforeach()

# Everything a folder may include: itself and, transitively, what it uses.
foreach(folder IN LISTS folders)
  set(reach ${folder})
  set(queue ${direct_${folder}})
  while(queue)
    list(POP_FRONT queue next)
    if(NOT next IN_LIST reach)
      list(APPEND reach ${next})
      list(APPEND queue ${direct_${next}})
    endif()
  endwhile()
  set(reach_${folder} ${reach})
endforeach()

set(errors "")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(source IN LISTS sources)
  string(REGEX REPLACE "/.*" "" folder "${source}")
  if(NOT folder IN_LIST folders)
    string(APPEND errors "  ${source}: the folder '${folder}' has no place in the layers\n")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    string(REGEX MATCH "^[^/]+" target "${header}")
    if(NOT header MATCHES "/" OR NOT target IN_LIST reach_${folder})
      string(APPEND errors "  ${source} includes \"${header}\", which ${folder}/ may not use\n")
    endif()
  endforeach()
endforeach()

if(errors)
  message(FATAL_ERROR "Includes that point up or sideways:\n${errors}"
                      "Each folder may include only what it uses (CMakeLists.txt, jorvo_layer).")
endif()
file(WRITE ${STAMP} "layers checked\n")
