# Loading a library with hundreds of dependencies (OpenImageIO) costs mostly
# symbol lookups: the dynamic loader resolves each relocation by walking the
# libraries in breadth-first order of their dependencies until one defines
# the symbol, and a library refers to its own exported symbols that way
# too. A library deep in that order with many relocations (Debian's
# OpenVDB and GDAL behind OpenImageIO) makes each of its lookups walk past
# a hundred others. Naming the libraries with the most symbol relocations
# first among a target's own dependencies puts them at the front of that
# order; every library still binds to the first definition in one order, as
# for any program that links them in that order.
#
# quor_link_heaviest_first(TARGET LIBRARY COUNT): links TARGET, before
# anything else it links, with the COUNT dependencies of LIBRARY (as ldd
# lists them) that have the most symbol relocations. Found once per build
# tree; where ldd or readelf cannot tell, nothing is added.
function(quor_link_heaviest_first target library count)
  if(NOT DEFINED QUOR_HEAVIEST_${target})
    set(heaviest "")
    find_program(QUOR_LDD ldd)
    find_program(QUOR_READELF readelf)
    set(failed 1)
    if(QUOR_LDD AND QUOR_READELF)
      execute_process(COMMAND ${QUOR_LDD} ${library} OUTPUT_VARIABLE listed ERROR_QUIET RESULT_VARIABLE failed)
    endif()
    if(NOT failed)
      string(REGEX MATCHALL "=> (/[^ ]+) \\(" paths "${listed}")
      set(ranked "")
      foreach(entry ${paths})
        string(REGEX REPLACE "=> (/[^ ]+) \\(" "\\1" path "${entry}")
        execute_process(COMMAND ${QUOR_READELF} -SdW ${path} OUTPUT_VARIABLE layout ERROR_QUIET)
        # Symbol relocations: the entries of .rela.dyn and .rela.plt (24
        # bytes each) less the relative ones, which need no lookup.
        set(entries 0)
        foreach(section rela.dyn rela.plt)
          if(layout MATCHES "\\.${section} +RELA +[0-9a-f]+ [0-9a-f]+ ([0-9a-f]+)")
            math(EXPR entries "${entries} + 0x${CMAKE_MATCH_1} / 24")
          endif()
        endforeach()
        if(layout MATCHES "\\(RELACOUNT\\) +([0-9]+)")
          math(EXPR entries "${entries} - ${CMAKE_MATCH_1}")
        endif()
        if(entries LESS_EQUAL 0)
          continue()
        endif()
        # Zero-padded, so that the list sorts by number.
        string(LENGTH "${entries}" digits)
        math(EXPR pad "10 - ${digits}")
        string(REPEAT "0" ${pad} zeros)
        list(APPEND ranked "${zeros}${entries}|${path}")
      endforeach()
      list(SORT ranked ORDER DESCENDING)
      list(SUBLIST ranked 0 ${count} ranked)  # fewer when there are fewer
      foreach(entry ${ranked})
        string(REGEX REPLACE "^[0-9]+\\|" "" path "${entry}")
        list(APPEND heaviest "${path}")
      endforeach()
    endif()
    set(QUOR_HEAVIEST_${target} "${heaviest}" CACHE INTERNAL "the dependencies ${target} links first")
  endif()
  if(QUOR_HEAVIEST_${target})
    target_link_libraries(${target} PRIVATE -Wl,--push-state,--no-as-needed ${QUOR_HEAVIEST_${target}}
                                            -Wl,--pop-state)
  endif()
endfunction()
