# The core's layers, lowest first. A source may include headers of its own layer and of the
# layers below it, never of a layer above: the order is what lets each layer be read, built
# and tested without the ones above it. replies and builders share a rank and do not use
# each other.
set(QELP_LAYER_RANK_frame 0)
set(QELP_LAYER_RANK_exchange 1)
set(QELP_LAYER_RANK_replies 2)
set(QELP_LAYER_RANK_builders 2)
set(QELP_LAYER_RANK_link 3)
set(QELP_LAYER_RANK_operations 4)
set(QELP_LAYER_RANK_console 5)
set(QELP_LAYER_RANK_ui 6)
# The dispense history stands beside the stack: it uses the frame alone, and only the console
# logic and the screens use it, so that nothing else of the core depends on its database.
set(QELP_LAYER_RANK_history 1)
set(QELP_HISTORY_USERS console ui)

# Refuses, at configure time, an include in `folder` of a layer that `maxRank` does not
# allow, or of any Qt or screen header when `qtFree` is set. The compiler would often
# accept such an include; the check names the file and the line instead.
# Further arguments name subfolders that are left to a rule of their own.
function(qelp_check_includes folder ownLayer maxRank qtFree)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  foreach(sub IN LISTS ARGN)
    list(FILTER files EXCLUDE REGEX "^${CMAKE_SOURCE_DIR}/${folder}/${sub}/")
  endforeach()
  foreach(f IN LISTS files)
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      if(qtFree AND line MATCHES "[<\"](Q[A-Za-z]|Qt)")
        message(FATAL_ERROR "${f} includes a Qt header; ${folder} must stay Qt-free: ${line}")
      endif()
      if(line MATCHES "\"([a-z]+)/[^\"]+\"")
        set(layer ${CMAKE_MATCH_1})
        if(DEFINED QELP_LAYER_RANK_${layer} AND NOT layer STREQUAL ownLayer)
          if(layer STREQUAL "history" AND NOT ownLayer IN_LIST QELP_HISTORY_USERS)
            message(FATAL_ERROR "${f} includes the history, which only the console and the "
                                "screens use: ${line}")
          endif()
          if(NOT QELP_LAYER_RANK_${layer} LESS maxRank)
            message(FATAL_ERROR "${f} includes a header of the ${layer} layer, which is not below "
                                "${folder}: ${line}")
          endif()
        endif()
      endif()
    endforeach()
  endforeach()
endfunction()

foreach(layer frame history exchange replies builders link operations console)
  qelp_check_includes(src/${layer} ${layer} ${QELP_LAYER_RANK_${layer}} TRUE)
endforeach()
qelp_check_includes(src/ui ui ${QELP_LAYER_RANK_ui} FALSE)
# The simulator plays the driver: it shares only the frame's file code with the console.
qelp_check_includes(sim "" 1 TRUE)
# The tools work on the store and the profile files, below the link.
qelp_check_includes(tools "" ${QELP_LAYER_RANK_link} TRUE check)
# The driver checker sends commands as the console does, so it stands on the link; nothing
# of the core includes it.
qelp_check_includes(tools/check "" ${QELP_LAYER_RANK_operations} TRUE)
