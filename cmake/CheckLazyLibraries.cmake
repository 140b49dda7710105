# Runs quorhost with the dynamic linker's file trace (LD_DEBUG=files) and
# checks which of the heavy libraries each run loads: showing a node, saving
# the script and writing RIB load neither the image library nor the renderer
# (nor Embree and TBB behind it); drawing the viewer into a picture loads the
# image-file module, rendering loads the renderer; quorrender reads a scene
# without the image library. Then runs copies of
# quorhost and its two libraries without the modules beside them: a render
# and a viewer picture then fail with a message naming the missing module.
#
# cmake -DHOST=<quorhost> -DPLUGIN_DIR=<dir> -DWORK_DIR=<scratch dir>
#       -P CheckLazyLibraries.cmake
foreach(var HOST PLUGIN_DIR WORK_DIR)
  if("${${var}}" STREQUAL "")
    message(FATAL_ERROR "CheckLazyLibraries: ${var} is not given")
  endif()
endforeach()

set(heavy libOpenImageIO libembree libtbb libDDImageFiles libQuorRenderer)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(failed 0)

# check(NAME "LOADED libs" "NOT_LOADED libs" ARGS...): one run that must
# succeed, loading every library of LOADED and none of NOT_LOADED.
function(check name loaded not_loaded)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_DEBUG=files "${HOST}" --plugin-path "${PLUGIN_DIR}" ${ARGN}
    WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE trace)
  if(NOT status EQUAL 0)
    message("${name}: quorhost ${ARGN} failed (${status})")
    set(failed 1 PARENT_SCOPE)
    return()
  endif()
  foreach(lib IN LISTS loaded not_loaded)
    string(REGEX MATCH "file=[^ ]*/?${lib}[^ /]*\\.so" hit "${trace}")
    list(FIND loaded ${lib} wanted)
    if(wanted GREATER_EQUAL 0 AND NOT hit)
      message("${name}: ${lib} was not loaded")
      set(failed 1 PARENT_SCOPE)
    elseif(wanted LESS 0 AND hit)
      message("${name}: ${lib} was loaded")
      set(failed 1 PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

check("show a node" "" "${heavy}" --new QuorCard --info)
check("write RIB and save" "" "${heavy}" --new QuorCard --set type smooth --rib card.rib --save card.json)
check("draw the viewer" "libDDImageFiles;libOpenImageIO" "libQuorRenderer;libembree" --new QuorCard --view view.png
  --size 16x12)
check("render" "libQuorRenderer;libOpenImageIO;libembree" "" --new QuorCard --render render.png --size 16x12)

# quorrender reads a scene without loading the image library; only a
# frame's pictures and textures load it.
get_filename_component(bin_dir "${HOST}" DIRECTORY)
file(WRITE "${WORK_DIR}/no-world.rib" "Format 16 12 1\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_DEBUG=files "${bin_dir}/quorrender" no-world.rib
  WORKING_DIRECTORY "${WORK_DIR}" OUTPUT_QUIET ERROR_VARIABLE trace)
string(REGEX MATCH "file=[^ ]*/?libOpenImageIO[^ /]*\\.so" hit "${trace}")
if(hit OR NOT trace MATCHES "nothing to render")
  message("quorrender on a scene without a world: loaded the image library, or did not run")
  set(failed 1)
endif()

# fails(NAME MESSAGE ARGS...): the copy without modules must fail, saying
# MESSAGE.
get_filename_component(build_dir "${HOST}" DIRECTORY)
get_filename_component(build_dir "${build_dir}" DIRECTORY)
file(COPY "${HOST}" DESTINATION "${WORK_DIR}/bare/bin")
file(COPY "${build_dir}/lib/libDDImage.so" "${build_dir}/lib/libQuor.so" DESTINATION "${WORK_DIR}/bare/lib")
function(fails name message)
  execute_process(COMMAND "${WORK_DIR}/bare/bin/quorhost" --plugin-path "${PLUGIN_DIR}" ${ARGN}
    WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  string(FIND "${errors}" "${message}" at)
  if(status EQUAL 0 OR at LESS 0)
    message("${name} without the module: exit status ${status}, wanted a failure saying \"${message}\":\n${errors}")
    set(failed 1 PARENT_SCOPE)
  endif()
endfunction()
fails("render" "cannot load the renderer: ${WORK_DIR}/bare/lib/libQuorRenderer.so" --new QuorCard --render r.png)
fails("draw the viewer" "cannot load the image library: ${WORK_DIR}/bare/lib/libDDImageFiles.so" --new QuorCard
  --view v.png)
# A copy of quorrender without the image-library module: its frame fails,
# naming the module, and writes no picture.
file(COPY "${bin_dir}/quorrender" DESTINATION "${WORK_DIR}/bare/bin")
file(WRITE "${WORK_DIR}/frame.rib" "Display \"frame.tif\" \"file\" \"rgba\"\nFormat 4 4 1\nWorldBegin\nWorldEnd\n")
execute_process(COMMAND "${WORK_DIR}/bare/bin/quorrender" frame.rib
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
string(FIND "${errors}" "cannot load the image library: ${WORK_DIR}/bare/lib/libQuorImages.so" at)
if(NOT status EQUAL 1 OR at LESS 0 OR EXISTS "${WORK_DIR}/frame.tif")
  message("quorrender without the image-library module: exit status ${status}:\n${errors}")
  set(failed 1)
endif()

if(failed)
  message(FATAL_ERROR "CheckLazyLibraries: a run loaded the wrong libraries or did not fail as it should (above)")
endif()
message("CheckLazyLibraries: every run loaded what it needs and nothing more")
