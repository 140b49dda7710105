# Compiles every plug-in source (PLUGIN_DIR/**/*.cpp) for syntax only, with
# nothing on the include path but INCLUDE_DIRS (the SDK mirror, the renderer
# library's headers, the plug-in's own folder, Boost) and the compiler's own
# folders. A plug-in source that includes a header of the host runtime, which
# lies under another root, fails to compile here.
#
# The sources are listed when the test runs, so sources added or moved since
# the build was configured are checked too.
#
# cmake -DCOMPILER=c++ -DFLAGS=<list> -DDEFINITIONS=<list> -DINCLUDE_DIRS=<list>
#       -DPLUGIN_DIR=<dir> -P CheckSdkOnly.cmake
foreach(var COMPILER PLUGIN_DIR INCLUDE_DIRS)
  if("${${var}}" STREQUAL "")
    message(FATAL_ERROR "CheckSdkOnly: ${var} is not given")
  endif()
endforeach()

file(GLOB_RECURSE sources LIST_DIRECTORIES false "${PLUGIN_DIR}/*.cpp")
list(SORT sources)
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "CheckSdkOnly: no plug-in sources (*.cpp) under ${PLUGIN_DIR}")
endif()

set(arguments ${FLAGS} -fsyntax-only)
foreach(definition IN LISTS DEFINITIONS)
  list(APPEND arguments "-D${definition}")
endforeach()
foreach(dir IN LISTS INCLUDE_DIRS)
  list(APPEND arguments "-I${dir}")
endforeach()

set(failed 0)
foreach(source IN LISTS sources)
  execute_process(COMMAND "${COMPILER}" ${arguments} "${source}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    math(EXPR failed "${failed} + 1")
    message("${source} does not compile against the SDK headers alone:\n${output}")
  endif()
endforeach()
if(failed GREATER 0)
  message(FATAL_ERROR "CheckSdkOnly: ${failed} of ${count} plug-in sources need more than the SDK headers "
                      "(include path: ${INCLUDE_DIRS})")
endif()
message("CheckSdkOnly: ${count} plug-in sources compile against the SDK headers alone")
