# The include check on a tree of its own: an include that points up fails the build and names the
# file; the same tree without it passes. Run with -DCHECK=<check_layers.cmake> -DWORK=<folder>.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/src/low/low.h "#pragma once\n#include <vector>\n")
file(WRITE ${WORK}/src/high/high.h "#pragma once\n#include \"low/low.h\"\n")
file(WRITE ${WORK}/src/high/high.cpp "#include \"high/high.h\"\n  #  include \"low/low.h\"\n")
set(layers "low=;high=low")

function(run_check expect_failure)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK}/src "-DLAYERS=${layers}"
                          -DSTAMP=${WORK}/stamp -P ${CHECK}
                  RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET)
  if(expect_failure AND status EQUAL 0)
    message(FATAL_ERROR "the check let an upward include through")
  elseif(NOT expect_failure AND NOT status EQUAL 0)
    message(FATAL_ERROR "the check refused a tree whose includes point down:\n${errors}")
  endif()
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

run_check(FALSE)

file(WRITE ${WORK}/src/low/bad.cpp "#include \"low/low.h\"\n#include \"high/high.h\"\n")
run_check(TRUE)
if(NOT errors MATCHES "low/bad.cpp includes \"high/high.h\", which low/ may not use")
  message(FATAL_ERROR "the refusal does not name the include:\n${errors}")
endif()
file(REMOVE ${WORK}/src/low/bad.cpp)

# A folder the layers do not name is refused, and so is a header without a folder.
file(WRITE ${WORK}/src/stray/stray.h "#pragma once\n")
run_check(TRUE)
if(NOT errors MATCHES "stray/stray.h: the folder 'stray' has no place")
  message(FATAL_ERROR "the refusal does not name the stray folder:\n${errors}")
endif()
file(REMOVE_RECURSE ${WORK}/src/stray)
file(WRITE ${WORK}/src/high/flat.cpp "#include \"flat.h\"\n")
run_check(TRUE)
file(REMOVE ${WORK}/src/high/flat.cpp)
run_check(FALSE)
